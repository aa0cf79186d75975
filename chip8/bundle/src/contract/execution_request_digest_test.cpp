#include "chip8_bundle/contract/execution_request_digest.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lumivar_core/digest/fingerprint.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"

namespace chip8::bundle {
namespace {

lumivar::ExecutionRequest small_request() {
  lumivar::ExecutionRequest request;
  request.run_id = "r";
  request.machine_id = "chip8";
  request.artifact = {0, 255};
  request.configuration = {{"chip8.machine_configuration", {2, 0, 0}}, lumivar::StructuredValue::map({})};
  request.input_schedule = lumivar::empty_input_schedule();
  return request;
}

TEST(ExecutionRequestDigest, FingerprintsTheCanonicalJsonUnderTheRequestDomain) {
  const lumivar::ExecutionRequest request = small_request();
  const std::string observation = *lumivar::canonical_json_bytes(lumivar::to_json(request.observation));
  const std::string expected_json =
      R"({"artifact":[0,255],"configuration":{"schema":{"id":"chip8.machine_configuration","version":{"major":2,)"
      R"("minor":0,"patch":0}},"value":{"Map":{}}},"execution_controls":{"bundle_limits":[],"frame_limit":null,)"
      R"("step_limit":null},"input_schedule":{"entries":[],"schema":{"id":"lumivar.input_schedule","version":)"
      R"({"major":1,"minor":0,"patch":0}}},"machine_id":"chip8","observation":)" +
      observation +
      R"(,"prepared_observation_id":null,"prepared_run_identity":null,"run_id":"r","schema_version":{"major":1,)"
      R"("minor":0,"patch":0}})";
  EXPECT_EQ(*lumivar::canonical_json_bytes(lumivar::to_json(request)), expected_json);
  auto digest = execution_request_digest(request);
  ASSERT_TRUE(digest);
  EXPECT_EQ(digest->value, *lumivar::fingerprint_canonical_json("lumivar.chip8.execution-request", expected_json));

  lumivar::ExecutionRequest other = request;
  other.run_id = "s";
  EXPECT_NE(execution_request_digest(other)->value, digest->value);
}

}  // namespace
}  // namespace chip8::bundle
