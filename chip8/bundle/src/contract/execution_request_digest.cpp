#include "chip8_bundle/contract/execution_request_digest.hpp"

#include "lumivar_core/digest/fingerprint.hpp"

namespace chip8::bundle {

lumivar::Result<lumivar::ContentDigest> execution_request_digest(const lumivar::ExecutionRequest& request) {
  auto digest = lumivar::fingerprint_document(kExecutionRequestDomain, lumivar::to_json(request));
  if (!digest) return std::unexpected(digest.error());
  return lumivar::ContentDigest::sha256(*digest);
}

}  // namespace chip8::bundle
