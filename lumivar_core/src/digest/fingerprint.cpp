#include "lumivar_core/digest/fingerprint.hpp"

#include "lumivar_core/digest/domain_hasher.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {

Result<Sha256Digest> fingerprint_canonical_json(std::string_view domain, std::string_view canonical_json) {
  if (domain.empty()) return fail("fingerprint domain must not be empty");
  DomainHasher hasher(kCanonicalJsonId);
  hasher.add(domain);
  hasher.add(canonical_json);
  return hasher.finish();
}

Result<Sha256Digest> fingerprint_document(std::string_view domain, const JsonValue& document) {
  if (domain.empty()) return fail("fingerprint domain must not be empty");
  Result<std::string> bytes = canonical_json_bytes(document);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  return fingerprint_canonical_json(domain, *bytes);
}

}  // namespace lumivar
