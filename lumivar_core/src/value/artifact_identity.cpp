#include "lumivar_core/value/artifact_identity.hpp"

namespace lumivar {

JsonValue to_json(const ArtifactIdentity& identity) {
  JsonObject object;
  object.emplace("byte_len", identity.byte_len);
  object.emplace("digest", to_json(identity.digest));
  return JsonValue(std::move(object));
}

}  // namespace lumivar
