#pragma once
// Canonical JSON ("lumivar.canonical_json.v1"): one byte string per document,
// the input of every document fingerprint and the measure of every record.

#include <string>

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

// Identifies the encoding inside domain-separated hashes.
inline constexpr std::string_view kCanonicalJsonId = "lumivar.canonical_json.v1";

// The canonical JSON text of a tree: no white space, keys in byte order.
// Fails for a non-finite float.
[[nodiscard]] Result<std::string> canonical_json_bytes(const JsonValue& document);

// The tree written in the given style (pretty for run files).
[[nodiscard]] Result<std::string> json_text(const JsonValue& document, JsonStyle style);

}  // namespace lumivar
