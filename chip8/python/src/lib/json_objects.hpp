#pragma once
// JSON texts of the bundle's own writers as Python objects, built directly
// instead of through json.loads.
//
// The records handed to sinks are mostly arrays of small integers (ROM bytes,
// canonical bytes, pixels), which json.loads turns into objects at well under
// 100 MB/s. The direct builder reuses the interpreter's cached small integers
// and decodes plain strings in one call, so the same objects come out several
// times faster. It handles the plain subset those writers produce; for
// anything else (surrogate escapes, non-finite constants, invalid UTF-8,
// malformed text, very deep nesting) it defers to json.loads, so the result,
// or the exception raised, is always the one json.loads gives for the text.

#include <string_view>

#include "chip8_python/lib/python.hpp"

namespace lumivar::python {

// How json.loads receives the text when the builder defers to it.
enum class JsonTextForm : unsigned char {
  kBytes,  // json.loads(bytes(text))
  kStr,    // json.loads(str(text)); text that is not UTF-8 raises UnicodeDecodeError first
};

// The object json.loads gives for `text` (a new reference), or null with the
// exception it raises set.
[[nodiscard]] PyObject* json_text_to_objects(std::string_view text, JsonTextForm fallback_form);

}  // namespace lumivar::python
