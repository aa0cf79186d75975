#include "lumivar_core/schedule/input_coordinate.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;

CoordinatePolicy fixed_policy(CoordinateBoundary boundary) { return {required_policy_schema(boundary), boundary}; }

TEST(CoordinatePolicy, FixedBoundariesRequireTheirSchema) {
  for (auto boundary : {CoordinateBoundary::FrameStart, CoordinateBoundary::Step, CoordinateBoundary::Cycle,
                        CoordinateBoundary::Tick}) {
    EXPECT_TRUE(check_coordinate_policy(fixed_policy(boundary))) << boundary_json_text(boundary);
  }
  auto checked = check_coordinate_policy({{"lumivar.coordinate.frame", {1, 1, 0}}, CoordinateBoundary::FrameStart});
  ASSERT_FALSE(checked);
  EXPECT_EQ(checked.error().message,
            "coordinate policy schema SchemaRef { id: \"lumivar.coordinate.frame\", version: SchemaVersion { major: "
            "1, minor: 1, patch: 0 } } does not match FrameStart boundary; expected SchemaRef { id: "
            "\"lumivar.coordinate.frame\", version: SchemaVersion { major: 1, minor: 0, patch: 0 } }");
  auto swapped = check_coordinate_policy({{"lumivar.coordinate.frame", {1, 0, 0}}, CoordinateBoundary::Tick});
  ASSERT_FALSE(swapped);
  EXPECT_EQ(swapped.error().message,
            "coordinate policy schema SchemaRef { id: \"lumivar.coordinate.frame\", version: SchemaVersion { major: "
            "1, minor: 0, patch: 0 } } does not match Tick boundary; expected SchemaRef { id: "
            "\"lumivar.coordinate.tick\", version: SchemaVersion { major: 1, minor: 0, patch: 0 } }");
}

TEST(CoordinatePolicy, BundleDefinedNeedsOnlyANonEmptySchemaId) {
  EXPECT_TRUE(check_coordinate_policy({{"bundle.beat", {3, 2, 1}}, CoordinateBoundary::BundleDefined}));
  auto checked = check_coordinate_policy({{" ", {1, 0, 0}}, CoordinateBoundary::BundleDefined});
  ASSERT_FALSE(checked);
  EXPECT_EQ(checked.error().message, "coordinate policy has an empty schema ID");
}

struct MatchCase {
  const char* name;
  InputCoordinate coordinate;
  CoordinatePolicy policy;
  std::string message;  // empty: matches
};

TEST(CoordinateMatch, CoordinateKindsAgainstPolicies) {
  const CoordinatePolicy beat{{"bundle.beat", {1, 0, 0}}, CoordinateBoundary::BundleDefined};
  const std::vector<MatchCase> cases = {
      {"frame at frame start", InputCoordinate::frame(3), fixed_policy(CoordinateBoundary::FrameStart), ""},
      {"step at step", InputCoordinate::step(3), fixed_policy(CoordinateBoundary::Step), ""},
      {"cycle at cycle", InputCoordinate::cycle(3), fixed_policy(CoordinateBoundary::Cycle), ""},
      {"tick at tick", InputCoordinate::tick(3), fixed_policy(CoordinateBoundary::Tick), ""},
      {"frame at step", InputCoordinate::frame(3), fixed_policy(CoordinateBoundary::Step),
       "input coordinate does not match Step policy lumivar.coordinate.step"},
      {"step at frame start", InputCoordinate::step(0), fixed_policy(CoordinateBoundary::FrameStart),
       "input coordinate does not match FrameStart policy lumivar.coordinate.frame"},
      {"same bundle schema", InputCoordinate::bundle_defined({"bundle.beat", {1, 0, 0}}, SV::null()), beat, ""},
      {"other bundle version", InputCoordinate::bundle_defined({"bundle.beat", {1, 0, 1}}, SV::null()), beat,
       "input coordinate does not match BundleDefined policy bundle.beat"},
      {"other bundle id", InputCoordinate::bundle_defined({"bundle.bar", {1, 0, 0}}, SV::null()), beat,
       "input coordinate does not match BundleDefined policy bundle.beat"},
      {"frame at bundle defined", InputCoordinate::frame(0), beat,
       "input coordinate does not match BundleDefined policy bundle.beat"},
      {"policy checked first", InputCoordinate::frame(0),
       CoordinatePolicy{{"", {1, 0, 0}}, CoordinateBoundary::FrameStart}, "coordinate policy has an empty schema ID"},
  };
  for (const MatchCase& c : cases) {
    auto matched = match_coordinate(c.coordinate, c.policy);
    if (c.message.empty()) {
      EXPECT_TRUE(matched) << c.name << ": " << matched.error().message;
    } else {
      ASSERT_FALSE(matched) << c.name;
      EXPECT_EQ(matched.error().message, c.message) << c.name;
    }
  }
}

TEST(InputCoordinate, JsonAndCanonicalValueForms) {
  EXPECT_EQ(*canonical_json_bytes(to_json(InputCoordinate::frame(12))), R"({"kind":"frame","value":{"frame":12}})");
  EXPECT_EQ(*canonical_json_bytes(to_json(InputCoordinate::tick(1))), R"({"kind":"tick","value":{"tick":1}})");
  const InputCoordinate beat = InputCoordinate::bundle_defined({"b.c", {1, 0, 0}}, SV::boolean(true));
  EXPECT_EQ(*canonical_json_bytes(to_json(beat)),
            R"({"kind":"bundle_defined","value":{"schema":{"id":"b.c","version":{"major":1,"minor":0,"patch":0}},)"
            R"("value":{"Bool":true}}})");
  // In canonical values the counter is the value itself, and a bundle-defined
  // coordinate puts schema and value side by side.
  StructuredMap frame;
  frame.emplace("kind", SV::text("frame"));
  frame.emplace("value", SV::unsigned_integer(12));
  EXPECT_EQ(coordinate_structured_value(InputCoordinate::frame(12)), SV::map(frame));
  const auto& bundle_map = coordinate_structured_value(beat).as<StructuredMap>();
  EXPECT_EQ(bundle_map.at("kind"), SV::text("bundle_defined"));
  EXPECT_TRUE(bundle_map.at("schema").is<StructuredMap>());
  EXPECT_EQ(bundle_map.at("value"), SV::boolean(true));
}

TEST(InputCoordinate, BundleDefinedCoordinateCheck) {
  EXPECT_TRUE(check_input_coordinate(InputCoordinate::step(1)));
  auto blank = check_input_coordinate(InputCoordinate::bundle_defined({"\t", {1, 0, 0}}, SV::null()));
  ASSERT_FALSE(blank);
  EXPECT_EQ(blank.error().message, "bundle-defined input coordinate has an empty schema ID");
  auto non_finite = check_input_coordinate(
      InputCoordinate::bundle_defined({"b.c", {1, 0, 0}}, SV::floating(std::numeric_limits<double>::quiet_NaN())));
  ASSERT_FALSE(non_finite);
  EXPECT_EQ(non_finite.error().message, "canonical structured values reject non-finite floats");
}

}  // namespace
}  // namespace lumivar
