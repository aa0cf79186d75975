#pragma once
// Forms shared by the run-contract documents: how they show and hash a
// SchemaRef (the "id major.minor.patch" text of mismatch messages, the
// structured text of coordinate-policy messages, the schema map inside
// canonical values), the empty-schema-ID check every document makes, and the
// JSON form of byte strings.

#include <string>
#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

// "<what> has an empty schema ID"
[[nodiscard]] std::string empty_schema_id_message(std::string_view what);

// Fails with empty_schema_id_message(what) when the ID is empty after trimming.
[[nodiscard]] Result<void> check_schema_id(const SchemaRef& schema, std::string_view what);

// "<id> <major>.<minor>.<patch>", the id as it is: fills the "{} {}" pairs of
// schema mismatch messages.
[[nodiscard]] std::string schema_id_and_version(const SchemaRef& schema);

// SchemaRef { id: "<id>", version: SchemaVersion { major: 1, minor: 0, patch: 0 } }
[[nodiscard]] std::string schema_ref_structured_text(const SchemaRef& schema);

// {"id": Text, "version": {"major": Unsigned, "minor": Unsigned, "patch": Unsigned}}
[[nodiscard]] StructuredValue schema_structured_value(const SchemaRef& schema);

// A byte string as a JSON array of integers 0 to 255.
[[nodiscard]] JsonValue byte_array_json(ByteView bytes);

}  // namespace lumivar
