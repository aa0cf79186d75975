#include "lumivar_core/run_identity/prepared_run_identity_writer.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/run_identity/prepared_run.hpp"
#include "lumivar_core/run_identity/run_contract_testing.hpp"

namespace lumivar {
namespace {

TEST(PreparedRunIdentityWriter, MemberOrderFormCarriesTheSameContent) {
  auto run = prepare_run("run", testing::test_run_contract(), ByteString{0x12, 0x00}, testing::test_configuration({}),
                         InputSchedule{input_schedule_schema(), {testing::test_key_entry(3, 1, true)}},
                         ExecutionControls{9, std::nullopt, {testing::test_limit("test.limit.b", 1)}});
  ASSERT_TRUE(run) << run.error().message;
  JsonWriter writer(JsonStyle::compact);
  ASSERT_TRUE(write_json(writer, run->identity));
  const std::string text(writer.view());
  auto tree = parse_json(text);
  ASSERT_TRUE(tree) << tree.error().message;
  EXPECT_EQ(*tree, to_json(run->identity));
  // Members in document order, not key order.
  EXPECT_TRUE(text.starts_with(R"({"artifact_identity":{"schema":{"id":"test.rom","version":{"major":1,"minor":0,)"
                               R"("patch":0}},"encoding":"raw_bytes","canonical_value":[18,0]},"machine_identity":)"
                               R"({"machine_id":"testmachine","bundle_version":"1.0.0",)"))
      << text;
  EXPECT_NE(text.find(R"("resolved_input_schedule":{"schema":)"), std::string::npos);
  EXPECT_NE(text.find(R"({"ordinal":3,"coordinate":{"kind":"frame","value":{"frame":1}},"input_id":"test.key.a",)"),
            std::string::npos);
  EXPECT_NE(text.find(R"("test.key.b":{"input_id":"test.key.b","payload_schema":)"), std::string::npos);
  EXPECT_NE(text.find(R"("execution_controls":{"frame_limit":9,"step_limit":null,"bundle_limits":[)"), std::string::npos);
}

}  // namespace
}  // namespace lumivar
