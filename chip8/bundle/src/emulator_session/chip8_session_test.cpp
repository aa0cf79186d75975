#include "chip8_bundle/emulator_session/chip8_session.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip8_bundle/emulator_session/session_testing.hpp"
#include "lumivar_core/emission/emission_sink_testing.hpp"

namespace chip8::bundle {
namespace {

using testing::KeyChange;
using testing::make_session;
using testing::RunSpec;

const std::vector<std::uint8_t> kLoopForever = {0x12, 0x00};                  // JP 0x200
const std::vector<std::uint8_t> kHaltFirst = {0x00, 0xFD};                    // EXIT
const std::vector<std::uint8_t> kHaltSecond = {0x60, 0x01, 0x00, 0xFD};       // LD V0, 1; EXIT
const std::vector<std::uint8_t> kInvalidFirst = {0x51, 0x21};                 // 5XY1 is no instruction
const std::vector<std::uint8_t> kWaitForKey = {0xF0, 0x0A};                   // LD V0, K
const std::vector<std::uint8_t> kReturnFirst = {0x00, 0xEE};                  // RET with an empty stack
const std::vector<std::uint8_t> kCallForever = {0x22, 0x00};                  // CALL 0x200
const std::vector<std::uint8_t> kStorePastMemory = {0xF0, 0x00, 0xFF, 0xFF,   // LD I, 0xFFFF
                                                    0xF1, 0x55};              // LD [I], V1

lumivar::Result<RunSummary> execute_recorded(Chip8Session& session) {
  lumivar::testing::RecordingSink sink("sink");
  return session.execute(sink);
}

struct Outcome {
  const char* name;
  std::vector<std::uint8_t> rom;
  std::uint64_t frame_limit;
  std::optional<std::uint64_t> step_limit;
  std::uint64_t cycles;
  std::uint64_t frames;
  std::string termination;
  bool boot_success;
  std::uint32_t cycles_into_frame = 0;
};

TEST(Chip8SessionExecute, Outcomes) {
  // Four cycles per frame throughout.
  const std::vector<Outcome> cases = {
      {"loop runs out the frame budget", kLoopForever, 3, std::nullopt, 12, 3, "Timeout", true},
      {"no frames at all", kLoopForever, 0, std::nullopt, 0, 0, "Timeout", false},
      {"halt on the first instruction", kHaltFirst, 3, std::nullopt, 1, 0, "Completed", true, 1},
      {"halt inside the first frame", kHaltSecond, 3, std::nullopt, 2, 0, "Completed", true, 2},
      {"invalid first opcode", kInvalidFirst, 3, std::nullopt, 1, 0, "InvalidOpcode", false, 1},
      {"return with an empty stack", kReturnFirst, 3, std::nullopt, 1, 0, "StackUnderflow", true, 1},
      {"seventeenth nested call", kCallForever, 9, std::nullopt, 17, 4, "StackOverflow", true, 1},
      {"store past the end of memory", kStorePastMemory, 3, std::nullopt, 2, 0, "MemoryFault", true, 2},
      {"key wait at the frame budget", kWaitForKey, 3, std::nullopt, 12, 3, "WaitingForInput", true},
      {"key wait at the step limit", kWaitForKey, 3, 6, 6, 1, "step_limit", true, 2},
      {"step limit inside a frame", kLoopForever, 3, 6, 6, 1, "step_limit", true, 2},
      {"step limit at a frame end", kLoopForever, 3, 8, 8, 2, "step_limit", true},
      {"step limit above the run", kLoopForever, 3, 100, 12, 3, "Timeout", true},
      {"halt on the step limit's instruction", kHaltFirst, 3, 1, 1, 0, "step_limit", true, 1},
      {"invalid opcode on the step limit's instruction", kInvalidFirst, 3, 1, 1, 0, "step_limit", false, 1},
      {"halt in per-instruction mode", kHaltSecond, 3, 100, 2, 0, "Completed", true, 2},
  };
  for (const Outcome& c : cases) {
    SCOPED_TRACE(c.name);
    RunSpec run_spec{.rom = c.rom, .cycles_per_frame = 4, .frame_limit = c.frame_limit, .step_limit = c.step_limit};
    Chip8Session session = make_session(run_spec);
    auto summary = execute_recorded(session);
    ASSERT_TRUE(summary) << summary.error().message;
    EXPECT_EQ(summary->common.cycles, c.cycles);
    EXPECT_EQ(summary->common.frames, c.frames);
    EXPECT_EQ(summary->common.termination, c.termination);
    EXPECT_EQ(summary->common.boot_success, c.boot_success);
    EXPECT_TRUE(summary->capabilities.empty());
    EXPECT_EQ(session.cycles_into_frame(), c.cycles_into_frame);
    EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);
  }
}

TEST(Chip8SessionExecute, LongLoopCountsEveryCycle) {
  RunSpec run_spec{.rom = kLoopForever, .cycles_per_frame = 1000, .frame_limit = 600};
  Chip8Session session = make_session(run_spec);
  auto summary = execute_recorded(session);
  ASSERT_TRUE(summary) << summary.error().message;
  EXPECT_EQ(summary->common.cycles, 600'000u);
  EXPECT_EQ(summary->common.frames, 600u);
}

// Frame mode and per-instruction mode (forced by a step limit the run never
// reaches) must run the same machine.
TEST(Chip8SessionExecute, FrameAndInstructionModesAgree) {
  for (const auto& rom : {kLoopForever, kHaltSecond, kInvalidFirst, kCallForever, kWaitForKey, kStorePastMemory}) {
    RunSpec frames{.rom = rom, .cycles_per_frame = 3, .frame_limit = 7};
    RunSpec steps = frames;
    steps.step_limit = 1'000'000;
    Chip8Session by_frame = make_session(frames);
    Chip8Session by_step = make_session(steps);
    auto a = execute_recorded(by_frame);
    auto b = execute_recorded(by_step);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(by_frame.emulator().machine(), by_step.emulator().machine());
    EXPECT_EQ(by_frame.cycles_into_frame(), by_step.cycles_into_frame());
  }
}

TEST(Chip8SessionExecute, LaterScheduleEntryForTheSameKeyAndFrameWins) {
  const std::vector<std::pair<bool, bool>> orders = {{true, false}, {false, true}};
  for (const auto& [first, second] : orders) {
    RunSpec run_spec{.rom = kLoopForever,
                 .frame_limit = 3,
                 .schedule = {{.ordinal = 1, .frame = 1, .key = 5, .active = first},
                              {.ordinal = 2, .frame = 1, .key = 5, .active = second}}};
    Chip8Session executed = make_session(run_spec);
    ASSERT_TRUE(execute_recorded(executed));
    EXPECT_EQ(executed.emulator().machine().key_down(5), second);
    EXPECT_EQ(executed.next_scheduled_input(), 2u);

    Chip8Session stepped = make_session(run_spec);
    ASSERT_TRUE(stepped.step());
    EXPECT_EQ(stepped.emulator().machine().keypad_mask, 0u);  // nothing due at frame 0
    ASSERT_TRUE(stepped.step());
    EXPECT_EQ(stepped.emulator().machine().key_down(5), second);
  }
}

TEST(Chip8SessionExecute, SkippedScheduleEntryFailsTheRun) {
  // Ordinal order puts the frame-0 entry after the frame-2 one, so it is met
  // only once frame 2 starts.
  RunSpec run_spec{.rom = kLoopForever,
               .frame_limit = 3,
               .schedule = {{.ordinal = 1, .frame = 2, .key = 1}, {.ordinal = 2, .frame = 0, .key = 2}}};
  Chip8Session session = make_session(run_spec);
  auto summary = execute_recorded(session);
  ASSERT_FALSE(summary);
  EXPECT_EQ(summary.error().message, "CHIP-8 stimulus 2 at frame 0 was not applied before frame 2");
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);

  Chip8Session stepped = make_session(run_spec);
  ASSERT_TRUE(stepped.step());
  ASSERT_TRUE(stepped.step());
  auto third = stepped.step();
  ASSERT_FALSE(third);
  EXPECT_EQ(third.error().message, "CHIP-8 stimulus 2 at frame 0 was not applied before frame 2");
  EXPECT_EQ(stepped.lifecycle(), SessionLifecycle::Terminal);
}

TEST(Chip8SessionLifecycle, ExecuteRunsOncePerReset) {
  Chip8Session session = make_session({.rom = kLoopForever});
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Fresh);
  auto first = execute_recorded(session);
  ASSERT_TRUE(first);
  auto second = execute_recorded(session);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().message, "CHIP-8 execute() may only be attempted once; reset first");
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);

  ASSERT_TRUE(session.reset());
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Fresh);
  auto again = execute_recorded(session);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *first);
}

TEST(Chip8SessionLifecycle, ExecuteAfterStepFailsAndLeavesTheSessionTerminal) {
  Chip8Session session = make_session({.rom = kLoopForever});
  ASSERT_TRUE(session.step());
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Incremental);
  lumivar::testing::RecordingSink sink("sink");
  auto refused = session.execute(sink);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message,
            "CHIP-8 session cannot execute after stepping, input, or snapshot restore; reset first");
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);
  EXPECT_TRUE(sink.emissions.empty());
  auto stepped = session.step();
  ASSERT_FALSE(stepped);
  EXPECT_EQ(stepped.error().message, "CHIP-8 session is terminal; reset before stepping");

  ASSERT_TRUE(session.reset());
  EXPECT_EQ(session.emulator().cycle_count(), 0u);
  auto summary = execute_recorded(session);
  ASSERT_TRUE(summary) << summary.error().message;
  EXPECT_EQ(summary->common.cycles, 12u);
}

TEST(Chip8SessionLifecycle, StepAdvancesOneFrameAndEndsAtTheFrameBudget) {
  Chip8Session session = make_session({.rom = kLoopForever, .cycles_per_frame = 4, .frame_limit = 2});
  ASSERT_TRUE(session.step());
  EXPECT_EQ(session.emulator().cycle_count(), 4u);
  EXPECT_EQ(session.emulator().frame_count(), 1u);
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Incremental);
  ASSERT_TRUE(session.step());
  EXPECT_EQ(session.emulator().frame_count(), 2u);
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);
  auto refused = session.step();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "CHIP-8 session is terminal; reset before stepping");

  ASSERT_TRUE(session.reset());
  ASSERT_TRUE(session.step());
  EXPECT_EQ(session.emulator().frame_count(), 1u);
}

TEST(Chip8SessionLifecycle, StepWithNoFrameBudgetKeepsTheLifecycle) {
  Chip8Session session = make_session({.rom = kLoopForever, .frame_limit = 0});
  auto refused = session.step();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "CHIP-8 session reached frozen frame budget 0");
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Fresh);
}

TEST(Chip8SessionLifecycle, StepStopsAtTheStepLimitInsideAFrame) {
  Chip8Session session = make_session({.rom = kLoopForever, .cycles_per_frame = 4, .frame_limit = 3, .step_limit = 6});
  ASSERT_TRUE(session.step());
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Incremental);
  ASSERT_TRUE(session.step());
  EXPECT_EQ(session.emulator().cycle_count(), 6u);
  EXPECT_EQ(session.emulator().frame_count(), 1u);
  EXPECT_EQ(session.cycles_into_frame(), 2u);
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);
}

TEST(Chip8SessionLifecycle, StepEndsAtAHaltOrFailsAtAFault) {
  Chip8Session halting = make_session({.rom = kHaltSecond});
  ASSERT_TRUE(halting.step());
  EXPECT_EQ(halting.emulator().cycle_count(), 2u);
  EXPECT_EQ(halting.lifecycle(), SessionLifecycle::Terminal);

  const std::vector<std::pair<std::vector<std::uint8_t>, std::string>> faults = {
      {kInvalidFirst, "step_frame error: InvalidOpcode(20769)"},
      {kReturnFirst, "step_frame error: StackUnderflow"},
      {kStorePastMemory, "step_frame error: MemoryFault(65536)"},
  };
  for (const auto& [rom, message] : faults) {
    Chip8Session session = make_session({.rom = rom});
    auto stepped = session.step();
    ASSERT_FALSE(stepped);
    EXPECT_EQ(stepped.error().message, message);
    EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);
  }
}

TEST(Chip8SessionLifecycle, ResetRestoresTheBootState) {
  RunSpec run_spec{.rom = {0x60, 0x07, 0xF0, 0x15, 0x12, 0x04},  // LD V0, 7; LD DT, V0; loop
               .frame_limit = 5,
               .schedule = {{.ordinal = 0, .frame = 0, .key = 3}}};
  Chip8Session session = make_session(run_spec);
  const Chip8Machine booted = session.emulator().machine();
  ASSERT_TRUE(session.step());
  ASSERT_TRUE(session.step());
  EXPECT_NE(session.emulator().machine(), booted);
  EXPECT_EQ(session.next_scheduled_input(), 1u);
  ASSERT_TRUE(session.reset());
  EXPECT_EQ(session.emulator().machine(), booted);
  EXPECT_EQ(session.emulator().cycle_count(), 0u);
  EXPECT_EQ(session.emulator().frame_count(), 0u);
  EXPECT_EQ(session.next_scheduled_input(), 0u);
  EXPECT_EQ(session.cycles_into_frame(), 0u);
  EXPECT_EQ(session.next_sequence(), 0u);
  EXPECT_TRUE(session.event_projection_accumulator_active());
  EXPECT_EQ(session.active_schedule(), session.frozen_schedule());
}

TEST(Chip8SessionCreate, BuildsTheMachineFromThePreparedRun) {
  RunSpec run_spec{.rom = kLoopForever, .cycles_per_frame = 9, .frame_limit = 4, .step_limit = 30, .quirks = "schip"};
  run_spec.observation.normalized_events.events = lumivar::EventSelectionLevel::Lifecycle;
  Chip8Session session = make_session(run_spec);
  EXPECT_EQ(&session.identity(), &session);
  EXPECT_EQ(session.run_id(), "run-1");
  EXPECT_EQ(session.configuration().preset_name, "schip");
  EXPECT_EQ(session.emulator().machine().quirks, *find_quirk_preset("schip"));
  EXPECT_EQ(session.emulator().cycles_per_frame(), 9u);
  EXPECT_EQ(session.effective_seed(), effective_seed(kLoopForever, 0));
  EXPECT_EQ(session.frame_limit(), 4u);
  EXPECT_EQ(session.step_limit(), 30u);
  EXPECT_EQ(session.artifact_identity().byte_len, 2u);
  EXPECT_EQ(session.boot_state(), encode_state(session.emulator().capture_state()));
  EXPECT_FALSE(session.emulator().observing());  // lifecycle events need no step records
  EXPECT_EQ(session.live_keypad(), nullptr);
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Fresh);
}

TEST(Chip8SessionCreate, CreationChecksComeFirst) {
  PreparedRunRecord record = testing::prepare({.rom = kLoopForever});
  record.request.run_id = "other";
  const Chip8MachineContract contract = build_machine_contract();
  auto session = create_session(record, *contract.live_inputs);
  ASSERT_FALSE(session);
  EXPECT_EQ(session.error().message, "CHIP-8 prepared run ID does not match the execution request");
}

TEST(Chip8SessionLiveKeypad, FrameStartCopiesTheLiveMaskAndReportsTheFrame) {
  const PreparedRunRecord record = testing::prepare({.rom = kLoopForever, .frame_limit = 3});
  const Chip8MachineContract contract = build_machine_contract();
  std::shared_ptr<LiveKeypadState> keypad = contract.live_inputs->register_run("run-1");
  auto session = create_session(record, *contract.live_inputs);
  ASSERT_TRUE(session);
  ASSERT_EQ(session->live_keypad(), keypad);
  ASSERT_TRUE(keypad->with_lock([](LiveKeypad& k) { k.mask = 0x8001; }));
  ASSERT_TRUE(session->step());
  ASSERT_TRUE(session->step());
  EXPECT_EQ(session->emulator().machine().keypad_mask, 0x8001);
  EXPECT_EQ(keypad->read()->frame, 1u);
  ASSERT_TRUE(session->reset());
  EXPECT_EQ(*keypad->read(), LiveKeypad{});
}

}  // namespace
}  // namespace chip8::bundle
