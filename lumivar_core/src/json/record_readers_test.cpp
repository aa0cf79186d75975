#include "lumivar_core/json/record_readers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "lumivar_core/encoding/json_writer.hpp"

namespace lumivar {
namespace {

std::string write(const JsonValue& value) {
  JsonWriter writer;
  EXPECT_TRUE(writer.write_value(value));
  return writer.take();
}

template <class T, class Read>
std::string error_of(std::string_view text, Read read) {
  auto result = read_required_document<T>(text, read);
  return result ? "(no error)" : result.error().message;
}

struct Case {
  std::string_view text;
  std::string_view message;
};

TEST(SchemaRecordReaders, ReadSchemaVersionAndRef) {
  auto ref = read_required_document<SchemaRef>(
      R"({"version": {"patch": 3, "major": 1, "minor": 65535}, "id": "lumivar.input_schedule"})", read_schema_ref);
  ASSERT_TRUE(ref) << ref.error().message;
  EXPECT_EQ(*ref, (SchemaRef{"lumivar.input_schedule", SchemaVersion{1, 65535, 3}}));

  const Case cases[] = {
      {R"({"id": "a", "version": {"major": 70000, "minor": 0, "patch": 0}})",
       "invalid value: integer `70000`, expected u16 at line 1 column 38"},
      {R"({"id": "a", "version": {"major": 1, "minor": 0}})", "missing field `patch` at line 1 column 47"},
      {R"({"id": "a", "version": {"major": 1, "minor": 0, "patch": 0, "build": 1}})",
       "unknown field `build`, expected one of `major`, `minor`, `patch` at line 1 column 67"},
      {R"({"id": "a", "ver": 1})", "unknown field `ver`, expected `id` or `version` at line 1 column 17"},
      {R"({"id": 5, "version": {"major": 1, "minor": 0, "patch": 0}})",
       "invalid type: integer `5`, expected a string at line 1 column 8"},
      {R"({"id": "a", "version": "1.0.0"})",
       "invalid type: string \"1.0.0\", expected struct SchemaVersion at line 1 column 30"},
      {R"("lumivar.input_schedule")",
       "invalid type: string \"lumivar.input_schedule\", expected struct SchemaRef at line 1 column 24"},
  };
  for (const auto& c : cases) EXPECT_EQ(error_of<SchemaRef>(c.text, read_schema_ref), c.message) << c.text;
}

TEST(StructuredValueReader, ReadsEveryVariant) {
  struct ValueCase {
    std::string_view text;
    StructuredValue expected;
  };
  const ValueCase cases[] = {
      {R"("Null")", StructuredValue::null()},
      {R"({"Null": null})", StructuredValue::null()},
      {R"({"Bool": true})", StructuredValue::boolean(true)},
      {R"({"Unsigned": 18446744073709551615})",
       StructuredValue::unsigned_integer(std::numeric_limits<std::uint64_t>::max())},
      {R"({"Signed": -9223372036854775808})",
       StructuredValue::signed_integer(std::numeric_limits<std::int64_t>::min())},
      {R"({"Signed": 5})", StructuredValue::signed_integer(5)},
      {R"({"Float": 0.5})", StructuredValue::floating(0.5)},
      {R"({"Float": 2})", StructuredValue::floating(2.0)},
      {R"({"Text": "a\u00e9"})", StructuredValue::text("a\xC3\xA9")},
      {R"({"Bytes": [1, 2, 255]})", StructuredValue::bytes({1, 2, 255})},
      {R"({"Array": ["Null", {"Bool": false}]})",
       StructuredValue::array({StructuredValue::null(), StructuredValue::boolean(false)})},
      {R"({"Map": {"b": {"Unsigned": 1}, "a": "Null", "b": {"Unsigned": 2}}})",
       StructuredValue::map({{"a", StructuredValue::null()}, {"b", StructuredValue::unsigned_integer(2)}})},
  };
  for (const auto& c : cases) {
    auto value = read_required_document<StructuredValue>(c.text, read_structured_value);
    ASSERT_TRUE(value) << c.text << ": " << value.error().message;
    EXPECT_EQ(*value, c.expected) << c.text;
  }
}

TEST(StructuredValueReader, ReadsBackWhatTheWriterWrites) {
  StructuredValue value = StructuredValue::map({
      {"list", StructuredValue::array({StructuredValue::signed_integer(-3), StructuredValue::floating(1e-7),
                                       StructuredValue::text("q\"\n"), StructuredValue::bytes({0, 128})})},
      {"nested", StructuredValue::map({{"", StructuredValue::unsigned_integer(0)}})},
      {"null", StructuredValue::null()},
  });
  auto read = read_required_document<StructuredValue>(write(to_json(value)), read_structured_value);
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(*read, value);
}

TEST(StructuredValueReader, Errors) {
  const Case cases[] = {
      {R"("Nul")",
       "unknown variant `Nul`, expected one of `Null`, `Bool`, `Unsigned`, `Signed`, `Float`, `Text`, `Bytes`, "
       "`Array`, `Map` at line 1 column 5"},
      {R"("Bool")", "invalid type: unit variant, expected newtype variant at line 1 column 6"},
      {"5", "invalid type: integer `5`, expected enum StructuredValue at line 1 column 1"},
      {"{}", "invalid length 0, expected map with a single key at line 1 column 2"},
      {R"({"Bool": true, "Text": "a"})", "invalid length 2, expected map with a single key at line 1 column 27"},
      {R"({"Unsigned": -1})", "invalid value: integer `-1`, expected u64 at line 1 column 15"},
      {R"({"Signed": 9223372036854775808})",
       "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 30"},
      {R"({"Bytes": [1, 256]})", "invalid value: integer `256`, expected u8 at line 1 column 17"},
      {R"({"Bytes": "AQI="})", "invalid type: string \"AQI=\", expected a sequence at line 1 column 16"},
      {R"({"Map": []})", "invalid type: sequence, expected a map at line 1 column 9"},
      {R"({"Array": [5]})", "invalid type: integer `5`, expected enum StructuredValue at line 1 column 12"},
      {R"({"Float": null})", "invalid type: null, expected f64 at line 1 column 14"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of<StructuredValue>(c.text, read_structured_value), c.message) << c.text;
  }
}

TEST(StructuredValueReader, NestingIsLimited) {
  // Each Array level is two JSON levels ({ and [): 64 levels fit, 65 do not.
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "{\"Array\":[";
    text += "\"Null\"";
    for (int i = 0; i < levels; ++i) text += "]}";
    return text;
  };
  EXPECT_EQ(error_of<StructuredValue>(nested(63), read_structured_value), "(no error)");
  EXPECT_EQ(error_of<StructuredValue>(nested(65), read_structured_value),
            "recursion limit exceeded at line 1 column 641");
}

TEST(TypedStructuredValueReader, ReadsSchemaAndValue) {
  TypedStructuredValue typed{SchemaRef{"chip8.key", SchemaVersion{1, 0, 0}}, StructuredValue::boolean(true)};
  auto read = read_required_document<TypedStructuredValue>(write(to_json(typed)), read_typed_structured_value);
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(*read, typed);
  EXPECT_EQ(error_of<TypedStructuredValue>(R"({"value": "Null"})", read_typed_structured_value),
            "missing field `schema` at line 1 column 17");
}

TEST(ContentDigestReader, ReadsThirtyTwoBytesOnly) {
  Sha256Digest bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 8);
  ArtifactIdentity identity{4096, ContentDigest::sha256(bytes)};
  auto read = read_required_document<ArtifactIdentity>(write(to_json(identity)), read_artifact_identity);
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(*read, identity);

  auto digest_text = [](std::string_view algorithm, int count) {
    std::string text = "{\"algorithm\":\"" + std::string(algorithm) + "\",\"value\":[";
    for (int i = 0; i < count; ++i) text += i == 0 ? "7" : ",7";
    return text + "]}";
  };
  // Column of the closing bracket: 31 characters of prefix, then the elements.
  EXPECT_EQ(error_of<ContentDigest>(digest_text("sha256", 31), read_content_digest),
            "invalid length 31, expected an array of length 32 at line 1 column 93");
  EXPECT_EQ(error_of<ContentDigest>(digest_text("sha256", 33), read_content_digest),
            "invalid length 33, expected an array of length 32 at line 1 column 97");
  EXPECT_EQ(error_of<ContentDigest>(digest_text("sha256", 0), read_content_digest),
            "invalid length 0, expected an array of length 32 at line 1 column 32");
  EXPECT_EQ(error_of<ContentDigest>(digest_text("md5", 32), read_content_digest),
            "unknown variant `md5`, expected `sha256` at line 1 column 18");
  EXPECT_EQ(error_of<ContentDigest>(R"({"algorithm":"sha256","value":"00"})", read_content_digest),
            "invalid type: string \"00\", expected an array of length 32 at line 1 column 34");
}

}  // namespace
}  // namespace lumivar
