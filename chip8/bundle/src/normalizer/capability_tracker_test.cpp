#include "chip8_bundle/normalizer/capability_tracker.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "chip8_bundle/emulator_session/session_testing.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/emission/emission_sink_testing.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/event/normalized_event_testing.hpp"

namespace chip8::bundle {
namespace {

using lumivar::CapabilityReceipt;
using lumivar::CapabilityRequest;
using lumivar::CapabilityStatus;
using lumivar::EventKindTag;
using lumivar::JsonObject;
using lumivar::JsonValue;
using lumivar::OwnedEmission;

OwnedEmission event(lumivar::EventKind kind, std::vector<lumivar::StateSpace> write_spaces = {}) {
  lumivar::NormalizedEvent e = lumivar::testing::minimal_event("run-1");
  e.kind = std::move(kind);
  for (lumivar::StateSpace& space : write_spaces) {
    e.writes.push_back(lumivar::StateWrite{lumivar::StateLocation{std::move(space), "x", std::nullopt, 1},
                                           std::nullopt, std::nullopt});
  }
  return OwnedEmission::event(std::move(e)).value();
}

OwnedEmission frame(lumivar::FrameEvidenceKind kind, lumivar::ByteString bytes) {
  const lumivar::SchemaRef schema{"chip8.frame_fingerprint", {1, 0, 0}};
  lumivar::FrameArtifact artifact =
      kind == lumivar::FrameEvidenceKind::Full
          ? lumivar::frame_artifact_full(schema, "run-1", "chip8", "mv", 0, 0, 0, std::move(bytes))
          : lumivar::frame_artifact_fingerprint(schema, "run-1", "chip8", "mv", 0, 0, 0, std::move(bytes));
  return OwnedEmission::frame(std::move(artifact)).value();
}

OwnedEmission native(std::string kind, JsonValue payload) {
  return OwnedEmission::native_evidence(
             lumivar::native_evidence_record("run-1", "chip8", "mv",
                                             lumivar::NativeEvent{{kind, {1, 0, 0}}, kind, std::move(payload)}, 0, 0))
      .value();
}

OwnedEmission input(std::string id) {
  lumivar::InputApplication application;
  application.input_id = std::move(id);
  return OwnedEmission::input_value_evidence(std::move(application)).value();
}

CapabilityTracker started(std::vector<CapabilityRequest> requests) {
  CapabilityTracker tracker;
  tracker.start(requests);
  return tracker;
}

const CapabilityRequest kControlFlow{"lumivar.control_flow.motifs", false, nullptr};
const CapabilityRequest kVisual{"chip8.visual_trajectory_motifs", false, nullptr};
const CapabilityRequest kInputs{"chip8.input_summary", false, nullptr};

TEST(CapabilityTracker, CallDepthNeverGoesBelowZero) {
  CapabilityTracker tracker = started({kControlFlow});
  for (auto kind : {EventKindTag::Return, EventKindTag::Call, EventKindTag::Call, EventKindTag::Call,
                    EventKindTag::Return, EventKindTag::InstructionDecoded, EventKindTag::BranchTaken,
                    EventKindTag::Trap, EventKindTag::Interrupt, EventKindTag::DisplayWrite}) {
    tracker.observe(event(kind));
  }
  auto results = tracker.finish();
  ASSERT_TRUE(results);
  ASSERT_EQ(results->outputs.size(), 1u);
  EXPECT_EQ(results->outputs[0].schema, (lumivar::CapabilitySchema{"lumivar.control_flow.motifs", {1, 0, 0}}));
  EXPECT_EQ(results->outputs[0].value, JsonValue(JsonObject{{"schema", JsonValue("bounded_control_flow_motifs")},
                                                            {"instructions", JsonValue(1)},
                                                            {"branches", JsonValue(1)},
                                                            {"calls", JsonValue(3)},
                                                            {"returns", JsonValue(2)},
                                                            {"interrupts", JsonValue(1)},
                                                            {"traps", JsonValue(1)},
                                                            {"max_call_depth", JsonValue(3)},
                                                            {"open_call_depth", JsonValue(2)}}));
  ASSERT_EQ(results->receipts.size(), 1u);
  const CapabilityReceipt& receipt = results->receipts[0];
  EXPECT_EQ(receipt.status, CapabilityStatus::Fulfilled);
  EXPECT_EQ(receipt.output_schema, results->outputs[0].schema);
  EXPECT_EQ(receipt.logical_bytes, lumivar::canonical_json_bytes(results->outputs[0].value)->size());
  EXPECT_FALSE(receipt.message);
}

TEST(CapabilityTracker, VisualMotifsCountFramesAndDisplayWrites) {
  CapabilityTracker tracker = started({kVisual});
  const lumivar::ByteString digest(32, 7);
  for (int i = 0; i < 3; ++i) tracker.observe(frame(lumivar::FrameEvidenceKind::Fingerprint, digest));
  tracker.observe(frame(lumivar::FrameEvidenceKind::Fingerprint, lumivar::ByteString(32, 8)));
  // A full artifact is compared through its SHA-256.
  const lumivar::ByteString pixels(16, 1);
  const lumivar::Sha256Digest pixels_digest = lumivar::sha256(pixels);
  tracker.observe(frame(lumivar::FrameEvidenceKind::Full, pixels));
  tracker.observe(frame(lumivar::FrameEvidenceKind::Fingerprint,
                        lumivar::ByteString(pixels_digest.begin(), pixels_digest.end())));
  tracker.observe(event(EventKindTag::FrameCompleted));
  tracker.observe(event(EventKindTag::InputSampled));
  tracker.observe(event(EventKindTag::DisplayWrite));  // no state writes at all
  tracker.observe(event(EventKindTag::DisplayWrite,
                        {lumivar::StateSpaceTag::Display, lumivar::StateSpaceTag::Register,
                         lumivar::StateSpaceTag::Display}));
  auto results = tracker.finish();
  ASSERT_TRUE(results);
  EXPECT_EQ(results->outputs.at(0).value,
            JsonValue(JsonObject{{"schema", JsonValue("chip8_visual_trajectory_motifs")},
                                 {"frame_events", JsonValue(1)},
                                 {"frame_artifacts", JsonValue(6)},
                                 {"frame_hash_changes", JsonValue(2)},
                                 {"repeated_frame_hashes", JsonValue(3)},
                                 {"full_artifact_count", JsonValue(1)},
                                 {"display_write_events", JsonValue(2)},
                                 {"display_state_writes", JsonValue(2)},
                                 {"max_display_writes_per_event", JsonValue(2)},
                                 {"input_events", JsonValue(1)}}));
}

TEST(CapabilityTracker, InputSummaryCountsValuesAndDistinctInputs) {
  CapabilityTracker tracker = started({kInputs});
  tracker.observe(input("chip8.key.1"));
  tracker.observe(input("chip8.key.1"));
  tracker.observe(input("chip8.key.f"));
  auto results = tracker.finish();
  ASSERT_TRUE(results);
  EXPECT_EQ(results->outputs.at(0).value,
            JsonValue(JsonObject{{"values", JsonValue(3)}, {"distinct_inputs", JsonValue(2)}}));
}

TEST(CapabilityTracker, UnrequestedCapabilitiesCountNothing) {
  CapabilityTracker tracker = started({});
  tracker.observe(event(EventKindTag::Call));
  tracker.observe(frame(lumivar::FrameEvidenceKind::Fingerprint, lumivar::ByteString(32, 1)));
  tracker.observe(input("chip8.key.1"));
  EXPECT_EQ(tracker.control_flow(), ControlFlowCounters{});
  EXPECT_EQ(tracker.visual(), VisualCounters{});
  EXPECT_EQ(tracker.inputs(), InputCounters{});
  EXPECT_EQ(tracker.finish()->receipts.size(), 0u);
}

TEST(CapabilityTracker, NativeOutputsAndMissingNativeEvidence) {
  const JsonValue payload(JsonObject{{"unique_pcs", JsonValue(4)}});
  CapabilityTracker tracker = started({{"chip8.coverage", true, nullptr},
                                       {"chip8.framebuffer", true, nullptr},
                                       {"chip8.execution_summary", false, nullptr}});
  tracker.observe(native("chip8.coverage", payload));
  tracker.observe(native("chip8.unrequested", JsonValue(1)));
  auto results = tracker.finish();
  ASSERT_TRUE(results);
  ASSERT_EQ(results->outputs.size(), 1u);
  EXPECT_EQ(results->outputs[0], (lumivar::CapabilityOutput{{"chip8.coverage", {1, 0, 0}}, payload}));
  const std::vector<CapabilityReceipt> expected = {
      {"chip8.coverage", CapabilityStatus::Fulfilled, lumivar::CapabilitySchema{"chip8.coverage", {1, 0, 0}},
       lumivar::canonical_json_bytes(payload)->size(), std::nullopt},
      {"chip8.framebuffer", CapabilityStatus::Failed, std::nullopt, 0,
       "requested native evidence produced no capability output"},
      {"chip8.execution_summary", CapabilityStatus::Unavailable, std::nullopt, 0,
       "requested native evidence produced no capability output"},
  };
  EXPECT_EQ(results->receipts, expected);
  EXPECT_EQ(tracker.deliver(), *results);
}

TEST(CapabilityTracker, NonCanonicalNativeKindFailsEveryRequest) {
  CapabilityTracker tracker = started({kInputs, {"chip8.coverage", false, nullptr}});
  tracker.observe(native("Chip8.Coverage", JsonValue(1)));
  EXPECT_TRUE(tracker.failed());
  const std::string message = "CHIP-8 native evidence kind is not a canonical capability ID: Chip8.Coverage";
  EXPECT_EQ(tracker.failure(), message);
  tracker.observe(input("chip8.key.1"));  // ignored from now on
  EXPECT_EQ(tracker.inputs().values, 0u);
  const CapabilityResults delivered = tracker.deliver();
  EXPECT_TRUE(delivered.outputs.empty());
  const std::vector<CapabilityReceipt> expected = {
      {"chip8.input_summary", CapabilityStatus::Failed, std::nullopt, 0, message},
      {"chip8.coverage", CapabilityStatus::Failed, std::nullopt, 0, message},
  };
  EXPECT_EQ(delivered.receipts, expected);
}

// Whole runs: outputs and receipts as the stream receives them.
TEST(CapabilityDelivery, SessionDeliversOutputsAfterUnavailableReceipts) {
  testing::RunSpec run_spec{.rom = {0x22, 0x04, 0x12, 0x02, 0x00, 0xEE},  // CALL 0x204; loop; RET
                        .cycles_per_frame = 4,
                        .frame_limit = 2,
                        .schedule = {{.ordinal = 0, .frame = 0, .key = 1}, {.ordinal = 1, .frame = 1, .key = 1}}};
  lumivar::ObservationRequest& o = run_spec.observation;
  o.normalized_events.events = lumivar::EventSelectionLevel::Lifecycle;
  o.native_evidence.enabled = true;
  o.native_evidence.kinds = {"chip8.execution_summary", "chip8.coverage"};
  o.input_value_evidence.enabled = true;
  o.capabilities = {{"chip8.coverage", true, nullptr},
                    {"chip8.visual_trajectory_motifs", false, nullptr},  // needs frames: unavailable
                    {"chip8.input_summary", false, nullptr},
                    {"chip8.execution_summary", false, nullptr}};
  Chip8Session session = testing::make_session(run_spec);
  lumivar::testing::RecordingSink sink("sink");
  auto summary = session.execute(sink);
  ASSERT_TRUE(summary) << summary.error().message;
  ASSERT_EQ(sink.outputs.size(), 1u);
  ASSERT_EQ(sink.receipts.size(), 1u);
  const std::vector<lumivar::CapabilityOutput>& outputs = sink.outputs[0];
  ASSERT_EQ(outputs.size(), 3u);
  EXPECT_EQ(outputs[0].schema.id, "chip8.coverage");
  EXPECT_EQ(outputs[0].value.as<JsonObject>().at("max_stack_depth"), JsonValue(1));
  EXPECT_EQ(outputs[1].schema.id, "chip8.input_summary");
  EXPECT_EQ(outputs[1].value, JsonValue(JsonObject{{"values", JsonValue(2)}, {"distinct_inputs", JsonValue(1)}}));
  EXPECT_EQ(outputs[2].schema.id, "chip8.execution_summary");
  EXPECT_EQ(outputs[2].value.as<JsonObject>().at("rom_hash"), JsonValue(session.emulator().rom_hash()));

  const std::vector<CapabilityReceipt>& receipts = sink.receipts[0];
  ASSERT_EQ(receipts.size(), 4u);
  EXPECT_EQ(receipts[0].id, "chip8.visual_trajectory_motifs");
  EXPECT_EQ(receipts[0].status, CapabilityStatus::Unavailable);
  EXPECT_FALSE(receipts[0].output_schema);
  EXPECT_EQ(receipts[0].logical_bytes, 0u);
  const lumivar::PreparedCapability* prepared = nullptr;
  for (const auto& capability : session.observation().capabilities) {
    if (capability.id == "chip8.visual_trajectory_motifs") prepared = &capability;
  }
  ASSERT_NE(prepared, nullptr);
  EXPECT_EQ(receipts[0].message, prepared->message);
  EXPECT_TRUE(receipts[0].message.has_value());
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(receipts[i].status, CapabilityStatus::Fulfilled);
    EXPECT_EQ(receipts[i].id, outputs[i - 1].schema.id);
  }
}

TEST(CapabilityDelivery, NoRequestsStillHandsEmptyLists) {
  testing::RunSpec run_spec{.rom = {0x12, 0x00}};
  Chip8Session session = testing::make_session(run_spec);
  lumivar::testing::RecordingSink sink("sink");
  ASSERT_TRUE(session.execute(sink));
  ASSERT_EQ(sink.outputs.size(), 1u);
  EXPECT_TRUE(sink.outputs[0].empty());
  ASSERT_EQ(sink.receipts.size(), 1u);
  EXPECT_TRUE(sink.receipts[0].empty());
}

TEST(UnavailableCapabilityReceipts, OnlyDirectRequestsThatResolvedUnavailable) {
  lumivar::PreparedObservation observation;
  observation.capabilities = {
      {.id = "a.one", .requested = true, .required = false, .status = lumivar::PreparedCapabilityStatus::Unavailable,
       .dependencies = {}, .message = "why"},
      {.id = "a.two", .requested = false, .required = false,
       .status = lumivar::PreparedCapabilityStatus::Unavailable, .dependencies = {}, .message = "dependency"},
      {.id = "a.three", .requested = true, .required = true, .status = lumivar::PreparedCapabilityStatus::Available,
       .dependencies = {}, .message = std::nullopt},
      {.id = "a.four", .requested = true, .required = false,
       .status = lumivar::PreparedCapabilityStatus::Unavailable, .dependencies = {}, .message = std::nullopt},
  };
  const std::vector<CapabilityReceipt> expected = {
      {"a.one", CapabilityStatus::Unavailable, std::nullopt, 0, "why"},
      {"a.four", CapabilityStatus::Unavailable, std::nullopt, 0, std::nullopt},
  };
  EXPECT_EQ(unavailable_capability_receipts(observation), expected);
}

}  // namespace
}  // namespace chip8::bundle
