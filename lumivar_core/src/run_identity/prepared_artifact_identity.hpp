#pragma once
// The artifact a run executes, as checked against the bundle's artifact
// contract and carried, bytes and all, inside the prepared run identity.

#include <cstdint>
#include <optional>
#include <string>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

// Supplied by the bundle: which artifacts it accepts.
struct ArtifactContract {
  SchemaRef schema;
  std::optional<std::string> encoding_extension;  // none: raw bytes
  std::uint64_t min_length = 0;
  std::uint64_t max_length = 0;
  std::uint64_t alignment = 1;
};

// "raw_bytes" or {"extension": text}.
struct ArtifactEncoding {
  std::optional<std::string> extension;  // none: raw bytes

  friend bool operator==(const ArtifactEncoding&, const ArtifactEncoding&) = default;
};

struct PreparedArtifactIdentity {
  SchemaRef schema;
  ArtifactEncoding encoding;
  ByteString canonical_value;  // the artifact bytes exactly as given

  friend bool operator==(const PreparedArtifactIdentity&, const PreparedArtifactIdentity&) = default;
};

[[nodiscard]] JsonValue to_json(const ArtifactEncoding& encoding);
// {"schema": ..., "encoding": ..., "canonical_value": [..]}
[[nodiscard]] JsonValue to_json(const PreparedArtifactIdentity& identity);

// The contract's own bounds, then the artifact's length against them.
[[nodiscard]] Result<void> check_artifact_contract(const ArtifactContract& contract, ByteView artifact);

// A non-empty schema ID and, when present, a non-empty encoding extension: the
// part of the artifact identity that is checked again when an identity is
// rebuilt.
[[nodiscard]] Result<void> check_artifact_identity(const PreparedArtifactIdentity& identity);

// The contract check, then the identity: the contract's schema and encoding
// and a copy of the bytes.
[[nodiscard]] Result<PreparedArtifactIdentity> prepare_artifact_identity(const ArtifactContract& contract,
                                                                         ByteView artifact);

}  // namespace lumivar
