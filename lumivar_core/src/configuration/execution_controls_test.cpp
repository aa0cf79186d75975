#include "lumivar_core/configuration/execution_controls.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace lumivar {
namespace {

using SV = StructuredValue;

const SchemaRef kLimitSchema{"test.limit.u64", {1, 0, 0}};

ExecutionLimitCatalog catalog_with(std::vector<std::string> ids) {
  ExecutionLimitCatalog catalog{execution_limit_catalog_schema(), {}};
  for (std::string& id : ids) catalog.limits.push_back({std::move(id), kLimitSchema, "A test limit."});
  return catalog;
}

BundleExecutionLimit limit(std::string id, SchemaRef schema = kLimitSchema, SV value = SV::unsigned_integer(1)) {
  return BundleExecutionLimit{std::move(id), TypedStructuredValue{std::move(schema), std::move(value)}};
}

TEST(ExecutionControls, PreparedLimitsAreSortedAndScalarLimitsKept) {
  ExecutionControls controls{5, std::nullopt, {limit("b.x"), limit("a.b.c"), limit("a.b")}};
  auto prepared = prepare_execution_controls(controls, catalog_with({"a.b", "a.b.c", "b.x"}));
  ASSERT_TRUE(prepared) << prepared.error().message;
  EXPECT_EQ(prepared->frame_limit, 5u);
  EXPECT_EQ(prepared->step_limit, std::nullopt);
  ASSERT_EQ(prepared->bundle_limits.size(), 3u);
  EXPECT_EQ(prepared->bundle_limits[0].limit_id, "a.b");
  EXPECT_EQ(prepared->bundle_limits[1].limit_id, "a.b.c");
  EXPECT_EQ(prepared->bundle_limits[2].limit_id, "b.x");
  EXPECT_TRUE(check_prepared_execution_controls(*prepared));
}

TEST(ExecutionControls, EmptyCatalogAcceptsNoBundleLimits) {
  const ExecutionLimitCatalog empty = catalog_with({});
  EXPECT_TRUE(prepare_execution_controls(ExecutionControls{}, empty));
  auto refused = prepare_execution_controls(ExecutionControls{1, 2, {limit("any.limit"), limit("any.limit")}}, empty);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "execution controls reference unsupported limit any.limit");
}

struct ControlsFailure {
  const char* name;
  ExecutionControls controls;
  ExecutionLimitCatalog catalog;
  std::string message;
};

TEST(ExecutionControls, PrepareFailuresInCheckOrder) {
  ExecutionLimitCatalog wrong_schema = catalog_with({"a.b"});
  wrong_schema.schema.version = {1, 1, 0};
  ExecutionLimitCatalog blank_value_schema = catalog_with({"a.b"});
  blank_value_schema.limits[0].value_schema.id = " ";
  ExecutionLimitCatalog blank_description = catalog_with({"a.b"});
  blank_description.limits[0].description = "\n";
  const double inf = std::numeric_limits<double>::infinity();

  const std::vector<ControlsFailure> cases = {
      {"catalog schema", ExecutionControls{}, wrong_schema,
       "unsupported execution-limit catalog schema lumivar.execution_limit_catalog 1.1.0; expected "
       "lumivar.execution_limit_catalog 1.0.0"},
      {"blank value schema", ExecutionControls{}, blank_value_schema, "execution-limit value has an empty schema ID"},
      {"blank description", ExecutionControls{}, blank_description, "execution limit a.b has an empty description"},
      {"repeated declaration", ExecutionControls{}, catalog_with({"a.b", "a.b"}),
       "execution-limit catalog declares a.b more than once"},
      {"repeated limit", ExecutionControls{{}, {}, {limit("a.b"), limit("a.b")}}, catalog_with({"a.b"}),
       "execution controls repeat bundle limit a.b"},
      {"undeclared limit", ExecutionControls{{}, {}, {limit("a.c")}}, catalog_with({"a.b"}),
       "execution controls reference unsupported limit a.c"},
      {"wrong value schema", ExecutionControls{{}, {}, {limit("a.b", {"test.limit.u64", {2, 0, 0}})}},
       catalog_with({"a.b"}),
       "execution limit a.b uses schema test.limit.u64 2.0.0; expected test.limit.u64 1.0.0"},
      {"non-finite value", ExecutionControls{{}, {}, {limit("a.b", kLimitSchema, SV::floating(inf))}},
       catalog_with({"a.b"}), "canonical structured values reject non-finite floats"},
  };
  for (const ControlsFailure& c : cases) {
    auto prepared = prepare_execution_controls(c.controls, c.catalog);
    ASSERT_FALSE(prepared) << c.name;
    EXPECT_EQ(prepared.error().message, c.message) << c.name;
  }
}

TEST(PreparedExecutionControls, LimitIdsMustBeStrictlyAscending) {
  const PreparedExecutionControls ordered{{}, {}, {limit("a.b"), limit("a.b.c")}};
  EXPECT_TRUE(check_prepared_execution_controls(ordered));
  for (const auto& ids : std::vector<std::vector<std::string>>{{"a.b.c", "a.b"}, {"a.b", "a.b"}}) {
    PreparedExecutionControls controls;
    for (const std::string& id : ids) controls.bundle_limits.push_back(limit(id));
    auto checked = check_prepared_execution_controls(controls);
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().message, "prepared bundle limits must be sorted and unique");
  }
}

TEST(ExecutionControls, JsonFormWritesAbsentLimitsAsNull) {
  const JsonValue json = to_json(ExecutionControls{7, std::nullopt, {limit("a.b")}});
  const auto& object = json.as<JsonObject>();
  EXPECT_EQ(object.at("frame_limit"), JsonValue(7));
  EXPECT_TRUE(object.at("step_limit").is_null());
  EXPECT_EQ(object.at("bundle_limits").as<JsonArray>().at(0).as<JsonObject>().at("limit_id"), JsonValue("a.b"));
}

}  // namespace
}  // namespace lumivar
