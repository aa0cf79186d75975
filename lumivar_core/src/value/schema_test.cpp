#include "lumivar_core/value/schema.hpp"

#include <gtest/gtest.h>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/value/typed_structured_value.hpp"

namespace lumivar {
namespace {

TEST(SchemaRef, JsonFormAndVersionText) {
  SchemaRef schema{"lumivar.snapshot", SchemaVersion{1, 0, 65535}};
  EXPECT_EQ(canonical_json_bytes(to_json(schema)).value(),
            R"({"id":"lumivar.snapshot","version":{"major":1,"minor":0,"patch":65535}})");
  EXPECT_EQ(to_string(schema.version), "1.0.65535");
  EXPECT_LT((SchemaVersion{1, 0, 1}), (SchemaVersion{1, 1, 0}));
}

TEST(SchemaRef, EmptyMeansOnlyUnicodeWhiteSpace) {
  struct Case {
    const char* id;
    const char* trimmed;
  };
  const Case cases[] = {
      {"", ""},
      {"   ", ""},
      {"\t\n\v\f\r ", ""},
      {"\xC2\x85\xC2\xA0", ""},                  // NEL, no-break space
      {"\xE3\x80\x80 x \xE2\x80\xA8", "x"},      // ideographic space, line separator
      {"\xE2\x80\x8A a b\xE2\x81\x9F", "a b"},   // hair space, medium mathematical space
      {"\xE2\x80\x8B", "\xE2\x80\x8B"},          // zero width space is not white space
      {"\xC0\xA0", "\xC0\xA0"},                  // overlong space is malformed, kept
      {" \xFF ", "\xFF"},                        // trimming stops at malformed bytes
      {"x", "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trim_unicode_white_space(c.id), c.trimmed) << c.id;
    EXPECT_EQ(schema_id_is_empty(c.id), std::string_view(c.trimmed).empty()) << c.id;
  }
}

TEST(TypedStructuredValue, Validation) {
  using SV = StructuredValue;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    TypedStructuredValue typed;
    const char* error;  // nullptr: accepted
  };
  const Case cases[] = {
      {{{"s", {1, 0, 0}}, SV::floating(1.5)}, nullptr},
      {{{"   ", {1, 0, 0}}, SV::null()}, "typed structured value has an empty schema ID"},
      // The schema ID is checked before the value.
      {{{"", {1, 0, 0}}, SV::floating(nan)}, "typed structured value has an empty schema ID"},
      {{{"s", {1, 0, 0}}, SV::array({SV::floating(nan)})}, "canonical structured values reject non-finite floats"},
  };
  for (const Case& c : cases) {
    Result<void> result = validate_typed_structured_value(c.typed);
    if (c.error == nullptr) {
      EXPECT_TRUE(result.has_value()) << result.error().message;
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().message, c.error);
    }
  }
  TypedStructuredValue typed{{"a.b", {2, 1, 0}}, SV::text("x")};
  EXPECT_EQ(canonical_json_bytes(to_json(typed)).value(),
            R"({"schema":{"id":"a.b","version":{"major":2,"minor":1,"patch":0}},"value":{"Text":"x"}})");
}

}  // namespace
}  // namespace lumivar
