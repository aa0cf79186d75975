#include "lumivar_core/observation/observation_request.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

std::string canonical(const JsonValue& value) {
  auto text = canonical_json_bytes(value);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

constexpr std::string_view kDefaultRequestJson =
    R"({"budgets":{"max_capability_bytes":null,"max_frame_bytes":null,"max_input_value_bytes":null,)"
    R"("max_input_value_events":null,"max_native_bytes":null,"max_native_events":null,)"
    R"("max_normalized_bytes":null,"max_normalized_events":null,"max_snapshot_bytes":null,)"
    R"("max_total_logical_bytes":null},"capabilities":[],"frames":{"capture":"none"},"guarantee":"summary",)"
    R"("input_value_evidence":{"enabled":false},"native_evidence":{"all":false,"enabled":false,"kinds":[]},)"
    R"("normalized_events":{"access_detail":"none","events":"none","state_diffs":false},"overflow":"fail",)"
    R"("schema_version":{"major":2,"minor":1,"patch":0},"snapshots":{"capture":"none"}})";

TEST(ObservationRequest, DefaultRequestAsksForNothingAndPasses) {
  const ObservationRequest request = default_observation_request();
  EXPECT_EQ(canonical(to_json(request)), kDefaultRequestJson);
  EXPECT_TRUE(check_observation_request(request).has_value());
}

TEST(ObservationRequest, EveryMemberReachesTheJsonForm) {
  ObservationRequest request;
  request.guarantee = ObservationGuarantee::OracleReady;
  request.normalized_events = {EventSelection::of_kinds({EventKindTag::Trap, EventKindTag::Call}),
                               AccessDetail::BeforeAndAfter, true};
  request.capabilities = {{"chip8.framebuffer", true, JsonObject{{"scale", 2}}}};
  request.native_evidence = {true, false, {"chip8.framebuffer"}};
  request.frames.capture = FrameCapture::Hashes;
  request.snapshots.capture = {SnapshotCaptureKind::EverySteps, 100};
  request.input_value_evidence.enabled = true;
  request.budgets.max_normalized_events = 5;
  request.budgets.max_total_logical_bytes = 18446744073709551615u;
  request.overflow = OverflowPolicy::AllowIncomplete;
  EXPECT_EQ(
      canonical(to_json(request)),
      R"({"budgets":{"max_capability_bytes":null,"max_frame_bytes":null,"max_input_value_bytes":null,)"
      R"("max_input_value_events":null,"max_native_bytes":null,"max_native_events":null,)"
      R"("max_normalized_bytes":null,"max_normalized_events":5,"max_snapshot_bytes":null,)"
      R"("max_total_logical_bytes":18446744073709551615},)"
      R"("capabilities":[{"id":"chip8.framebuffer","parameters":{"scale":2},"required":true}],)"
      R"("frames":{"capture":"hashes"},"guarantee":"oracle_ready","input_value_evidence":{"enabled":true},)"
      R"("native_evidence":{"all":false,"enabled":true,"kinds":["chip8.framebuffer"]},)"
      R"("normalized_events":{"access_detail":"before_and_after","events":{"kinds":["call","trap"]},)"
      R"("state_diffs":true},"overflow":"allow_incomplete","schema_version":{"major":2,"minor":1,"patch":0},)"
      R"("snapshots":{"capture":{"every_steps":100}}})");
  EXPECT_TRUE(check_observation_request(request).has_value());
}

TEST(ObservationRequest, WriteJsonKeepsDocumentMemberOrder) {
  ObservationRequest request;
  request.snapshots.capture = {SnapshotCaptureKind::Final, 0};
  request.budgets.max_frame_bytes = 7;
  JsonWriter writer(JsonStyle::compact);
  ASSERT_TRUE(write_json(writer, request));
  EXPECT_EQ(writer.view(),
            R"({"schema_version":{"major":2,"minor":1,"patch":0},"guarantee":"summary",)"
            R"("normalized_events":{"events":"none","access_detail":"none","state_diffs":false},)"
            R"("capabilities":[],"native_evidence":{"enabled":false,"all":false,"kinds":[]},)"
            R"("frames":{"capture":"none"},"snapshots":{"capture":"final"},"input_value_evidence":{"enabled":false},)"
            R"("budgets":{"max_normalized_events":null,"max_normalized_bytes":null,"max_capability_bytes":null,)"
            R"("max_native_events":null,"max_native_bytes":null,"max_frame_bytes":7,"max_snapshot_bytes":null,)"
            R"("max_input_value_events":null,"max_input_value_bytes":null,"max_total_logical_bytes":null},)"
            R"("overflow":"fail"})");
}

TEST(ObservationRequest, NativeKindSelection) {
  EXPECT_FALSE(selects_native_kind({false, true, {}}, "chip8.coverage"));
  EXPECT_TRUE(selects_native_kind({true, true, {}}, "chip8.coverage"));
  EXPECT_TRUE(selects_native_kind({true, false, {"chip8.framebuffer", "chip8.coverage"}}, "chip8.coverage"));
  EXPECT_FALSE(selects_native_kind({true, false, {"chip8.framebuffer"}}, "chip8.coverage"));
  EXPECT_FALSE(selects_native_kind({true, false, {}}, "chip8.coverage"));
}

struct CheckCase {
  const char* name;
  std::function<void(ObservationRequest&)> change;
  const char* message;
};

TEST(ObservationRequest, CheckRefusesInconsistentRequests) {
  const CheckCase cases[] = {
      {"schema", [](ObservationRequest& r) { r.schema_version = {2, 0, 9}; },
       "unsupported emission request schema 2.0.9; expected 2.1.0"},
      {"schema first", [](ObservationRequest& r) { r.schema_version = {3, 0, 0}; r.normalized_events.state_diffs = true; },
       "unsupported emission request schema 3.0.0; expected 2.1.0"},
      {"diffs without detail", [](ObservationRequest& r) { r.normalized_events.state_diffs = true; },
       "state diffs require normalized access detail"},
      {"all without channel", [](ObservationRequest& r) { r.native_evidence.all = true; },
       "native evidence selection requires the native channel"},
      {"kinds without channel", [](ObservationRequest& r) { r.native_evidence.kinds = {"chip8.coverage"}; },
       "native evidence selection requires the native channel"},
      {"channel rule before all-and-kinds",
       [](ObservationRequest& r) { r.native_evidence.all = true; r.native_evidence.kinds = {"a"}; },
       "native evidence selection requires the native channel"},
      {"all and kinds",
       [](ObservationRequest& r) { r.native_evidence = {true, true, {"a"}}; },
       "native evidence cannot select all kinds and named kinds"},
      {"complete needs all kinds",
       [](ObservationRequest& r) {
         r.guarantee = ObservationGuarantee::CompleteNormalized;
         r.normalized_events = {EventSelectionLevel::Instructions, AccessDetail::AfterOnly, true};
       },
       "complete_normalized requires all normalized event kinds"},
      {"complete needs the level, not an exhaustive kind set",
       [](ObservationRequest& r) {
         r.guarantee = ObservationGuarantee::CompleteNormalized;
         EventKindSet kinds;
         for (std::size_t i = 0; i + 1 < kEventKindTagCount; ++i) kinds.insert(static_cast<EventKindTag>(i));
         r.normalized_events = {EventSelection::of_kinds(kinds), AccessDetail::AfterOnly, true};
       },
       "complete_normalized requires all normalized event kinds"},
      {"complete needs detail",
       [](ObservationRequest& r) {
         r.guarantee = ObservationGuarantee::CompleteNormalized;
         r.normalized_events = {EventSelectionLevel::All, AccessDetail::None, false};
       },
       "complete_normalized requires access detail and state diffs"},
      {"complete needs diffs",
       [](ObservationRequest& r) {
         r.guarantee = ObservationGuarantee::CompleteNormalized;
         r.normalized_events = {EventSelectionLevel::All, AccessDetail::BeforeAndAfter, false};
       },
       "complete_normalized requires access detail and state diffs"},
      {"oracle needs native",
       [](ObservationRequest& r) {
         r.guarantee = ObservationGuarantee::OracleReady;
         r.snapshots.capture = {SnapshotCaptureKind::Final, 0};
       },
       "oracle_ready requires native evidence selection"},
      {"oracle needs snapshots",
       [](ObservationRequest& r) {
         r.guarantee = ObservationGuarantee::OracleReady;
         r.native_evidence.enabled = true;
       },
       "oracle_ready requires snapshot capture"},
  };
  for (const CheckCase& c : cases) {
    ObservationRequest request;
    c.change(request);
    auto checked = check_observation_request(request);
    ASSERT_FALSE(checked.has_value()) << c.name;
    EXPECT_EQ(checked.error().message, c.message) << c.name;
  }
}

TEST(ObservationRequest, GuaranteesPassWhenTheirEvidenceIsSelected) {
  ObservationRequest complete;
  complete.guarantee = ObservationGuarantee::CompleteNormalized;
  complete.normalized_events = {EventSelectionLevel::All, AccessDetail::AfterOnly, true};
  EXPECT_TRUE(check_observation_request(complete).has_value());

  ObservationRequest oracle;
  oracle.guarantee = ObservationGuarantee::OracleReady;
  oracle.native_evidence.enabled = true;
  oracle.snapshots.capture = {SnapshotCaptureKind::EverySteps, 0};
  EXPECT_TRUE(check_observation_request(oracle).has_value());

  // Summary adds no rule of its own.
  ObservationRequest summary;
  summary.normalized_events = {EventSelectionLevel::All, AccessDetail::None, false};
  EXPECT_TRUE(check_observation_request(summary).has_value());
}

}  // namespace
}  // namespace lumivar
