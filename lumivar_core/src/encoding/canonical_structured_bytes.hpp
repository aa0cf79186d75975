#pragma once
// Canonical structured bytes: the deterministic CBOR encoding of a
// StructuredValue held by the canonical_bytes fields of prepared documents.
// Map entries are ordered by the length of the encoded key, then bytewise.

#include "lumivar_core/encoding/cbor_writer.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

// Fails with "canonical structured values reject non-finite floats" at the
// first NaN or infinity.
[[nodiscard]] Result<ByteString> canonical_structured_bytes(const StructuredValue& value);

// Whether the value has a canonical encoding (no NaN or infinity anywhere),
// with the same failure, without encoding it.
[[nodiscard]] Result<void> check_canonical_structured(const StructuredValue& value);

// Appends the encoding to an existing writer; same failure, partial output left
// in the writer.
[[nodiscard]] Result<void> write_canonical_structured(CborWriter& writer, const StructuredValue& value);

}  // namespace lumivar
