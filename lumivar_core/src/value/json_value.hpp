#pragma once
// The generic JSON tree: what the JSON reader produces for members typed "any
// JSON value" and what every JSON writer consumes. Object members are kept in
// byte order of their keys, the order every JSON text the system writes uses.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "lumivar_core/value/byte_string.hpp"

namespace lumivar {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
// std::less<std::string> compares through char_traits<char>, i.e. as unsigned
// bytes, which is exactly the key order required.
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

struct JsonValue {
  // Integers: a non-negative one is always std::uint64_t, a negative one
  // std::int64_t, so equal numbers have one representation.
  using Variant = std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double,
                               std::string, JsonArray, JsonObject>;
  Variant value{nullptr};

  JsonValue() = default;
  JsonValue(std::nullptr_t) {}
  JsonValue(bool b) : value(b) {}
  JsonValue(std::uint64_t u) : value(u) {}
  JsonValue(std::int64_t i) {
    if (i >= 0) value = static_cast<std::uint64_t>(i); else value = i;
  }
  JsonValue(int i) : JsonValue(static_cast<std::int64_t>(i)) {}
  JsonValue(unsigned u) : value(static_cast<std::uint64_t>(u)) {}
  JsonValue(double d) : value(d) {}
  JsonValue(std::string s) : value(std::move(s)) {}
  JsonValue(const char* s) : value(std::string(s)) {}
  JsonValue(JsonArray a) : value(std::move(a)) {}
  JsonValue(JsonObject o) : value(std::move(o)) {}

  bool is_null() const { return std::holds_alternative<std::nullptr_t>(value); }
  template <class T> bool is() const { return std::holds_alternative<T>(value); }
  // On a temporary, as() returns the payload by value, so binding the result
  // to a reference extends its life instead of leaving it dangling.
  template <class T> const T& as() const& { return std::get<T>(value); }
  template <class T> T& as() & { return std::get<T>(value); }
  template <class T> T as() && { return std::get<T>(std::move(value)); }
  template <class T> const T* get_if() const { return std::get_if<T>(&value); }

  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

// The JSON form of any byte string: an array of integers 0 to 255.
[[nodiscard]] inline JsonValue bytes_to_json(ByteView bytes) {
  JsonArray array;
  array.reserve(bytes.size());
  for (std::uint8_t b : bytes) array.emplace_back(static_cast<std::uint64_t>(b));
  return JsonValue(std::move(array));
}

}  // namespace lumivar
