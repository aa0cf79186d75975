#include "lumivar_core/schedule/input_application.hpp"

namespace lumivar {

JsonValue to_json(const InputSource& source) {
  JsonObject object;
  if (source.kind == InputSourceKind::Scheduled) {
    object.emplace("kind", "scheduled");
    object.emplace("ordinal", source.id);
  } else {
    object.emplace("kind", "live");
    object.emplace("instance_id", source.id);
  }
  return JsonValue(std::move(object));
}

JsonValue to_json(const InputApplication& application) {
  JsonObject object;
  object.emplace("input_id", application.input_id);
  object.emplace("input_schema", to_json(application.input_schema));
  object.emplace("source", to_json(application.source));
  object.emplace("application_coordinate", to_json(application.application_coordinate));
  object.emplace("payload", to_json(application.payload));
  return JsonValue(std::move(object));
}

}  // namespace lumivar
