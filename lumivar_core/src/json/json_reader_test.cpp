#include "lumivar_core/json/json_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumivar {
namespace {

std::string error_of(const Result<JsonValue>& result) { return result ? "(no error)" : result.error().message; }

// --- Syntax ------------------------------------------------------------------

struct SyntaxCase {
  std::string_view text;
  std::string_view message;
};

TEST(JsonReaderSyntax, ReportsEachErrorWithItsPosition) {
  const SyntaxCase cases[] = {
      // End of input: the position is the last character; none for an empty text.
      {"", "EOF while parsing a value at line 1 column 0"},
      {"   ", "EOF while parsing a value at line 1 column 3"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {"\"ab\\", "EOF while parsing a string at line 1 column 4"},
      {"\"\\u12", "EOF while parsing a string at line 1 column 5"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {"{\"a\"", "EOF while parsing an object at line 1 column 4"},
      {"{\"a\":", "EOF while parsing a value at line 1 column 5"},
      {"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
      {"{\"a\":1,", "EOF while parsing an object at line 1 column 7"},
      {"[", "EOF while parsing a list at line 1 column 1"},
      {"[1,", "EOF while parsing a value at line 1 column 3"},
      {"nul", "EOF while parsing a value at line 1 column 3"},
      {"-", "EOF while parsing a value at line 1 column 1"},
      {"1.", "EOF while parsing a value at line 1 column 2"},
      {"1e+", "EOF while parsing a value at line 1 column 3"},
      // Structure.
      {"x", "expected value at line 1 column 1"},
      {"[1,]", "expected value at line 1 column 4"},
      {"[,1]", "expected value at line 1 column 2"},
      {"nulx", "expected ident at line 1 column 4"},
      {"tru e", "expected ident at line 1 column 4"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"[1}", "expected `,` or `]` at line 1 column 3"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"{\"a\":1,}", "key must be a string at line 1 column 8"},
      {"1 2", "trailing characters at line 1 column 3"},
      {"{} x", "trailing characters at line 1 column 4"},
      {"nullx", "trailing characters at line 1 column 5"},
      // Numbers.
      {"-x", "invalid number at line 1 column 2"},
      {"01", "invalid number at line 1 column 2"},
      {"-01", "invalid number at line 1 column 3"},
      {"1.e5", "invalid number at line 1 column 3"},
      {"1ex", "invalid number at line 1 column 3"},
      {"+1", "expected value at line 1 column 1"},
      {"1e400", "number out of range at line 1 column 5"},
      {"[-1e400]", "number out of range at line 1 column 7"},
      {"1.7976931348623159e308", "number out of range at line 1 column 22"},
      // Strings.
      {"\"\\x\"", "invalid escape at line 1 column 3"},
      {"\"\\u12G4\"", "invalid escape at line 1 column 6"},
      {"\"a\x01\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"a\nb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"\\uD800\"", "lone leading surrogate in hex escape at line 1 column 8"},
      {"\"\\uD800\\n\"", "lone leading surrogate in hex escape at line 1 column 9"},
      {"\"\\uD800\\u0041\"", "invalid unicode code point at line 1 column 13"},
      {"\"\\uDC00\"", "invalid unicode code point at line 1 column 7"},
      {"\"\xFF\"", "invalid unicode code point at line 1 column 2"},
      {"\"\xC0\xAF\"", "invalid unicode code point at line 1 column 2"},
      {"\"\xC3\"", "invalid unicode code point at line 1 column 3"},
      {"\"\xED\xA0\x80\"", "invalid unicode code point at line 1 column 3"},
      {"\"\xF4\x90\x80\x80\"", "invalid unicode code point at line 1 column 3"},
      {"\"\xE2\x82", "EOF while parsing a string at line 1 column 3"},
      // Lines: a line feed belongs to the line it ends; columns count bytes.
      {"{\n  \"a\": 1,\n  \"b\" 2\n}", "expected `:` at line 3 column 7"},
      {"[\n", "EOF while parsing a list at line 1 column 2"},
      {"[1,\n\n", "EOF while parsing a value at line 2 column 1"},
      {"\r\n\tx", "expected value at line 2 column 2"},
      {"[\"\xC3\xA9\", x]", "expected value at line 1 column 8"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of(parse_json(c.text)), c.message) << "input: " << c.text;
  }
}

TEST(JsonReaderSyntax, NestingIsLimitedTo128Levels) {
  auto nested = [](std::size_t depth, char open, char close) {
    return std::string(depth, open) + std::string(depth, close);
  };
  EXPECT_TRUE(parse_json(nested(128, '[', ']')));
  EXPECT_EQ(error_of(parse_json(nested(129, '[', ']'))), "recursion limit exceeded at line 1 column 129");
  std::string objects;
  for (int i = 0; i < 129; ++i) objects += "{\"a\":";
  EXPECT_EQ(error_of(parse_json(objects)), "recursion limit exceeded at line 1 column 641");
  // Far deeper input is refused just the same, without using the stack for it.
  EXPECT_EQ(error_of(parse_json(std::string(1'000'000, '['))), "recursion limit exceeded at line 1 column 129");
}

// --- Accepted values ---------------------------------------------------------

TEST(JsonReaderValue, ReadsEveryKindOfValueWithWhiteSpaceAround) {
  auto value = parse_json(" \t\r\n{\"b\": [true, false, null], \"a\": {\"x\": \"y\"}, \"n\": -1.5e3} \n");
  ASSERT_TRUE(value) << value.error().message;
  JsonObject inner{{"x", JsonValue("y")}};
  JsonObject expected{{"a", JsonValue(inner)},
                      {"b", JsonValue(JsonArray{JsonValue(true), JsonValue(false), JsonValue(nullptr)})},
                      {"n", JsonValue(-1500.0)}};
  EXPECT_EQ(*value, JsonValue(expected));
}

TEST(JsonReaderValue, LaterDuplicateMemberWins) {
  auto value = parse_json(R"({"a": 1, "a": 2})");
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, JsonValue(JsonObject{{"a", JsonValue(2)}}));
}

TEST(JsonReaderValue, IntegersAreExactOverTheWhole64BitRanges) {
  struct Case {
    std::string_view text;
    JsonValue expected;
  };
  const Case cases[] = {
      {"0", JsonValue(std::uint64_t{0})},
      {"18446744073709551615", JsonValue(std::numeric_limits<std::uint64_t>::max())},
      {"-1", JsonValue(std::int64_t{-1})},
      {"-9223372036854775808", JsonValue(std::numeric_limits<std::int64_t>::min())},
      // Beyond the integer ranges a number is a float.
      {"18446744073709551616", JsonValue(18446744073709551616.0)},
      {"-9223372036854775809", JsonValue(-9223372036854775809.0)},
      {"9999999999999999999", JsonValue(std::uint64_t{9999999999999999999u})},
      {"10000000000000000000", JsonValue(std::uint64_t{10000000000000000000u})},
      {"99999999999999999999", JsonValue(99999999999999999999.0)},
      {"[0,7]", JsonValue(JsonArray{JsonValue(0), JsonValue(7)})},
      {"7", JsonValue(7)},
      {"1e2", JsonValue(100.0)},
      {"1.0", JsonValue(1.0)},
  };
  for (const auto& c : cases) {
    auto value = parse_json(c.text);
    ASSERT_TRUE(value) << c.text;
    EXPECT_EQ(*value, c.expected) << c.text;
  }
  // "-0" keeps its sign as a float.
  auto negative_zero = parse_json("-0");
  ASSERT_TRUE(negative_zero && negative_zero->is<double>());
  EXPECT_TRUE(std::signbit(negative_zero->as<double>()));
}

TEST(JsonReaderValue, FloatsAreCorrectlyRounded) {
  struct Case {
    std::string_view text;
    double expected;
  };
  const Case cases[] = {
      {"0.1", 0.1},
      {"0.30000000000000004", 0.30000000000000004},
      {"0.1000000000000000055511151231257827021181583404541015625", 0.1},
      {"9007199254740993.0", 9007199254740992.0},  // halfway: to even
      {"9007199254740995.0", 9007199254740996.0},
      {"2.2250738585072014e-308", 2.2250738585072014e-308},
      {"5e-324", 5e-324},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"1E+2", 100.0},
      {"-2.5E-3", -0.0025},
      {"1e-400", 0.0},  // underflow reads as zero
      {"0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
       0.0},
  };
  for (const auto& c : cases) {
    auto value = parse_json(c.text);
    ASSERT_TRUE(value) << c.text << ": " << value.error().message;
    ASSERT_TRUE(value->is<double>()) << c.text;
    EXPECT_EQ(value->as<double>(), c.expected) << c.text;
  }
  auto negative_underflow = parse_json("-1e-400");
  ASSERT_TRUE(negative_underflow);
  EXPECT_TRUE(std::signbit(negative_underflow->as<double>()));
}

TEST(JsonReaderValue, DecodesEscapesAndKeepsUtf8) {
  struct Case {
    std::string_view text;
    std::string_view expected;
  };
  const Case cases[] = {
      {R"("plain")", "plain"},
      {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
      {R"("a\u0000b")", std::string_view("a\0b", 3)},
      {R"("\u00e9\u20AC")", "\xC3\xA9\xE2\x82\xAC"},
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {"\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x7F\"", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x7F"},
  };
  for (const auto& c : cases) {
    auto value = parse_json(c.text);
    ASSERT_TRUE(value) << c.text << ": " << value.error().message;
    EXPECT_EQ(value->as<std::string>(), c.expected) << c.text;
  }
}

// The string scan steps over eight plain bytes at a time; a byte that needs a
// second look must be found at every offset of such a word.
TEST(JsonReaderValue, FindsSpecialBytesAtEveryOffset) {
  for (std::size_t length = 0; length < 20; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      const std::string before(at, 'a'), after(length - at, 'b');
      auto escaped = parse_json("\"" + before + "\\n" + after + "\"");
      ASSERT_TRUE(escaped) << length << " " << at;
      EXPECT_EQ(escaped->as<std::string>(), before + "\n" + after);
      auto utf8 = parse_json("\"" + before + "\xC3\xA9" + after + "\"");
      ASSERT_TRUE(utf8) << length << " " << at;
      EXPECT_EQ(utf8->as<std::string>(), before + "\xC3\xA9" + after);
      EXPECT_EQ(error_of(parse_json("\"" + before + "\x1F" + after + "\"")),
                "control character (\\u0000-\\u001F) found while parsing a string at line 1 column " +
                    std::to_string(at + 2));
      EXPECT_EQ(error_of(parse_json("\"" + before + "\xFF" + after + "\"")),
                "invalid unicode code point at line 1 column " + std::to_string(at + 2));
    }
  }
}

TEST(JsonReaderValue, StringViewPointsIntoTheTextWithoutEscapes) {
  const std::string_view text = R"(["abc", "a\nb"])";
  JsonReader reader(text);
  ASSERT_TRUE(reader.begin_array("a sequence"));
  ASSERT_TRUE(*reader.next_element(true));
  auto plain = reader.read_string_view();
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->data(), text.data() + 2);
  ASSERT_TRUE(*reader.next_element(false));
  auto escaped = reader.read_string_view();
  ASSERT_TRUE(escaped);
  EXPECT_EQ(*escaped, "a\nb");
  EXPECT_FALSE(*reader.next_element(false));
  EXPECT_TRUE(reader.finish());
}

// --- Typed scalars -----------------------------------------------------------

struct TypedCase {
  std::string_view text;
  std::string_view message;
};

template <class Read>
std::string typed_error(std::string_view text, Read read) {
  JsonReader reader(text);
  auto result = read(reader);
  return result ? "(no error)" : result.error().message;
}

TEST(JsonReaderTyped, InvalidTypeNamesWhatWasFoundAndWanted) {
  auto as_string = [](JsonReader& r) { return r.read_string(); };
  auto as_u64 = [](JsonReader& r) { return r.read_u64(); };
  const TypedCase string_cases[] = {
      {"5", "invalid type: integer `5`, expected a string at line 1 column 1"},
      {" -15", "invalid type: integer `-15`, expected a string at line 1 column 4"},
      {"1.5", "invalid type: floating point `1.5`, expected a string at line 1 column 3"},
      {"1.0", "invalid type: floating point `1.0`, expected a string at line 1 column 3"},
      {"1e16", "invalid type: floating point `1e+16`, expected a string at line 1 column 4"},
      {"true", "invalid type: boolean `true`, expected a string at line 1 column 4"},
      {"false", "invalid type: boolean `false`, expected a string at line 1 column 5"},
      {"null", "invalid type: null, expected a string at line 1 column 4"},
      {"  {\"a\": 1}", "invalid type: map, expected a string at line 1 column 3"},
      {"[1]", "invalid type: sequence, expected a string at line 1 column 1"},
      // A syntax error inside the unexpected value comes first.
      {"tru", "EOF while parsing a value at line 1 column 3"},
      {"1.x", "invalid number at line 1 column 3"},
      {"?", "expected value at line 1 column 1"},
  };
  for (const auto& c : string_cases) EXPECT_EQ(typed_error(c.text, as_string), c.message) << c.text;
  const TypedCase u64_cases[] = {
      {"\"abc\"", "invalid type: string \"abc\", expected u64 at line 1 column 5"},
      {R"("a\"b\\c\n\u0001")", R"(invalid type: string "a\"b\\c\n\u0001", expected u64 at line 1 column 17)"},
      {"\"ab", "EOF while parsing a string at line 1 column 3"},
  };
  for (const auto& c : u64_cases) EXPECT_EQ(typed_error(c.text, as_u64), c.message) << c.text;
  EXPECT_EQ(typed_error("1", [](JsonReader& r) { return r.read_bool(); }),
            "invalid type: integer `1`, expected a boolean at line 1 column 1");
  EXPECT_EQ(typed_error("\"1\"", [](JsonReader& r) { return r.read_f64(); }),
            "invalid type: string \"1\", expected f64 at line 1 column 3");
  EXPECT_EQ(typed_error("0", [](JsonReader& r) { return r.read_null(); }),
            "invalid type: integer `0`, expected unit at line 1 column 1");
}

TEST(JsonReaderTyped, IntegerRangesAndKinds) {
  auto u64 = [](JsonReader& r) { return r.read_u64(); };
  auto u32 = [](JsonReader& r) { return r.read_u32(); };
  auto u16 = [](JsonReader& r) { return r.read_u16(); };
  auto u8 = [](JsonReader& r) { return r.read_u8(); };
  auto i64 = [](JsonReader& r) { return r.read_i64(); };
  EXPECT_EQ(typed_error("18446744073709551616", u64),
            "invalid type: floating point `1.8446744073709552e+19`, expected u64 at line 1 column 20");
  EXPECT_EQ(typed_error("-1", u64), "invalid value: integer `-1`, expected u64 at line 1 column 2");
  EXPECT_EQ(typed_error("-0", u64), "invalid type: floating point `-0.0`, expected u64 at line 1 column 2");
  EXPECT_EQ(typed_error("1.0", u64), "invalid type: floating point `1.0`, expected u64 at line 1 column 3");
  EXPECT_EQ(typed_error("4294967296", u32), "invalid value: integer `4294967296`, expected u32 at line 1 column 10");
  EXPECT_EQ(typed_error("70000", u16), "invalid value: integer `70000`, expected u16 at line 1 column 5");
  EXPECT_EQ(typed_error("256", u8), "invalid value: integer `256`, expected u8 at line 1 column 3");
  EXPECT_EQ(typed_error("-5", u8), "invalid value: integer `-5`, expected u8 at line 1 column 2");
  EXPECT_EQ(typed_error("9223372036854775808", i64),
            "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 19");
  EXPECT_EQ(typed_error("-9223372036854775809", i64),
            "invalid type: floating point `-9.223372036854776e+18`, expected i64 at line 1 column 20");

  JsonReader max_u64("18446744073709551615");
  EXPECT_EQ(max_u64.read_u64(), std::numeric_limits<std::uint64_t>::max());
  JsonReader min_i64("-9223372036854775808");
  EXPECT_EQ(min_i64.read_i64(), std::numeric_limits<std::int64_t>::min());
  JsonReader max_i64("9223372036854775807");
  EXPECT_EQ(max_i64.read_i64(), std::numeric_limits<std::int64_t>::max());
  JsonReader edges("[65535, 255, 4294967295]");
  ASSERT_TRUE(edges.begin_array("a sequence"));
  ASSERT_TRUE(*edges.next_element(true));
  EXPECT_EQ(edges.read_u16(), 65535);
  ASSERT_TRUE(*edges.next_element(false));
  EXPECT_EQ(edges.read_u8(), 255);
  ASSERT_TRUE(*edges.next_element(false));
  EXPECT_EQ(edges.read_u32(), 4294967295u);
  // read_f64 takes integers too, correctly rounded.
  JsonReader integer_as_float("9007199254740993");
  EXPECT_EQ(integer_as_float.read_f64(), 9007199254740992.0);
}

// --- Structs -----------------------------------------------------------------

struct Limits {
  std::string name;
  std::uint64_t frames = 0;
  std::optional<std::uint64_t> steps;
};

// The usage example of the header, kept compiling here.
Result<Limits> read_limits(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"name"}, {"frames"}, optional_field("steps")};
  Limits limits;
  auto done = reader.read_object("struct Limits", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return reader.read_string_into(limits.name);
      case 1: return reader.read_u64_into(limits.frames);
      default: return reader.read_optional_into(limits.steps, [&] { return reader.read_u64(); });
    }
  });
  if (!done) return std::unexpected(done.error());
  return limits;
}

std::string limits_error(std::string_view text) {
  auto result = read_document<Limits>(text, read_limits);
  return result ? "(no error)" : result.error().message;
}

TEST(JsonReaderStruct, ReadsRequiredAndOptionalMembersInAnyOrder) {
  auto plain = read_document<Limits>(R"({"name": "a", "frames": 3})", read_limits);
  ASSERT_TRUE(plain && *plain);
  EXPECT_EQ((*plain)->name, "a");
  EXPECT_EQ((*plain)->frames, 3u);
  EXPECT_EQ((*plain)->steps, std::nullopt);

  auto with_null = read_document<Limits>(R"({"steps": null, "frames": 3, "name": "a"})", read_limits);
  ASSERT_TRUE(with_null && *with_null);
  EXPECT_EQ((*with_null)->steps, std::nullopt);

  auto with_steps = read_document<Limits>(" {\"steps\": 7, \"frames\": 3, \"name\": \"a\"}\n\t", read_limits);
  ASSERT_TRUE(with_steps && *with_steps);
  EXPECT_EQ((*with_steps)->steps, 7u);
}

TEST(JsonReaderStruct, NullTextIsAbsent) {
  for (std::string_view text : {"null", " \n null \t\r\n"}) {
    auto absent = read_document<Limits>(text, read_limits);
    ASSERT_TRUE(absent) << absent.error().message;
    EXPECT_FALSE(absent->has_value());
  }
  EXPECT_EQ(limits_error("null x"), "trailing characters at line 1 column 6");
  EXPECT_EQ(limits_error("nul"), "EOF while parsing a value at line 1 column 3");
  EXPECT_EQ(limits_error(""), "EOF while parsing a value at line 1 column 0");
  EXPECT_EQ(limits_error("[]"), "invalid type: sequence, expected struct Limits at line 1 column 1");
  auto required = read_required_document<Limits>("null", read_limits);
  ASSERT_FALSE(required);
  EXPECT_EQ(required.error().message, "invalid type: null, expected struct Limits at line 1 column 4");
}

TEST(JsonReaderStruct, ShapeErrors) {
  const TypedCase cases[] = {
      {R"({"name":"a"})", "missing field `frames` at line 1 column 12"},
      {"{\n}", "missing field `name` at line 2 column 1"},
      {R"({"name":"a","frames":1,"x":2})",
       "unknown field `x`, expected one of `name`, `frames`, `steps` at line 1 column 26"},
      {R"({"name":"a","name":"b","frames":1})", "duplicate field `name` at line 1 column 18"},
      {R"({"name":"a","frames":1} x)", "trailing characters at line 1 column 25"},
      {R"({"name":"a","frames":"1"})", "invalid type: string \"1\", expected u64 at line 1 column 24"},
      {R"({"name":"a","frames":1,"steps":-1})", "invalid value: integer `-1`, expected u64 at line 1 column 33"},
      {R"({"name":"a","frames":1,"steps":{}})",
       "invalid type: map, expected u64 at line 1 column 32"},
      // The first error in text order wins.
      {R"({"frames":"x","zz":1})", "invalid type: string \"x\", expected u64 at line 1 column 13"},
      {R"({"zz":1,"frames":"x"})", "unknown field `zz`, expected one of `name`, `frames`, `steps` at line 1 column 5"},
      {R"({"name":"a","name":1})", "duplicate field `name` at line 1 column 18"},
      {R"({"name":"a" "frames":1})", "expected `,` or `}` at line 1 column 13"},
      {R"({"zz" 1})", "unknown field `zz`, expected one of `name`, `frames`, `steps` at line 1 column 5"},
      // Keys are matched against the field names straight in the text when
      // written plainly; a name's prefix or extension is another key, and an
      // escaped spelling is the same key.
      {R"({"names":1})", "unknown field `names`, expected one of `name`, `frames`, `steps` at line 1 column 8"},
      {R"({"nam":1})", "unknown field `nam`, expected one of `name`, `frames`, `steps` at line 1 column 6"},
      {R"({"na\u006de":"a","frames":1,"name":"b"})", "duplicate field `name` at line 1 column 34"},
      {R"({"name":"a","na\u006de":"b"})", "duplicate field `name` at line 1 column 23"},
      {R"({"name)", "EOF while parsing a string at line 1 column 6"},
  };
  for (const auto& c : cases) EXPECT_EQ(limits_error(c.text), c.message) << c.text;

  auto escaped = read_document<Limits>(R"({"fr\u0061mes": 3, "n\u0061me": "a"})", read_limits);
  ASSERT_TRUE(escaped && *escaped) << escaped.error().message;
  EXPECT_EQ((*escaped)->frames, 3u);
  EXPECT_EQ((*escaped)->name, "a");
}

TEST(JsonReaderStruct, UnknownFieldListsOneTwoOrNoNames) {
  auto read_with = [](std::span<const FieldSpec> fields, std::string_view text) {
    JsonReader reader(text);
    auto done = reader.read_object("struct T", fields, [&](std::size_t) { return reader.skip_value(); });
    return done ? std::string("(no error)") : done.error().message;
  };
  static constexpr FieldSpec kNone[] = {{"unused"}};
  static constexpr FieldSpec kOne[] = {{"a"}};
  static constexpr FieldSpec kTwo[] = {{"a"}, optional_field("b")};
  EXPECT_EQ(read_with(std::span(kNone, 0), R"({"x":1})"), "unknown field `x`, there are no fields at line 1 column 4");
  EXPECT_EQ(read_with(std::span(kNone, 0), "{}"), "(no error)");
  EXPECT_EQ(read_with(kOne, R"({"x":1})"), "unknown field `x`, expected `a` at line 1 column 4");
  EXPECT_EQ(read_with(kTwo, R"({"x":1})"), "unknown field `x`, expected `a` or `b` at line 1 column 4");
  EXPECT_EQ(read_with(kTwo, R"({"b":1})"), "missing field `a` at line 1 column 7");
}

// A struct that nests itself: the depth limit holds for typed readers too.
struct Chain {
  std::unique_ptr<Chain> next;
};

Result<Chain> read_chain(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {optional_field("next")};
  Chain chain;
  auto done = reader.read_object("struct Chain", kFields, [&](std::size_t) -> Result<void> {
    auto next = read_chain(reader);
    if (!next) return std::unexpected(next.error());
    chain.next = std::make_unique<Chain>(std::move(*next));
    return {};
  });
  if (!done) return std::unexpected(done.error());
  return chain;
}

TEST(JsonReaderStruct, TypedNestingIsLimitedTo128Levels) {
  auto chain_text = [](int depth) {
    std::string text;
    for (int i = 1; i < depth; ++i) text += "{\"next\":";
    text += "{}";
    text += std::string(static_cast<std::size_t>(depth - 1), '}');
    return text;
  };
  EXPECT_TRUE(read_required_document<Chain>(chain_text(128), read_chain));
  auto too_deep = read_required_document<Chain>(chain_text(129), read_chain);
  ASSERT_FALSE(too_deep);
  EXPECT_EQ(too_deep.error().message, "recursion limit exceeded at line 1 column 1025");
}

// --- Sequences, maps, enums ----------------------------------------------------

TEST(JsonReaderContainers, ArraysCountElementsAndMapsHandOutKeys) {
  JsonReader reader(R"({"k1": [1, 2, 3], "k\u0032": []})");
  std::string seen;
  auto done = reader.read_map("a map", [&](std::string_view key) -> Result<void> {
    seen.append(key).append("=");
    auto count = reader.read_array("a sequence", [&](std::size_t) { return reader.skip_value(); });
    if (!count) return std::unexpected(count.error());
    seen.append(std::to_string(*count)).append(";");
    return {};
  });
  ASSERT_TRUE(done) << done.error().message;
  EXPECT_EQ(seen, "k1=3;k2=0;");
  EXPECT_TRUE(reader.finish());

  JsonReader not_array("{\"a\":1}");
  auto count = not_array.read_array("a sequence", [&](std::size_t) { return not_array.skip_value(); });
  ASSERT_FALSE(count);
  EXPECT_EQ(count.error().message, "invalid type: map, expected a sequence at line 1 column 1");
  JsonReader short_array("[1, 2]");
  ASSERT_TRUE(short_array.read_array("a sequence", [&](std::size_t) { return short_array.skip_value(); }));
  EXPECT_EQ(short_array.invalid_length(2, "an array of length 3").message,
            "invalid length 2, expected an array of length 3 at line 1 column 6");
}

TEST(JsonReaderEnums, UnknownVariantListsTheVariants) {
  static constexpr std::string_view kOne[] = {"sha256"};
  static constexpr std::string_view kTwo[] = {"fail", "allow_incomplete"};
  static constexpr std::string_view kThree[] = {"none", "hashes", "full"};
  auto read_with = [](std::span<const std::string_view> variants, std::string_view text) {
    JsonReader reader(text);
    auto index = reader.read_enum("enum E", variants);
    return index ? std::to_string(*index) : index.error().message;
  };
  EXPECT_EQ(read_with(kThree, "\"full\""), "2");
  EXPECT_EQ(read_with(kOne, "\"md5\""), "unknown variant `md5`, expected `sha256` at line 1 column 5");
  EXPECT_EQ(read_with(kTwo, "\"x\""), "unknown variant `x`, expected `fail` or `allow_incomplete` at line 1 column 3");
  EXPECT_EQ(read_with(kThree, " \"x\""),
            "unknown variant `x`, expected one of `none`, `hashes`, `full` at line 1 column 4");
  EXPECT_EQ(read_with(kThree, "3"), "invalid type: integer `3`, expected enum E at line 1 column 1");
}

// SnapshotCapture-like: "none", "final" or {"every_steps": n}.
struct Capture {
  std::size_t variant = 99;
  std::uint64_t every = 0;
};

std::string capture_result(std::string_view text) {
  static constexpr VariantSpec kVariants[] = {{"none"}, {"final"}, {"every_steps", true}};
  JsonReader reader(text);
  Capture capture;
  auto done = reader.read_variant("enum SnapshotCapture", kVariants, [&](std::size_t index) -> Result<void> {
    capture.variant = index;
    if (index == 2) return reader.read_u64_into(capture.every);
    return {};
  });
  if (done) done = reader.finish();
  if (!done) return done.error().message;
  return std::to_string(capture.variant) + ":" + std::to_string(capture.every);
}

TEST(JsonReaderEnums, ExternallyTaggedVariants) {
  const TypedCase cases[] = {
      {"\"final\"", "1:0"},
      {R"({"every_steps": 5})", "2:5"},
      {R"({"none": null})", "0:0"},
      {"\"every_steps\"", "invalid type: unit variant, expected newtype variant at line 1 column 13"},
      {R"({"none": 1})", "invalid type: integer `1`, expected unit at line 1 column 10"},
      {R"({"every": 5})",
       "unknown variant `every`, expected one of `none`, `final`, `every_steps` at line 1 column 8"},
      {"{}", "invalid length 0, expected map with a single key at line 1 column 2"},
      {R"({"every_steps": 5, "final": null, "x": 1})",
       "invalid length 3, expected map with a single key at line 1 column 41"},
      {R"({"every_steps": 5, "final" null})", "expected `:` at line 1 column 28"},
      {R"({"every_steps": 5)", "EOF while parsing an object at line 1 column 17"},
      {R"({"every_steps": "5"})", "invalid type: string \"5\", expected u64 at line 1 column 19"},
      {"[]", "invalid type: sequence, expected enum SnapshotCapture at line 1 column 1"},
      {"{5: 1}", "key must be a string at line 1 column 2"},
  };
  for (const auto& c : cases) EXPECT_EQ(capture_result(c.text), c.message) << c.text;
}

// --- Look-ahead and document errors -------------------------------------------

TEST(JsonReaderMarks, RewindReadsTheSameTextAgain) {
  JsonReader reader(R"({"value": {"frame": 3}, "kind": "frame"})");
  ASSERT_TRUE(reader.begin_object("struct InputCoordinate"));
  JsonReader::Mark start = reader.mark();
  std::string kind;
  for (bool first = true;; first = false) {
    auto key = reader.next_key(first);
    ASSERT_TRUE(key);
    if (!*key) break;
    if (**key == "kind") {
      ASSERT_TRUE(reader.read_string_into(kind));
    } else {
      ASSERT_TRUE(reader.skip_value());
    }
  }
  EXPECT_EQ(kind, "frame");
  reader.rewind(start);
  auto key = reader.next_key(true);
  ASSERT_TRUE(key && *key);
  EXPECT_EQ(**key, "value");
  auto value = reader.read_value();
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, JsonValue(JsonObject{{"frame", JsonValue(3)}}));
}

TEST(JsonReaderErrors, DocumentErrorsCarryThePositionOfTheValueJustRead) {
  JsonReader reader("{\n  \"input_id\": \"Key.1\"\n}");
  ASSERT_TRUE(reader.begin_object("struct X"));
  ASSERT_TRUE(reader.next_key(true));
  ASSERT_TRUE(reader.read_string_view());
  EXPECT_EQ(reader.error("input ID \"Key.1\" is bad").message, "input ID \"Key.1\" is bad at line 2 column 21");
}

}  // namespace
}  // namespace lumivar
