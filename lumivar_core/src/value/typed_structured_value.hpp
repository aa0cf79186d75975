#pragma once
// A StructuredValue together with the schema it is to be read under.

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

struct TypedStructuredValue {
  SchemaRef schema;
  StructuredValue value;

  friend bool operator==(const TypedStructuredValue&, const TypedStructuredValue&) = default;
};

// {"schema": {...}, "value": <externally tagged value>}
[[nodiscard]] JsonValue to_json(const TypedStructuredValue& typed);

// Accepts a typed value whose schema ID is not empty after trimming white space
// and whose value has canonical structured bytes (no non-finite float).
[[nodiscard]] Result<void> validate_typed_structured_value(const TypedStructuredValue& typed);

}  // namespace lumivar
