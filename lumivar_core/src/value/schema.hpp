#pragma once
// Schema references: which schema (family ID plus semantic version) a payload
// must be read under.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

struct SchemaVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t patch = 0;

  friend bool operator==(const SchemaVersion&, const SchemaVersion&) = default;
  friend auto operator<=>(const SchemaVersion&, const SchemaVersion&) = default;
};

// "major.minor.patch" in decimal, as messages show a version.
[[nodiscard]] std::string to_string(const SchemaVersion& version);
// {"major": 1, "minor": 0, "patch": 0}
[[nodiscard]] JsonValue to_json(const SchemaVersion& version);

struct SchemaRef {
  std::string id;
  SchemaVersion version;

  friend bool operator==(const SchemaRef&, const SchemaRef&) = default;
};

// {"id": "...", "version": {...}}
[[nodiscard]] JsonValue to_json(const SchemaRef& schema);

// The text with Unicode white space (the White_Space property) trimmed from
// both ends. Trimming stops at a byte sequence that is not valid UTF-8.
[[nodiscard]] std::string_view trim_unicode_white_space(std::string_view text);

// A schema ID counts as empty when nothing but Unicode white space is left.
[[nodiscard]] inline bool schema_id_is_empty(std::string_view id) {
  return trim_unicode_white_space(id).empty();
}

}  // namespace lumivar
