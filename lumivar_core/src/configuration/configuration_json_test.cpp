#include "lumivar_core/configuration/configuration_json.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumivar {
namespace {

using SV = StructuredValue;

TEST(ConfigurationJson, ReadsConfigurationInEitherMemberOrder) {
  const std::string text =
      R"({"value": {"Map": {"quirks": {"Text": "vip"}}}, "schema": {"id": "chip8.machine_configuration",)"
      R"( "version": {"major": 2, "minor": 0, "patch": 0}}})";
  auto read = read_machine_configuration_document(text);
  ASSERT_TRUE(read) << read.error().message;
  ASSERT_TRUE(read->has_value());
  StructuredMap expected;
  expected.emplace("quirks", SV::text("vip"));
  EXPECT_EQ(**read, (MachineConfiguration{{"chip8.machine_configuration", {2, 0, 0}}, SV::map(expected)}));
}

TEST(ConfigurationJson, NullConfigurationIsAbsentAndNullControlsAreEmpty) {
  auto configuration = read_machine_configuration_document(" null\n");
  ASSERT_TRUE(configuration);
  EXPECT_FALSE(configuration->has_value());
  auto controls = read_execution_controls_document("null");
  ASSERT_TRUE(controls);
  EXPECT_EQ(*controls, ExecutionControls{});
}

TEST(ConfigurationJson, ControlsMayOmitOrNullTheScalarLimits) {
  auto omitted = read_execution_controls_document(R"({"bundle_limits": []})");
  ASSERT_TRUE(omitted) << omitted.error().message;
  EXPECT_EQ(*omitted, ExecutionControls{});
  auto given = read_execution_controls_document(
      R"({"frame_limit": 60, "step_limit": null, "bundle_limits": [{"limit_id": "x.y",)"
      R"( "value": {"schema": {"id": "s", "version": {"major": 1, "minor": 0, "patch": 0}}, "value": "Null"}}]})");
  ASSERT_TRUE(given) << given.error().message;
  EXPECT_EQ(given->frame_limit, 60u);
  EXPECT_EQ(given->step_limit, std::nullopt);
  ASSERT_EQ(given->bundle_limits.size(), 1u);
  EXPECT_EQ(given->bundle_limits[0],
            (BundleExecutionLimit{"x.y", TypedStructuredValue{{"s", {1, 0, 0}}, SV::null()}}));
}

struct ReadFailure {
  std::string text;
  std::string message;
};

TEST(ConfigurationJson, ControlsShapeErrors) {
  const std::vector<ReadFailure> cases = {
      {R"({"frame_limit": 1})", "missing field `bundle_limits` at line 1 column 18"},
      {R"({"bundle_limits": [], "extra": 1})",
       "unknown field `extra`, expected one of `frame_limit`, `step_limit`, `bundle_limits` at line 1 column 29"},
      {R"({"frame_limit": -1, "bundle_limits": []})", "invalid value: integer `-1`, expected u64 at line 1 column 18"},
      {R"({"bundle_limits": [{"limit_id": "Bad", "value": 1}]})",
       "execution limit ID \"Bad\" contains a character outside lowercase ASCII letters, digits, '_' and '-' "
       "at line 1 column 37"},
      {R"({"bundle_limits": []} x)", "trailing characters at line 1 column 23"},
  };
  for (const ReadFailure& c : cases) {
    auto read = read_execution_controls_document(c.text);
    ASSERT_FALSE(read) << c.text;
    EXPECT_EQ(read.error().message, c.message) << c.text;
  }
}

TEST(ConfigurationJson, ConfigurationShapeErrors) {
  const std::vector<ReadFailure> cases = {
      {R"({"schema": {"id": "a", "version": {"major": 1, "minor": 0, "patch": 0}}})",
       "missing field `value` at line 1 column 72"},
      {R"([])", "invalid type: sequence, expected struct MachineConfiguration at line 1 column 1"},
  };
  for (const ReadFailure& c : cases) {
    auto read = read_machine_configuration_document(c.text);
    ASSERT_FALSE(read) << c.text;
    EXPECT_EQ(read.error().message, c.message) << c.text;
  }
}

}  // namespace
}  // namespace lumivar
