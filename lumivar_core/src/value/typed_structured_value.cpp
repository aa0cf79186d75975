#include "lumivar_core/value/typed_structured_value.hpp"

#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

namespace lumivar {

JsonValue to_json(const TypedStructuredValue& typed) {
  JsonObject object;
  object.emplace("schema", to_json(typed.schema));
  object.emplace("value", to_json(typed.value));
  return JsonValue(std::move(object));
}

Result<void> validate_typed_structured_value(const TypedStructuredValue& typed) {
  if (schema_id_is_empty(typed.schema.id)) return fail("typed structured value has an empty schema ID");
  return check_canonical_structured(typed.value);
}

}  // namespace lumivar
