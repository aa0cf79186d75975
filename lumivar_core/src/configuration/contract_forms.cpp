#include "lumivar_core/configuration/contract_forms.hpp"

#include "lumivar_core/error/message.hpp"

namespace lumivar {

std::string empty_schema_id_message(std::string_view what) {
  std::string message(what);
  message += " has an empty schema ID";
  return message;
}

Result<void> check_schema_id(const SchemaRef& schema, std::string_view what) {
  if (schema_id_is_empty(schema.id)) return fail(empty_schema_id_message(what));
  return {};
}

std::string schema_id_and_version(const SchemaRef& schema) {
  return schema.id + " " + to_string(schema.version);
}

std::string schema_ref_structured_text(const SchemaRef& schema) {
  return "SchemaRef { id: " + quoted(schema.id) +
         ", version: SchemaVersion { major: " + std::to_string(schema.version.major) +
         ", minor: " + std::to_string(schema.version.minor) +
         ", patch: " + std::to_string(schema.version.patch) + " } }";
}

StructuredValue schema_structured_value(const SchemaRef& schema) {
  StructuredMap version;
  version.emplace("major", StructuredValue::unsigned_integer(schema.version.major));
  version.emplace("minor", StructuredValue::unsigned_integer(schema.version.minor));
  version.emplace("patch", StructuredValue::unsigned_integer(schema.version.patch));
  StructuredMap map;
  map.emplace("id", StructuredValue::text(schema.id));
  map.emplace("version", StructuredValue::map(std::move(version)));
  return StructuredValue::map(std::move(map));
}

JsonValue byte_array_json(ByteView bytes) {
  JsonArray array;
  array.reserve(bytes.size());
  for (const std::uint8_t b : bytes) array.emplace_back(static_cast<std::uint64_t>(b));
  return JsonValue(std::move(array));
}

}  // namespace lumivar
