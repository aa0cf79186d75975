#include "lumivar_core/configuration/machine_configuration.hpp"

#include "lumivar_core/configuration/contract_forms.hpp"
#include "lumivar_core/encoding/canonical_structured_bytes.hpp"
#include "lumivar_core/error/message.hpp"

namespace lumivar {

JsonValue to_json(const MachineConfiguration& configuration) {
  JsonObject object;
  object.emplace("schema", to_json(configuration.schema));
  object.emplace("value", to_json(configuration.value));
  return JsonValue(std::move(object));
}

JsonValue to_json(const PreparedConfiguration& configuration) {
  JsonObject object;
  object.emplace("schema", to_json(configuration.schema));
  object.emplace("value", to_json(configuration.value));
  object.emplace("canonical_bytes", byte_array_json(configuration.canonical_bytes));
  return JsonValue(std::move(object));
}

Result<void> check_machine_configuration(const MachineConfiguration& configuration) {
  if (auto checked = check_schema_id(configuration.schema, "machine configuration"); !checked) return checked;
  if (!configuration.value.is<StructuredMap>()) {
    return fail("machine configuration value must be a string-keyed map");
  }
  return check_canonical_structured(configuration.value);
}

Result<PreparedConfiguration> prepare_configuration(const MachineConfiguration& configuration,
                                                    const ConfigurationSchema& schema) {
  if (auto checked = check_machine_configuration(configuration); !checked) return std::unexpected(checked.error());
  if (auto checked = check_configuration_schema(schema); !checked) return std::unexpected(checked.error());
  if (configuration.schema != schema.schema) {
    return fail("machine configuration schema " + schema_id_and_version(configuration.schema) +
                " does not match declared schema " + schema_id_and_version(schema.schema));
  }
  const auto& given = configuration.value.as<StructuredMap>();
  // The map iterates in ascending byte order of its keys, so the first
  // undeclared key in that order is the one reported.
  for (const auto& [key, value] : given) {
    bool declared = false;
    for (const ConfigurationField& field : schema.fields) {
      if (field.key == key) {
        declared = true;
        break;
      }
    }
    if (!declared) return fail("machine configuration contains unknown field " + quoted(key));
  }
  StructuredMap resolved;
  for (const ConfigurationField& field : schema.fields) {
    StructuredValue value;
    if (auto found = given.find(field.key); found != given.end()) {
      value = found->second;
    } else {
      Result<StructuredValue> default_value = field_default(field);
      if (!default_value) return std::unexpected(default_value.error());
      value = std::move(*default_value);
    }
    if (!domain_accepts(field.domain, value)) return fail(invalid_field_value_message(field.key));
    resolved.emplace(field.key, std::move(value));
  }
  PreparedConfiguration prepared{schema.schema, StructuredValue::map(std::move(resolved)), {}};
  Result<ByteString> bytes = canonical_structured_bytes(prepared.value);
  if (!bytes) return std::unexpected(bytes.error());
  prepared.canonical_bytes = std::move(*bytes);
  return prepared;
}

Result<MachineConfiguration> default_configuration(const ConfigurationSchema& schema) {
  if (auto checked = check_configuration_schema(schema); !checked) return std::unexpected(checked.error());
  StructuredMap defaults;
  for (const ConfigurationField& field : schema.fields) {
    Result<StructuredValue> default_value = field_default(field);
    if (!default_value) return std::unexpected(default_value.error());
    defaults.emplace(field.key, std::move(*default_value));
  }
  MachineConfiguration configuration{schema.schema, StructuredValue::map(std::move(defaults))};
  if (auto checked = check_machine_configuration(configuration); !checked) return std::unexpected(checked.error());
  return configuration;
}

Result<void> check_prepared_configuration(const PreparedConfiguration& configuration) {
  if (auto checked = check_schema_id(configuration.schema, "prepared machine configuration"); !checked) {
    return checked;
  }
  Result<ByteString> bytes = canonical_structured_bytes(configuration.value);
  if (!bytes) return std::unexpected(bytes.error());
  if (*bytes != configuration.canonical_bytes) {
    return fail("prepared configuration canonical bytes do not match value");
  }
  return {};
}

}  // namespace lumivar
