#include "lumivar_core/schedule/input_payload.hpp"

#include "lumivar_core/configuration/contract_forms.hpp"
#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

namespace lumivar {

JsonValue to_json(const TypedInputPayload& payload) {
  JsonObject object;
  object.emplace("schema", to_json(payload.schema));
  object.emplace("value", to_json(payload.value));
  return JsonValue(std::move(object));
}

StructuredValue payload_structured_value(const TypedInputPayload& payload) {
  StructuredMap map;
  map.emplace("schema", schema_structured_value(payload.schema));
  map.emplace("value", payload.value);
  return StructuredValue::map(std::move(map));
}

Result<ByteString> payload_canonical_bytes(const TypedInputPayload& payload) {
  return canonical_structured_bytes(payload_structured_value(payload));
}

Result<void> check_input_payload(const TypedInputPayload& payload) {
  if (auto checked = check_schema_id(payload.schema, "input payload"); !checked) return checked;
  // The schema map holds no floats, so the value decides whether the payload
  // has canonical bytes.
  return check_canonical_structured(payload.value);
}

}  // namespace lumivar
