#include "lumivar_core/schedule/input_schedule.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace lumivar {
namespace {

using SV = StructuredValue;

const SchemaRef kKeySchema{"test.key", {1, 0, 0}};
const SchemaRef kApplicationSchema{"test.key.application", {1, 0, 0}};

InputDeclaration declaration(std::string id, CoordinateBoundary boundary, DeliveryModes modes) {
  return InputDeclaration{std::move(id),      kKeySchema, {required_policy_schema(boundary), boundary},
                          kApplicationSchema, std::nullopt, modes};
}

InputCatalog test_catalog() {
  return InputCatalog{input_catalog_schema(),
                      {
                          declaration("key.a", CoordinateBoundary::FrameStart, {.scheduled = true, .live = true}),
                          declaration("live.only", CoordinateBoundary::FrameStart, {.scheduled = false, .live = true}),
                          declaration("step.input", CoordinateBoundary::Step, {.scheduled = true, .live = false}),
                      }};
}

ScheduledInput entry(std::uint64_t ordinal, std::string input_id = "key.a",
                     InputCoordinate coordinate = InputCoordinate::frame(0),
                     TypedInputPayload payload = {kKeySchema, SV::boolean(true)}) {
  return ScheduledInput{ordinal, std::move(coordinate), std::move(input_id), std::move(payload)};
}

InputSchedule schedule_of(std::vector<ScheduledInput> entries) {
  return InputSchedule{input_schedule_schema(), std::move(entries)};
}

std::vector<std::uint64_t> ordinals(const std::vector<ScheduledInput>& entries) {
  std::vector<std::uint64_t> out;
  for (const ScheduledInput& e : entries) out.push_back(e.ordinal);
  return out;
}

TEST(InputSchedule, ResolutionSortsByOrdinal) {
  auto resolved = resolve_input_schedule(schedule_of({entry(5), entry(2), entry(9)}), test_catalog());
  ASSERT_TRUE(resolved) << resolved.error().message;
  EXPECT_EQ(ordinals(resolved->entries), (std::vector<std::uint64_t>{2, 5, 9}));
  EXPECT_EQ(resolved->schema, input_schedule_schema());
  EXPECT_TRUE(check_resolved_input_schedule(*resolved));
}

TEST(InputSchedule, EmptyScheduleResolvesToEmpty) {
  auto resolved = resolve_input_schedule(empty_input_schedule(), test_catalog());
  ASSERT_TRUE(resolved);
  EXPECT_TRUE(resolved->entries.empty());
  EXPECT_EQ(resolved->schema, input_schedule_schema());
}

struct ScheduleFailure {
  const char* name;
  InputSchedule schedule;
  std::string message;
};

TEST(InputSchedule, ResolutionFailuresInCheckOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<ScheduleFailure> cases = {
      {"schedule schema", InputSchedule{{"lumivar.input_schedule", {1, 1, 0}}, {}},
       "unsupported input schedule schema lumivar.input_schedule 1.1.0; expected lumivar.input_schedule 1.0.0"},
      {"repeated ordinal", schedule_of({entry(5), entry(2), entry(5)}), "input schedule repeats ordinal 5"},
      {"repeat found before a later bad payload",
       schedule_of({entry(1), entry(1, "key.a", InputCoordinate::frame(0), {{"", {1, 0, 0}}, SV::null()})}),
       "input schedule repeats ordinal 1"},
      {"blank payload schema", schedule_of({entry(1, "key.a", InputCoordinate::frame(0), {{" ", {1, 0, 0}}, SV::null()})}),
       "input payload has an empty schema ID"},
      {"non-finite payload", schedule_of({entry(1, "key.a", InputCoordinate::frame(0), {kKeySchema, SV::floating(nan)})}),
       "canonical structured values reject non-finite floats"},
      {"blank bundle coordinate schema",
       schedule_of({entry(1, "key.a", InputCoordinate::bundle_defined({"", {1, 0, 0}}, SV::null()))}),
       "bundle-defined input coordinate has an empty schema ID"},
      {"undeclared input", schedule_of({entry(1, "key.b")}), "input schedule references undeclared input key.b"},
      {"live-only input", schedule_of({entry(1, "live.only")}), "input live.only does not advertise scheduled delivery"},
      {"coordinate kind", schedule_of({entry(1, "key.a", InputCoordinate::step(4))}),
       "input coordinate does not match FrameStart policy lumivar.coordinate.frame"},
      {"payload schema", schedule_of({entry(1, "key.a", InputCoordinate::frame(0), {{"test.key", {2, 0, 0}}, SV::null()})}),
       "input key.a payload schema test.key 2.0.0 does not match declared schema test.key 1.0.0"},
  };
  for (const ScheduleFailure& c : cases) {
    auto resolved = resolve_input_schedule(c.schedule, test_catalog());
    ASSERT_FALSE(resolved) << c.name;
    EXPECT_EQ(resolved.error().message, c.message) << c.name;
  }
}

TEST(InputSchedule, CatalogIsCheckedAfterTheSchedule) {
  InputCatalog broken = test_catalog();
  broken.schema.id = "";
  EXPECT_EQ(resolve_input_schedule(schedule_of({entry(1), entry(1)}), broken).error().message,
            "input schedule repeats ordinal 1");
  EXPECT_EQ(resolve_input_schedule(schedule_of({entry(1)}), broken).error().message,
            "input catalog has an empty schema ID");
}

TEST(ResolvedInputSchedule, CheckFailures) {
  ResolvedInputSchedule repeated{input_schedule_schema(), {entry(2), entry(2)}};
  EXPECT_EQ(check_resolved_input_schedule(repeated).error().message,
            "resolved input schedule must be sorted by unique ordinal");
  ResolvedInputSchedule descending{input_schedule_schema(), {entry(3), entry(2)}};
  EXPECT_EQ(check_resolved_input_schedule(descending).error().message,
            "resolved input schedule must be sorted by unique ordinal");
  ResolvedInputSchedule wrong_schema{{"lumivar.input_schedule", {0, 9, 0}}, {}};
  EXPECT_EQ(check_resolved_input_schedule(wrong_schema).error().message,
            "unsupported resolved input schedule schema lumivar.input_schedule 0.9.0; expected "
            "lumivar.input_schedule 1.0.0");
  ResolvedInputSchedule blank_payload{input_schedule_schema(),
                                      {entry(1, "key.a", InputCoordinate::frame(0), {{"", {1, 0, 0}}, SV::null()})}};
  EXPECT_EQ(check_resolved_input_schedule(blank_payload).error().message, "input payload has an empty schema ID");
}

struct CatalogFailure {
  const char* name;
  InputCatalog catalog;
  std::string message;
};

TEST(InputCatalog, CheckFailuresInCheckOrder) {
  auto with = [](auto change) {
    InputCatalog catalog = test_catalog();
    change(catalog);
    return catalog;
  };
  const std::vector<CatalogFailure> cases = {
      {"catalog schema", with([](InputCatalog& c) { c.schema.id = " "; }), "input catalog has an empty schema ID"},
      {"payload schema", with([](InputCatalog& c) { c.inputs[1].payload_schema.id = ""; }),
       "input payload has an empty schema ID"},
      {"policy", with([](InputCatalog& c) { c.inputs[0].coordinate_policy.schema.version = {2, 0, 0}; }),
       "coordinate policy schema SchemaRef { id: \"lumivar.coordinate.frame\", version: SchemaVersion { major: 2, "
       "minor: 0, patch: 0 } } does not match FrameStart boundary; expected SchemaRef { id: "
       "\"lumivar.coordinate.frame\", version: SchemaVersion { major: 1, minor: 0, patch: 0 } }"},
      {"application schema", with([](InputCatalog& c) { c.inputs[0].application_schema.id = ""; }),
       "input application has an empty schema ID"},
      {"no delivery mode", with([](InputCatalog& c) { c.inputs[2].delivery_modes = {}; }),
       "input step.input declares no delivery mode"},
      {"repeated id", with([](InputCatalog& c) { c.inputs.push_back(c.inputs[0]); }),
       "input catalog declares key.a more than once"},
  };
  for (const CatalogFailure& c : cases) {
    auto checked = check_input_catalog(c.catalog);
    ASSERT_FALSE(checked) << c.name;
    EXPECT_EQ(checked.error().message, c.message) << c.name;
  }
  EXPECT_TRUE(check_input_catalog(test_catalog()));
}

}  // namespace
}  // namespace lumivar
