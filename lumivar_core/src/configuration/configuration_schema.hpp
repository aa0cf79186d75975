#pragma once
// A bundle's description of the settings it accepts: a schema reference and an
// ordered list of fields, each with a value domain and a default. Bundles build
// it in memory; it is never read from or written to a document.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

struct BooleanDomain {
  friend bool operator==(const BooleanDomain&, const BooleanDomain&) = default;
};

// Unsigned values up to 2^63 - 1 or Signed values with min <= v <= max and
// (v - min) a multiple of step.
struct IntegerDomain {
  std::int64_t min = 0;
  std::int64_t max = 0;
  std::int64_t step = 1;
  friend bool operator==(const IntegerDomain&, const IntegerDomain&) = default;
};

// Any number taken as binary64, finite, within [min, max]; a non-zero step
// also requires (x - min) / step to be a whole number.
struct FloatDomain {
  double min = 0.0;
  double max = 0.0;
  double step = 0.0;
  friend bool operator==(const FloatDomain&, const FloatDomain&) = default;
};

// Text equal byte for byte to one of the choices.
struct ChoiceDomain {
  std::vector<std::string> choices;
  friend bool operator==(const ChoiceDomain&, const ChoiceDomain&) = default;
};

// Any Text.
struct TextDomain {
  friend bool operator==(const TextDomain&, const TextDomain&) = default;
};

using ConfigurationDomain = std::variant<BooleanDomain, IntegerDomain, FloatDomain, ChoiceDomain, TextDomain>;

struct ConfigurationField {
  std::string key;          // member name in the configuration map
  std::string label;        // short human-readable name
  std::string description;  // one sentence
  ConfigurationDomain domain;
  JsonValue default_value;  // plain JSON, converted with structured_value_from_json
};

struct ConfigurationSchema {
  SchemaRef schema;
  std::vector<ConfigurationField> fields;
};

// Whether the domain accepts the value.
[[nodiscard]] bool domain_accepts(const ConfigurationDomain& domain, const StructuredValue& value);

// The checks run before any use of a schema: a non-empty schema ID, then per
// field a non-empty, unique key, sound domain bounds and a default the domain
// accepts. The first failure is returned.
[[nodiscard]] Result<void> check_configuration_schema(const ConfigurationSchema& schema);

// The field's default as a StructuredValue.
[[nodiscard]] Result<StructuredValue> field_default(const ConfigurationField& field);

// "configuration field \"<key>\" has an invalid value"
[[nodiscard]] std::string invalid_field_value_message(std::string_view key);

}  // namespace lumivar
