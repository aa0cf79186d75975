#include "lumivar_core/value/structured_value.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;

std::string canonical(const JsonValue& json) { return canonical_json_bytes(json).value(); }

TEST(StructuredValue, VariantOrderAndNames) {
  const std::pair<StructuredValue, const char*> cases[] = {
      {SV::null(), "Null"},         {SV::boolean(true), "Bool"},  {SV::unsigned_integer(1), "Unsigned"},
      {SV::signed_integer(1), "Signed"}, {SV::floating(1), "Float"}, {SV::text("t"), "Text"},
      {SV::bytes({1}), "Bytes"},    {SV::array({}), "Array"},     {SV::map({}), "Map"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(cases[i].first.kind()), i);
    EXPECT_EQ(structured_kind_name(cases[i].first.kind()), cases[i].second);
  }
  // Signed 5 and Unsigned 5 are different values.
  EXPECT_NE(SV::signed_integer(5), SV::unsigned_integer(5));
}

TEST(StructuredValue, ExternallyTaggedJsonForm) {
  StructuredMap map;
  map.emplace("z", SV::null());
  map.emplace("a", SV::signed_integer(-3));
  const std::pair<StructuredValue, const char*> cases[] = {
      {SV::null(), R"("Null")"},
      {SV::boolean(true), R"({"Bool":true})"},
      {SV::unsigned_integer(7), R"({"Unsigned":7})"},
      {SV::signed_integer(-3), R"({"Signed":-3})"},
      {SV::signed_integer(4), R"({"Signed":4})"},
      {SV::floating(0.5), R"({"Float":0.5})"},
      {SV::floating(-0.0), R"({"Float":-0.0})"},
      {SV::text("abc"), R"({"Text":"abc"})"},
      {SV::bytes({1, 2, 255}), R"({"Bytes":[1,2,255]})"},
      {SV::array({SV::null(), SV::boolean(false)}), R"({"Array":["Null",{"Bool":false}]})"},
      {SV::map(map), R"({"Map":{"a":{"Signed":-3},"z":"Null"}})"},
  };
  for (const auto& [value, json] : cases) EXPECT_EQ(canonical(to_json(value)), json);
}

TEST(StructuredValueFromJson, ConvertsEveryJsonKind) {
  JsonObject object;
  object.emplace("n", nullptr);
  object.emplace("list", JsonArray{true, std::numeric_limits<std::uint64_t>::max(), -3, 0.5, "s"});
  Result<StructuredValue> value = structured_value_from_json(JsonValue(std::move(object)));
  ASSERT_TRUE(value.has_value());

  StructuredMap expected;
  expected.emplace("n", SV::null());
  expected.emplace("list", SV::array({SV::boolean(true), SV::unsigned_integer(std::numeric_limits<std::uint64_t>::max()),
                                      SV::signed_integer(-3), SV::floating(0.5), SV::text("s")}));
  EXPECT_EQ(*value, SV::map(expected));
  // A non-negative integer is always Unsigned, even when it came in signed.
  EXPECT_EQ(structured_value_from_json(JsonValue(std::int64_t{5})).value(), SV::unsigned_integer(5));
}

TEST(StructuredValueFromJson, RejectsNonFiniteFloatsAtAnyDepth) {
  const double inf = std::numeric_limits<double>::infinity();
  JsonObject object;
  object.emplace("deep", JsonArray{1, JsonArray{-inf}});
  for (const JsonValue& json : {JsonValue(std::numeric_limits<double>::quiet_NaN()), JsonValue(object)}) {
    Result<StructuredValue> value = structured_value_from_json(json);
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error().message, "configuration defaults reject non-finite floats");
  }
}

}  // namespace
}  // namespace lumivar
