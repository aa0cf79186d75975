#include "lumivar_core/encoding/json_writer.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/encoding/hex_testing.hpp"

namespace lumivar {
namespace {

std::string double_text(double value) {
  char buffer[kMaxJsonDoubleChars];
  return std::string(buffer, format_json_double(value, buffer));
}

TEST(JsonDoubleFormat, GoldenTexts) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1.0, "1.0"},
      {-1.5, "-1.5"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {0.001, "0.001"},
      {100.0, "100.0"},
      {1234.5, "1234.5"},
      {123456789.0, "123456789.0"},
      {1e15, "1000000000000000.0"},
      {9007199254740993.0, "9007199254740992.0"},  // rounds to 2^53 on parsing
      {1e16, "1e+16"},
      {1.5e16, "1.5e+16"},
      {1e21, "1e+21"},
      {1.2345678901234568e17, "1.2345678901234568e+17"},
      {0.00001, "0.00001"},
      {0.000012345, "0.000012345"},
      {0.000001, "1e-6"},
      {1.25e-7, "1.25e-7"},
      {-1.25e-7, "-1.25e-7"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
  };
  for (const Case& c : cases) EXPECT_EQ(double_text(c.value), c.text) << "bits " << std::bit_cast<std::uint64_t>(c.value);
}

// Every text reads back to the same bits and has the required shape.
TEST(JsonDoubleFormat, RoundTripsAndKeepsShapeOverManyBitPatterns) {
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (int i = 0; i < 200000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    double value = std::bit_cast<double>(state);
    if (!std::isfinite(value)) continue;
    // Also cover the positional range densely: scale into 1e-7 .. 1e17.
    if (i % 2 == 0) value = std::ldexp(std::fabs(std::fmod(value, 1.0)) + 0.5, (i / 2) % 80 - 25);
    std::string text = double_text(value);
    ASSERT_LE(text.size(), kMaxJsonDoubleChars);
    double back = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(r.ptr, text.data() + text.size()) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value)) << text;
    double magnitude = std::fabs(value);
    bool positional = magnitude == 0 || (magnitude >= 1e-5 && magnitude < 1e16);
    ASSERT_EQ(text.find('e') == std::string::npos, positional) << text;
    if (positional) {
      ASSERT_NE(text.find('.'), std::string::npos) << text;
      ASSERT_NE(text.back(), '.') << text;
    } else {
      ASSERT_NE(text[text.find('e') + 1], '0') << text;  // no leading zero in the exponent
    }
  }
}

TEST(JsonWriter, NonFiniteFloatsAreRefusedAndWriteNothing) {
  for (double value : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
    JsonWriter writer;
    writer.begin_array();
    EXPECT_FALSE(writer.write_double(value));
    writer.write_u64(1);
    writer.end_array();
    EXPECT_EQ(writer.view(), "[1]");
  }
}

TEST(JsonWriter, Integers) {
  JsonWriter writer;
  writer.begin_array();
  writer.write_u64(0);
  writer.write_u64(std::numeric_limits<std::uint64_t>::max());
  writer.write_i64(-1);
  writer.write_i64(std::numeric_limits<std::int64_t>::min());
  writer.write_i64(42);
  writer.end_array();
  EXPECT_EQ(writer.view(), "[0,18446744073709551615,-1,-9223372036854775808,42]");
}

// The escape of one byte, written out from the rule rather than from the table.
std::string expected_escape(unsigned char c) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case 0x08: return "\\b";
    case 0x09: return "\\t";
    case 0x0A: return "\\n";
    case 0x0C: return "\\f";
    case 0x0D: return "\\r";
    default: break;
  }
  if (c < 0x20) {
    const char* hex = "0123456789abcdef";
    return std::string("\\u00") + hex[c >> 4] + hex[c & 15];
  }
  return std::string(1, static_cast<char>(c));
}

TEST(JsonStringEscape, EveryByteValueAtEveryWordPosition) {
  // Positions 0..16 cross the eight-byte scanning words; two backgrounds make
  // sure neighbouring high bytes do not mask or fake an escape.
  for (char background : {'a', '\xFF'}) {
    for (int c = 0; c < 256; ++c) {
      for (std::size_t at = 0; at <= 16; ++at) {
        std::string text(17, background);
        text[at] = static_cast<char>(c);
        std::string expected = "\"" + std::string(at, background) + expected_escape(static_cast<unsigned char>(c)) +
                               std::string(16 - at, background) + "\"";
        JsonWriter writer;
        writer.write_string(text);
        ASSERT_EQ(writer.view(), expected) << "byte " << c << " at " << at << "\n" << testing::hex(writer.view());
      }
    }
  }
}

TEST(JsonStringEscape, GoldenTexts) {
  struct Case {
    std::string text;
    const char* json;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"/ \x7F", "\"/ \x7F\""},
      {"\xC3\xA9", "\"\xC3\xA9\""},  // é copied unchanged
      {"\x1F", R"("\u001f")"},
      {std::string("\0", 1), R"("\u0000")"},
      {"a\"b\\c\n", R"("a\"b\\c\n")"},
      {"\b\t\n\f\r\x01\x0B", R"("\b\t\n\f\r\u0001\u000b")"},
      {"\"\"\"\"\"\"\"\"\"", R"("\"\"\"\"\"\"\"\"\"")"},
  };
  for (const Case& c : cases) {
    JsonWriter writer;
    writer.write_string(c.text);
    EXPECT_BYTES_EQ(std::string_view(c.json), writer.view());
  }
}

TEST(CanonicalJson, SortsKeysBytewiseAndWritesNoWhiteSpace) {
  JsonObject inner;
  inner.emplace("b", 1);
  inner.emplace("aa", JsonArray{});
  inner.emplace("a", JsonObject{});
  inner.emplace("\xC3\xA9", "x");  // bytes above 0x7F sort after ASCII
  inner.emplace("B", nullptr);
  JsonObject document;
  document.emplace("b", 1);
  document.emplace("a", JsonArray{true, nullptr, -0.0, 2.5, -7});
  document.emplace("nested", std::move(inner));
  Result<std::string> bytes = canonical_json_bytes(JsonValue(std::move(document)));
  ASSERT_TRUE(bytes.has_value());
  EXPECT_BYTES_EQ(std::string_view(R"({"a":[true,null,-0.0,2.5,-7],"b":1,"nested":{"B":null,"a":{},"aa":[],"b":1,)"
                                   "\"\xC3\xA9\":\"x\"}}"),
                  *bytes);

  JsonObject simple;
  simple.emplace("b", 1);
  simple.emplace("a", JsonArray{true, nullptr});
  EXPECT_EQ(canonical_json_bytes(JsonValue(std::move(simple))).value(), R"({"a":[true,null],"b":1})");
}

TEST(CanonicalJson, RejectsNonFiniteFloatsAnywhere) {
  JsonObject object;
  object.emplace("x", JsonArray{1, std::numeric_limits<double>::infinity()});
  for (const JsonValue& document : {JsonValue(std::numeric_limits<double>::quiet_NaN()), JsonValue(object)}) {
    Result<std::string> bytes = canonical_json_bytes(document);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().message, "cannot convert value to canonical JSON: non-finite float");
  }
  EXPECT_EQ(json_text(JsonValue(object), JsonStyle::pretty).error().message,
            "cannot write JSON text: non-finite float");
}

TEST(JsonWriter, PrettyIndentsByTwoSpaces) {
  JsonObject object;
  object.emplace("list", JsonArray{1, JsonObject{}, JsonArray{}});
  object.emplace("name", "x");
  object.emplace("nested", JsonObject{{"k", true}});
  EXPECT_EQ(json_text(JsonValue(std::move(object)), JsonStyle::pretty).value(),
            "{\n"
            "  \"list\": [\n"
            "    1,\n"
            "    {},\n"
            "    []\n"
            "  ],\n"
            "  \"name\": \"x\",\n"
            "  \"nested\": {\n"
            "    \"k\": true\n"
            "  }\n"
            "}");
  EXPECT_EQ(json_text(JsonValue(JsonObject{}), JsonStyle::pretty).value(), "{}");
  EXPECT_EQ(json_text(JsonValue(5), JsonStyle::compact).value(), "5");
}

// Records write themselves member by member; the result must equal the tree
// written through the same writer.
TEST(JsonWriter, LowLevelCallsMatchTheTreeWriter) {
  JsonWriter writer;
  writer.begin_object();
  writer.key("bytes");
  writer.write_bytes(ByteString{0, 7, 255});
  writer.key("empty");
  writer.begin_array();
  writer.end_array();
  writer.key("raw");
  writer.write_raw(R"({"x":1})");
  writer.key("s");
  writer.write_string("q\"");
  writer.end_object();

  JsonObject tree;
  tree.emplace("bytes", bytes_to_json(ByteString{0, 7, 255}));
  tree.emplace("empty", JsonArray{});
  tree.emplace("raw", JsonObject{{"x", 1}});
  tree.emplace("s", "q\"");
  EXPECT_BYTES_EQ(canonical_json_bytes(JsonValue(std::move(tree))).value(), writer.view());

  // A cleared writer starts afresh and keeps working.
  writer.clear();
  writer.write_null();
  EXPECT_EQ(writer.take(), "null");
  EXPECT_EQ(writer.size(), 0u);
}

TEST(JsonWriter, GrowsForLargeOutput) {
  std::string big(100000, 'x');
  big[50000] = '\n';
  JsonWriter writer;
  writer.begin_array();
  for (int i = 0; i < 3; ++i) writer.write_string(big);
  writer.end_array();
  std::string text = writer.take();
  ASSERT_EQ(text.size(), 2 + 3 * (100000 + 1 + 2) + 2);
  EXPECT_EQ(text.substr(50000, 4), "xx\\n");
}

}  // namespace
}  // namespace lumivar
