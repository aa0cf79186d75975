#include "lumivar_core/json/record_readers.hpp"

#include <array>
#include <string>
#include <string_view>
#include <utility>

namespace lumivar {

namespace {

// Moves a successful result into `out`; hands an error on unchanged.
template <class T>
Result<void> assign(Result<T>&& result, T& out) {
  if (!result) return std::unexpected(std::move(result.error()));
  out = std::move(*result);
  return {};
}

}  // namespace

Result<SchemaVersion> read_schema_version(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"major"}, {"minor"}, {"patch"}};
  SchemaVersion version;
  auto done = reader.read_object("struct SchemaVersion", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return reader.read_u16_into(version.major);
      case 1: return reader.read_u16_into(version.minor);
      default: return reader.read_u16_into(version.patch);
    }
  });
  if (!done) return std::unexpected(std::move(done.error()));
  return version;
}

Result<SchemaRef> read_schema_ref(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"id"}, {"version"}};
  SchemaRef schema;
  auto done = reader.read_object("struct SchemaRef", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) return reader.read_string_into(schema.id);
    return assign(read_schema_version(reader), schema.version);
  });
  if (!done) return std::unexpected(std::move(done.error()));
  return schema;
}

Result<ByteString> read_byte_string(JsonReader& reader) {
  ByteString bytes;
  auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
    auto byte = reader.read_u8();
    if (!byte) return std::unexpected(std::move(byte.error()));
    bytes.push_back(*byte);
    return {};
  });
  if (!count) return std::unexpected(std::move(count.error()));
  return bytes;
}

Result<StructuredValue> read_structured_value(JsonReader& reader) {
  // In StructuredKind order, so the index is the kind.
  static constexpr VariantSpec kVariants[] = {
      {"Null", false}, {"Bool", true},  {"Unsigned", true}, {"Signed", true}, {"Float", true},
      {"Text", true},  {"Bytes", true}, {"Array", true},    {"Map", true},
  };
  StructuredValue value;
  auto done = reader.read_variant("enum StructuredValue", kVariants, [&](std::size_t index) -> Result<void> {
    switch (static_cast<StructuredKind>(index)) {
      case StructuredKind::Null:
        return {};
      case StructuredKind::Bool: {
        auto b = reader.read_bool();
        if (!b) return std::unexpected(std::move(b.error()));
        value = StructuredValue::boolean(*b);
        return {};
      }
      case StructuredKind::Unsigned: {
        auto u = reader.read_u64();
        if (!u) return std::unexpected(std::move(u.error()));
        value = StructuredValue::unsigned_integer(*u);
        return {};
      }
      case StructuredKind::Signed: {
        auto i = reader.read_i64();
        if (!i) return std::unexpected(std::move(i.error()));
        value = StructuredValue::signed_integer(*i);
        return {};
      }
      case StructuredKind::Float: {
        auto f = reader.read_f64();
        if (!f) return std::unexpected(std::move(f.error()));
        value = StructuredValue::floating(*f);
        return {};
      }
      case StructuredKind::Text: {
        auto s = reader.read_string();
        if (!s) return std::unexpected(std::move(s.error()));
        value = StructuredValue::text(std::move(*s));
        return {};
      }
      case StructuredKind::Bytes: {
        auto b = read_byte_string(reader);
        if (!b) return std::unexpected(std::move(b.error()));
        value = StructuredValue::bytes(std::move(*b));
        return {};
      }
      case StructuredKind::Array: {
        StructuredArray array;
        auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
          auto element = read_structured_value(reader);
          if (!element) return std::unexpected(std::move(element.error()));
          array.push_back(std::move(*element));
          return {};
        });
        if (!count) return std::unexpected(std::move(count.error()));
        value = StructuredValue::array(std::move(array));
        return {};
      }
      case StructuredKind::Map: {
        StructuredMap map;
        auto entries = reader.read_map("a map", [&](std::string_view key_view) -> Result<void> {
          std::string key(key_view);  // the view does not outlive the next read
          auto entry = read_structured_value(reader);
          if (!entry) return std::unexpected(std::move(entry.error()));
          map.insert_or_assign(std::move(key), std::move(*entry));
          return {};
        });
        if (!entries) return entries;
        value = StructuredValue::map(std::move(map));
        return {};
      }
    }
    fatal("structured value variant out of range");
  });
  if (!done) return std::unexpected(std::move(done.error()));
  return value;
}

Result<TypedStructuredValue> read_typed_structured_value(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"schema"}, {"value"}};
  TypedStructuredValue typed;
  auto done = reader.read_object("struct TypedStructuredValue", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) return assign(read_schema_ref(reader), typed.schema);
    return assign(read_structured_value(reader), typed.value);
  });
  if (!done) return std::unexpected(std::move(done.error()));
  return typed;
}

Result<ContentDigest> read_content_digest(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"algorithm"}, {"value"}};
  static constexpr std::string_view kAlgorithms[] = {"sha256"};
  static constexpr std::string_view kLength = "an array of length 32";
  ContentDigest digest;
  auto done = reader.read_object("struct ContentDigest", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) {
      auto algorithm = reader.read_enum("enum DigestAlgorithm", kAlgorithms);
      if (!algorithm) return std::unexpected(std::move(algorithm.error()));
      digest.algorithm = DigestAlgorithm::sha256;
      return {};
    }
    auto count = reader.read_array(kLength, [&](std::size_t index) -> Result<void> {
      // Elements past the 32nd are only checked for syntax: the length error
      // follows at the closing bracket.
      if (index >= digest.value.size()) return reader.skip_value();
      return reader.read_u8_into(digest.value[index]);
    });
    if (!count) return std::unexpected(std::move(count.error()));
    if (*count != digest.value.size()) return std::unexpected(reader.invalid_length(*count, kLength));
    return {};
  });
  if (!done) return std::unexpected(std::move(done.error()));
  return digest;
}

Result<ArtifactIdentity> read_artifact_identity(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"byte_len"}, {"digest"}};
  ArtifactIdentity identity;
  auto done = reader.read_object("struct ArtifactIdentity", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) return reader.read_u64_into(identity.byte_len);
    return assign(read_content_digest(reader), identity.digest);
  });
  if (!done) return std::unexpected(std::move(done.error()));
  return identity;
}

}  // namespace lumivar
