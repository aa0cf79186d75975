#include "lumivar_core/run_identity/prepared_artifact_identity.hpp"

#include <string>

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {

JsonValue to_json(const ArtifactEncoding& encoding) {
  if (!encoding.extension) return JsonValue("raw_bytes");
  JsonObject object;
  object.emplace("extension", *encoding.extension);
  return JsonValue(std::move(object));
}

JsonValue to_json(const PreparedArtifactIdentity& identity) {
  JsonObject object;
  object.emplace("schema", to_json(identity.schema));
  object.emplace("encoding", to_json(identity.encoding));
  object.emplace("canonical_value", byte_array_json(identity.canonical_value));
  return JsonValue(std::move(object));
}

Result<void> check_artifact_contract(const ArtifactContract& contract, ByteView artifact) {
  if (contract.max_length < contract.min_length) return fail("artifact minimum length exceeds maximum length");
  if (contract.alignment == 0) return fail("artifact alignment must be non-zero");
  const std::uint64_t length = artifact.size();
  if (length < contract.min_length) {
    return fail("artifact has " + std::to_string(length) + " bytes; minimum is " +
                std::to_string(contract.min_length));
  }
  if (length > contract.max_length) {
    return fail("artifact has " + std::to_string(length) + " bytes; maximum is " +
                std::to_string(contract.max_length));
  }
  if (length % contract.alignment != 0) {
    return fail("artifact length " + std::to_string(length) + " is not aligned to " +
                std::to_string(contract.alignment) + " bytes");
  }
  return {};
}

Result<void> check_artifact_identity(const PreparedArtifactIdentity& identity) {
  if (auto checked = check_schema_id(identity.schema, "artifact identity"); !checked) return checked;
  if (identity.encoding.extension && trim_unicode_white_space(*identity.encoding.extension).empty()) {
    return fail("artifact encoding extension must not be empty");
  }
  return {};
}

Result<PreparedArtifactIdentity> prepare_artifact_identity(const ArtifactContract& contract, ByteView artifact) {
  if (auto checked = check_artifact_contract(contract, artifact); !checked) return std::unexpected(checked.error());
  PreparedArtifactIdentity identity{contract.schema, ArtifactEncoding{contract.encoding_extension},
                                    ByteString(artifact.begin(), artifact.end())};
  if (auto checked = check_artifact_identity(identity); !checked) return std::unexpected(checked.error());
  return identity;
}

}  // namespace lumivar
