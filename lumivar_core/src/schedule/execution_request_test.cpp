#include "lumivar_core/schedule/execution_request.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/run_identity/run_contract_testing.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;

ExecutionRequest valid_request() {
  ExecutionRequest request;
  request.run_id = "run-1";
  request.machine_id = "testmachine";
  request.artifact = {0x00, 0xE0};
  request.configuration = testing::test_configuration({});
  request.input_schedule = empty_input_schedule();
  return request;
}

PreparedRunIdentity test_identity() {
  auto run = prepare_run("run-1", testing::test_run_contract(), ByteString{0x00, 0xE0}, testing::test_configuration({}),
                         empty_input_schedule(), {});
  if (!run) ADD_FAILURE() << run.error().message;
  return run->identity;
}

TEST(ExecutionRequest, ValidRequestPasses) {
  EXPECT_TRUE(check_execution_request(valid_request()));
  ExecutionRequest with_identity = valid_request();
  with_identity.prepared_run_identity = test_identity();
  EXPECT_TRUE(check_execution_request(with_identity));
}

struct RequestFailure {
  const char* name;
  void (*change)(ExecutionRequest&);
  std::string message;
};

TEST(ExecutionRequest, CheckFailuresInOrder) {
  const std::vector<RequestFailure> cases = {
      {"schema version before run ID",
       [](ExecutionRequest& r) {
         r.schema_version = {1, 0, 1};
         r.run_id = "";
       },
       "unsupported execution-request schema 1.0.1; expected 1.0.0"},
      {"run ID", [](ExecutionRequest& r) { r.run_id = "  "; r.machine_id = ""; }, "execution request has an empty run ID"},
      {"machine ID", [](ExecutionRequest& r) { r.machine_id = "\t"; }, "execution request has an empty machine ID"},
      {"configuration shape", [](ExecutionRequest& r) { r.configuration.value = SV::array({}); },
       "machine configuration value must be a string-keyed map"},
      {"schedule", [](ExecutionRequest& r) { r.input_schedule.schema.version = {2, 0, 0}; },
       "unsupported input schedule schema lumivar.input_schedule 2.0.0; expected lumivar.input_schedule 1.0.0"},
      {"observation", [](ExecutionRequest& r) { r.observation.schema_version = {2, 0, 0}; },
       "unsupported emission request schema 2.0.0; expected 2.1.0"},
      {"repeated bundle limit",
       [](ExecutionRequest& r) {
         r.execution_controls.bundle_limits = {testing::test_limit("a.b", 1), testing::test_limit("a.b", 2)};
       },
       "execution request repeats bundle limit a.b"},
      {"bundle limit value",
       [](ExecutionRequest& r) {
         r.execution_controls.bundle_limits = {testing::test_limit("a.b", 1)};
         r.execution_controls.bundle_limits[0].value.schema.id = "";
       },
       "typed structured value has an empty schema ID"},
      {"identity bytes",
       [](ExecutionRequest& r) {
         r.prepared_run_identity = test_identity();
         r.prepared_run_identity->canonical_bytes.pop_back();
       },
       "prepared-run identity canonical bytes do not match envelope"},
      {"identity machine",
       [](ExecutionRequest& r) {
         r.prepared_run_identity = test_identity();
         r.machine_id = "chip8";
       },
       "prepared run identity machine ID does not match the execution request"},
  };
  for (const RequestFailure& c : cases) {
    ExecutionRequest request = valid_request();
    c.change(request);
    auto checked = check_execution_request(request);
    ASSERT_FALSE(checked) << c.name;
    EXPECT_EQ(checked.error().message, c.message) << c.name;
  }
}

TEST(ExecutionRequest, JsonFormHasEveryMemberAndNullsForAbsentIdentities) {
  const JsonValue json = to_json(valid_request());
  const auto& object = json.as<JsonObject>();
  EXPECT_EQ(object.size(), 10u);
  EXPECT_TRUE(object.at("prepared_observation_id").is_null());
  EXPECT_TRUE(object.at("prepared_run_identity").is_null());
  EXPECT_EQ(object.at("artifact"), JsonValue(JsonArray{0, 224}));
  EXPECT_EQ(*canonical_json_bytes(object.at("schema_version")), R"({"major":1,"minor":0,"patch":0})");
  ExecutionRequest with_identity = valid_request();
  with_identity.prepared_run_identity = test_identity();
  with_identity.prepared_observation_id = ContentDigest{};
  const JsonValue full = to_json(with_identity);
  EXPECT_TRUE(full.as<JsonObject>().at("prepared_run_identity").is<JsonObject>());
  EXPECT_TRUE(full.as<JsonObject>().at("prepared_observation_id").is<JsonObject>());
  EXPECT_TRUE(canonical_json_bytes(full));
}

}  // namespace
}  // namespace lumivar
