#pragma once
// The typed value an input delivers.

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

struct TypedInputPayload {
  SchemaRef schema;
  StructuredValue value;

  friend bool operator==(const TypedInputPayload&, const TypedInputPayload&) = default;
};

// {"schema": ..., "value": ...}
[[nodiscard]] JsonValue to_json(const TypedInputPayload& payload);

// {"schema": schema map, "value": value}, the payload inside canonical values.
[[nodiscard]] StructuredValue payload_structured_value(const TypedInputPayload& payload);

// Canonical structured bytes of payload_structured_value; fails only on a
// non-finite float.
[[nodiscard]] Result<ByteString> payload_canonical_bytes(const TypedInputPayload& payload);

// A non-empty schema ID ("input payload has an empty schema ID"), then the
// canonical bytes.
[[nodiscard]] Result<void> check_input_payload(const TypedInputPayload& payload);

}  // namespace lumivar
