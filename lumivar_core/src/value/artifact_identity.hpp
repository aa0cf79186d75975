#pragma once
// The identity of a stored artifact: its length and the digest of its bytes.

#include <cstdint>

#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

struct ArtifactIdentity {
  std::uint64_t byte_len = 0;
  ContentDigest digest;

  friend bool operator==(const ArtifactIdentity&, const ArtifactIdentity&) = default;
};

// {"byte_len": n, "digest": {...}}
[[nodiscard]] JsonValue to_json(const ArtifactIdentity& identity);

}  // namespace lumivar
