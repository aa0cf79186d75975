#pragma once
// Readers for the small shared records that appear inside every document.
// Each reads one value at the reader's position, in the JSON form the record's
// writer produces, and reports errors through the reader (message plus
// position, see json_reader.hpp).

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/value/artifact_identity.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"
#include "lumivar_core/value/typed_structured_value.hpp"

namespace lumivar {

// {"major": 1, "minor": 0, "patch": 0}, each an unsigned 16-bit integer
// ("struct SchemaVersion").
[[nodiscard]] Result<SchemaVersion> read_schema_version(JsonReader& reader);

// {"id": "...", "version": {...}} ("struct SchemaRef").
[[nodiscard]] Result<SchemaRef> read_schema_ref(JsonReader& reader);

// The externally tagged form: "Null", {"Bool": true}, {"Unsigned": 7},
// {"Signed": -3}, {"Float": 0.5}, {"Text": "abc"}, {"Bytes": [1, 2, 255]},
// {"Array": [...]}, {"Map": {...}} ("enum StructuredValue"). `Signed` accepts
// any integer in the signed 64-bit range (a non-negative one too), `Float`
// any number. A key given twice in a `Map`: the later member wins.
[[nodiscard]] Result<StructuredValue> read_structured_value(JsonReader& reader);

// {"schema": {...}, "value": <structured value>} ("struct TypedStructuredValue").
[[nodiscard]] Result<TypedStructuredValue> read_typed_structured_value(JsonReader& reader);

// A byte string: an array of integers 0 to 255 ("a sequence" when something
// else is found, "u8" for an element).
[[nodiscard]] Result<ByteString> read_byte_string(JsonReader& reader);

// {"algorithm": "sha256", "value": [32 integers 0 to 255]} ("struct
// ContentDigest"); any other length is "invalid length N, expected an array of
// length 32", reported at the closing bracket.
[[nodiscard]] Result<ContentDigest> read_content_digest(JsonReader& reader);

// {"byte_len": n, "digest": {...}} ("struct ArtifactIdentity").
[[nodiscard]] Result<ArtifactIdentity> read_artifact_identity(JsonReader& reader);

}  // namespace lumivar
