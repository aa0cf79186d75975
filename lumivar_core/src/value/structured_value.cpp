#include "lumivar_core/value/structured_value.hpp"

#include <cmath>

namespace lumivar {

std::string_view structured_kind_name(StructuredKind kind) {
  switch (kind) {
    case StructuredKind::Null: return "Null";
    case StructuredKind::Bool: return "Bool";
    case StructuredKind::Unsigned: return "Unsigned";
    case StructuredKind::Signed: return "Signed";
    case StructuredKind::Float: return "Float";
    case StructuredKind::Text: return "Text";
    case StructuredKind::Bytes: return "Bytes";
    case StructuredKind::Array: return "Array";
    case StructuredKind::Map: return "Map";
  }
  fatal("structured value kind out of range");
}

namespace {

JsonValue tagged(StructuredKind kind, JsonValue payload) {
  JsonObject object;
  object.emplace(std::string(structured_kind_name(kind)), std::move(payload));
  return JsonValue(std::move(object));
}

struct ToJson {
  JsonValue operator()(std::monostate) const { return JsonValue("Null"); }
  JsonValue operator()(bool b) const { return tagged(StructuredKind::Bool, b); }
  JsonValue operator()(std::uint64_t u) const { return tagged(StructuredKind::Unsigned, u); }
  JsonValue operator()(std::int64_t i) const { return tagged(StructuredKind::Signed, i); }
  JsonValue operator()(double d) const { return tagged(StructuredKind::Float, d); }
  JsonValue operator()(const std::string& s) const { return tagged(StructuredKind::Text, s); }
  JsonValue operator()(const ByteString& b) const { return tagged(StructuredKind::Bytes, bytes_to_json(b)); }
  JsonValue operator()(const StructuredArray& a) const {
    JsonArray array;
    array.reserve(a.size());
    for (const StructuredValue& element : a) array.push_back(to_json(element));
    return tagged(StructuredKind::Array, std::move(array));
  }
  JsonValue operator()(const StructuredMap& m) const {
    JsonObject object;
    for (const auto& [key, element] : m) object.emplace_hint(object.end(), key, to_json(element));
    return tagged(StructuredKind::Map, std::move(object));
  }
};

}  // namespace

JsonValue to_json(const StructuredValue& value) { return std::visit(ToJson{}, value.value); }

Result<StructuredValue> structured_value_from_json(const JsonValue& json) {
  switch (json.value.index()) {
    case 0: return StructuredValue::null();
    case 1: return StructuredValue::boolean(json.as<bool>());
    case 2: return StructuredValue::unsigned_integer(json.as<std::uint64_t>());
    case 3: return StructuredValue::signed_integer(json.as<std::int64_t>());
    case 4: {
      double d = json.as<double>();
      if (!std::isfinite(d)) return fail("configuration defaults reject non-finite floats");
      return StructuredValue::floating(d);
    }
    case 5: return StructuredValue::text(json.as<std::string>());
    case 6: {
      const JsonArray& source = json.as<JsonArray>();
      StructuredArray array;
      array.reserve(source.size());
      for (const JsonValue& element : source) {
        Result<StructuredValue> converted = structured_value_from_json(element);
        if (!converted) return std::unexpected(std::move(converted.error()));
        array.push_back(std::move(*converted));
      }
      return StructuredValue::array(std::move(array));
    }
    case 7: {
      StructuredMap map;
      for (const auto& [key, element] : json.as<JsonObject>()) {
        Result<StructuredValue> converted = structured_value_from_json(element);
        if (!converted) return std::unexpected(std::move(converted.error()));
        map.emplace_hint(map.end(), key, std::move(*converted));
      }
      return StructuredValue::map(std::move(map));
    }
  }
  fatal("JSON value kind out of range");
}

}  // namespace lumivar
