#pragma once
// StructuredValue: the dynamically typed value carried by configurations, input
// payloads and capability parameters. The order of the alternatives is the
// variant index that encodings naming variants by number use, so it must never
// change. Unsigned and Signed are distinct variants: Signed 5 is not Unsigned 5
// (only their CBOR bytes coincide).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

enum class StructuredKind : std::uint8_t {
  Null = 0,
  Bool = 1,
  Unsigned = 2,
  Signed = 3,
  Float = 4,
  Text = 5,
  Bytes = 6,
  Array = 7,
  Map = 8,
};

// The variant name as written in the externally tagged JSON form ("Null", ...).
[[nodiscard]] std::string_view structured_kind_name(StructuredKind kind);

struct StructuredValue;
using StructuredArray = std::vector<StructuredValue>;
// Keys unique and kept in ascending byte order (std::less<std::string> compares
// as unsigned bytes).
using StructuredMap = std::map<std::string, StructuredValue, std::less<>>;

struct StructuredValue {
  // Alternative index == StructuredKind.
  using Variant = std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double,
                               std::string, ByteString, StructuredArray, StructuredMap>;
  Variant value{};

  // Named constructors: the variant is chosen explicitly, never by overload.
  [[nodiscard]] static StructuredValue null() { return {}; }
  [[nodiscard]] static StructuredValue boolean(bool b) { return from(b); }
  [[nodiscard]] static StructuredValue unsigned_integer(std::uint64_t u) { return from(u); }
  [[nodiscard]] static StructuredValue signed_integer(std::int64_t i) { return from(i); }
  [[nodiscard]] static StructuredValue floating(double d) { return from(d); }
  [[nodiscard]] static StructuredValue text(std::string s) { return from(std::move(s)); }
  [[nodiscard]] static StructuredValue bytes(ByteString b) { return from(std::move(b)); }
  [[nodiscard]] static StructuredValue array(StructuredArray a) { return from(std::move(a)); }
  [[nodiscard]] static StructuredValue map(StructuredMap m) { return from(std::move(m)); }

  [[nodiscard]] StructuredKind kind() const { return static_cast<StructuredKind>(value.index()); }
  [[nodiscard]] bool is_null() const { return value.index() == 0; }
  template <class T> [[nodiscard]] bool is() const { return std::holds_alternative<T>(value); }
  // On a temporary, as() returns the payload by value, so binding the result
  // to a reference extends its life instead of leaving it dangling.
  template <class T> [[nodiscard]] const T& as() const& { return std::get<T>(value); }
  template <class T> [[nodiscard]] T& as() & { return std::get<T>(value); }
  template <class T> [[nodiscard]] T as() && { return std::get<T>(std::move(value)); }
  template <class T> [[nodiscard]] const T* get_if() const { return std::get_if<T>(&value); }

  friend bool operator==(const StructuredValue&, const StructuredValue&) = default;

 private:
  template <class T>
  static StructuredValue from(T&& payload) {
    StructuredValue v;
    v.value = std::forward<T>(payload);
    return v;
  }
};

// The externally tagged JSON form: "Null", {"Bool": true}, {"Unsigned": 7},
// {"Signed": -3}, {"Float": 0.5}, {"Text": "abc"}, {"Bytes": [1, 2, 255]},
// {"Array": [...]}, {"Map": {...}}. Non-finite floats are carried into the tree
// unchanged; the JSON writer refuses them.
[[nodiscard]] JsonValue to_json(const StructuredValue& value);

// A plain JSON tree as a StructuredValue: null -> Null, booleans -> Bool,
// non-negative integers -> Unsigned, negative integers -> Signed, other numbers
// -> Float (non-finite ones rejected), strings -> Text, arrays -> Array,
// objects -> Map. Never produces Bytes.
[[nodiscard]] Result<StructuredValue> structured_value_from_json(const JsonValue& json);

}  // namespace lumivar
