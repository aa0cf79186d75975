#include "chip8_bundle/emulator_session/step_evidence.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "chip8_bundle/emulator_session/session_testing.hpp"
#include "lumivar_core/emission/emission_sink_testing.hpp"
#include "lumivar_core/replay/event_projection.hpp"

namespace chip8::bundle {
namespace {

using lumivar::CausalRelationTag;
using lumivar::EventKindTag;
using lumivar::NormalizedEvent;
using lumivar::testing::RecordingSink;
using testing::make_session;
using testing::RunSpec;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// 0x200 LD V0, 5; 0x202 CALL 0x206; 0x204 EXIT; 0x206 RET.
const std::vector<std::uint8_t> kCallAndReturn = {0x60, 0x05, 0x22, 0x06, 0x00, 0xFD, 0x00, 0xEE};
// 0x200 LD V3, K; then loops at 0x202.
const std::vector<std::uint8_t> kWaitForKey = {0xF3, 0x0A, 0x12, 0x02};

RunSpec fully_traced(std::vector<std::uint8_t> rom) {
  RunSpec run_spec{.rom = std::move(rom), .cycles_per_frame = 8, .frame_limit = 1};
  lumivar::ObservationRequest& o = run_spec.observation;
  o.normalized_events.events = lumivar::EventSelectionLevel::All;
  o.normalized_events.access_detail = lumivar::AccessDetail::BeforeAndAfter;
  o.normalized_events.state_diffs = true;
  return run_spec;
}

std::vector<NormalizedEvent> run_events(const RunSpec& run_spec) {
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  auto summary = session.execute(sink);
  EXPECT_TRUE(summary.has_value()) << (summary ? "" : summary.error().message);
  std::vector<NormalizedEvent> events;
  for (const lumivar::OwnedEmission& emission : sink.emissions) {
    if (emission.kind() == lumivar::EmissionKind::Event) events.push_back(emission.get<NormalizedEvent>());
  }
  return events;
}

std::vector<std::string> kinds(const std::vector<NormalizedEvent>& events) {
  std::vector<std::string> out;
  for (const NormalizedEvent& event : events) out.push_back(lumivar::event_kind_text(event.kind));
  return out;
}

std::string causes_text(const NormalizedEvent& event) {
  std::string out;
  for (const lumivar::Cause& cause : event.causes) {
    out += std::to_string(cause.source_sequence) + "/" + std::string(lumivar::spelling(cause.relation.tag)) + "/" +
           cause.evidence.value_or("") + ";";
  }
  return out;
}

TEST(StepAssembly, EmitsEveryStepInOrderWithCausesToItsAnchor) {
  const std::vector<NormalizedEvent> events = run_events(fully_traced(kCallAndReturn));
  EXPECT_THAT(kinds(events), ElementsAre("run_started",                                              //
                                         "step_started", "instruction_decoded", "register_write",  // LD V0, 5
                                         "step_started", "instruction_decoded", "call", "stack_changed",
                                         "step_started", "instruction_decoded", "return", "stack_changed",
                                         "step_started", "instruction_decoded", "extension:chip8.internal_state_changed",
                                         "run_halted"));
  for (std::size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].sequence, i);

  EXPECT_EQ(causes_text(events[3]), "2/data/state delta from the same CHIP-8 execution step;");
  EXPECT_EQ(causes_text(events[6]), "5/control/same CHIP-8 execution step;");
  EXPECT_EQ(causes_text(events[7]), "5/data/same CHIP-8 execution step;");
  EXPECT_THAT(events[1].causes, IsEmpty());
  EXPECT_THAT(events[2].causes, IsEmpty());

  // The call's own step fields: its cycle, frame, pc and instruction.
  const NormalizedEvent& call = events[6];
  EXPECT_EQ(call.step, 1u);
  EXPECT_EQ(call.cycle_or_tick, 1u);
  EXPECT_EQ(call.frame, 0u);
  EXPECT_EQ(call.pc, (lumivar::SpaceAddress{"program", 0x202}));
  ASSERT_TRUE(call.instruction.has_value());
  EXPECT_EQ(call.instruction->decoded, "CALL 0x206");
  EXPECT_EQ(call.control_flow, (lumivar::ControlFlow{lumivar::ControlFlowKind::Call,
                                                     lumivar::SpaceAddress{"program", 0x202},
                                                     lumivar::SpaceAddress{"program", 0x206}, true}));
  // Without native evidence the native payload is not carried.
  EXPECT_THAT(call.extensions, IsEmpty());
  ASSERT_EQ(events[7].writes.size(), 2u);  // SP, then stack[0]
}

TEST(StepAssembly, KeepsTheNativePayloadOnlyForSelectedNativeKinds) {
  RunSpec run_spec = fully_traced(kCallAndReturn);
  run_spec.observation.native_evidence = {.enabled = true, .all = false, .kinds = {"call"}};
  const std::vector<NormalizedEvent> events = run_events(run_spec);
  ASSERT_EQ(kinds(events).at(6), "call");
  EXPECT_EQ(events[6].extensions.size(), 1u);
  EXPECT_TRUE(events[6].extensions.contains("chip8.native"));
  EXPECT_THAT(events[7].extensions, IsEmpty());  // stack_push was not selected
}

TEST(StepAssembly, AKeyLatchLinksItsWaitStateChangeToTheKeypadSample) {
  RunSpec run_spec = fully_traced(kWaitForKey);
  run_spec.cycles_per_frame = 1;
  run_spec.frame_limit = 2;
  run_spec.schedule = {{.ordinal = 0, .frame = 1, .key = 5, .active = true}};
  const std::vector<NormalizedEvent> events = run_events(run_spec);
  ASSERT_THAT(kinds(events),
              ElementsAre("run_started",                                                                   //
                          "step_started", "instruction_decoded", "extension:chip8.key_wait_entered",      // LD V3, K
                          "frame_completed", "input_applied",                                            //
                          "step_started", "input_sampled", "extension:chip8.internal_state_changed",  // key 5 latched
                          "frame_completed", "run_halted"));
  EXPECT_EQ(causes_text(events[7]), "6/input/opcode-less CHIP-8 key-wait sampling step;");
  EXPECT_EQ(causes_text(events[8]),
            "6/data/state delta from the same CHIP-8 execution step;"
            "7/input/keypad sample caused this wait-state transition;");
  EXPECT_EQ(causes_text(events[3]), "2/data/same CHIP-8 execution step;");
  ASSERT_EQ(events[3].writes.size(), 1u);
  EXPECT_EQ(events[3].writes[0].location.name, "state");
}

TEST(StepAssembly, WithoutAnchorsOnlyTheKeypadCauseRemains) {
  RunSpec run_spec = fully_traced(kWaitForKey);
  run_spec.cycles_per_frame = 1;
  run_spec.frame_limit = 2;
  run_spec.schedule = {{.ordinal = 0, .frame = 1, .key = 5, .active = true}};
  run_spec.observation.normalized_events.events = lumivar::EventSelection::of_kinds(
      {EventKindTag::InputSampled, lumivar::EventKind::extension_kind("chip8.internal_state_changed")});
  const std::vector<NormalizedEvent> events = run_events(run_spec);
  ASSERT_THAT(kinds(events), ElementsAre("input_sampled", "extension:chip8.internal_state_changed"));
  EXPECT_THAT(events[0].causes, IsEmpty());
  EXPECT_EQ(causes_text(events[1]), "0/input/keypad sample caused this wait-state transition;");
}

// The projection a run's emitted events fold into, and the emitted bytes.
struct TracedRun {
  lumivar::EventProjectionFingerprint projection;
  std::vector<std::string> payloads;
};

TracedRun trace_with_run_id(std::string run_id) {
  RunSpec run_spec = fully_traced(kCallAndReturn);
  run_spec.run_id = std::move(run_id);
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  EXPECT_TRUE(session.execute(sink).has_value());
  TracedRun traced;
  lumivar::EventProjection projection;
  for (const lumivar::OwnedEmission& emission : sink.emissions) {
    if (emission.kind() != lumivar::EmissionKind::Event) continue;
    EXPECT_TRUE(projection.absorb(emission.get<NormalizedEvent>(), emission.payload_json(), emission.run_id_member()));
    traced.payloads.emplace_back(emission.payload_json());
  }
  traced.projection = projection.finish();
  return traced;
}

TEST(StepAssembly, TheEventProjectionDoesNotDependOnTheRunId) {
  const TracedRun first = trace_with_run_id("run-1");
  const TracedRun again = trace_with_run_id("run-1");
  const TracedRun other = trace_with_run_id("a-different-run");
  EXPECT_EQ(first.payloads, again.payloads);
  EXPECT_NE(first.payloads, other.payloads);
  EXPECT_EQ(first.projection, other.projection);
  EXPECT_EQ(first.projection.event_count, first.payloads.size());
}

// Random programs exercise every instruction the trace reports, in orders no
// hand-written test covers: every step of them must pass the adapter's strict
// checks, and every cause must point back to an earlier event.
TEST(StepAssembly, RandomProgramsTraceWithoutErrorsUnderEveryPreset) {
  std::mt19937 random(20261211);  // fixed seed: the same programs every run
  for (const std::string_view preset : {"chip8", "vip", "schip", "xochip"}) {
    for (int program = 0; program < 40; ++program) {
      std::vector<std::uint8_t> rom(96);
      for (std::uint8_t& byte : rom) byte = static_cast<std::uint8_t>(random());
      RunSpec run_spec = fully_traced(rom);
      run_spec.quirks = std::string(preset);
      run_spec.cycles_per_frame = 16;
      run_spec.frame_limit = 4;
      run_spec.schedule = {{.ordinal = 0, .frame = 1, .key = 3, .active = true},
                           {.ordinal = 1, .frame = 2, .key = 3, .active = false}};
      run_spec.observation.native_evidence = {.enabled = true, .all = true, .kinds = {}};
      const std::vector<NormalizedEvent> events = run_events(run_spec);
      ASSERT_FALSE(events.empty()) << preset << " program " << program;
      for (const NormalizedEvent& event : events) {
        for (const lumivar::Cause& cause : event.causes) {
          ASSERT_LT(cause.source_sequence, event.sequence) << preset << " program " << program;
        }
      }
    }
  }
}

}  // namespace
}  // namespace chip8::bundle
