#pragma once
// A caller's machine configuration and its prepared form: checked against the
// bundle's configuration schema, completed with defaults and given its
// canonical structured bytes.

#include "lumivar_core/configuration/configuration_schema.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

struct MachineConfiguration {
  SchemaRef schema;       // the schema the document claims to follow
  StructuredValue value;  // must be a Map from field key to value

  friend bool operator==(const MachineConfiguration&, const MachineConfiguration&) = default;
};

struct PreparedConfiguration {
  SchemaRef schema;          // the bundle's configuration schema
  StructuredValue value;     // a Map holding exactly the declared fields
  ByteString canonical_bytes;  // canonical structured bytes of value

  friend bool operator==(const PreparedConfiguration&, const PreparedConfiguration&) = default;
};

// {"schema": ..., "value": ...}
[[nodiscard]] JsonValue to_json(const MachineConfiguration& configuration);
// {"schema": ..., "value": ..., "canonical_bytes": [..]}
[[nodiscard]] JsonValue to_json(const PreparedConfiguration& configuration);

// The document's own shape: a non-empty schema ID, a Map value, and canonical
// structured bytes for that value.
[[nodiscard]] Result<void> check_machine_configuration(const MachineConfiguration& configuration);

// Checks the configuration and the schema, requires the declared schema, refuses
// undeclared keys and fills every missing field with its default.
[[nodiscard]] Result<PreparedConfiguration> prepare_configuration(const MachineConfiguration& configuration,
                                                                  const ConfigurationSchema& schema);

// The configuration holding every declared field at its default.
[[nodiscard]] Result<MachineConfiguration> default_configuration(const ConfigurationSchema& schema);

// A prepared configuration read back: non-empty schema ID and canonical bytes
// that match the value byte for byte.
[[nodiscard]] Result<void> check_prepared_configuration(const PreparedConfiguration& configuration);

}  // namespace lumivar
