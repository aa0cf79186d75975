#include "chip8_core/emulator/emulator.hpp"

#include <gtest/gtest.h>

#include "chip8_core/testing/rom.hpp"

namespace chip8 {
namespace {

using testing::rom;

Chip8Emulator make(std::initializer_list<std::uint16_t> program, std::string_view preset = "chip8",
                   std::uint64_t seed = 1) {
  auto emulator = Chip8Emulator::create(rom(program), *find_quirk_preset(preset), seed);
  EXPECT_TRUE(emulator.has_value());
  return std::move(*emulator);
}

TEST(Emulator, CreateReportsBootErrorsAndStartsClean) {
  const auto empty = Chip8Emulator::create({}, QuirkFlags{}, 1);
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error().message, "ROM is empty");

  const auto program = rom({0x1200});
  const auto e = Chip8Emulator::create(program, QuirkFlags{}, 0);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->rom_hash(), fnv1a_64(program));
  EXPECT_EQ(e->effective_seed(), 0u);  // kept as given, though the generator starts at 1
  EXPECT_EQ(e->machine().rng_state, 1u);
  EXPECT_EQ(e->cycles_per_frame(), 12u);
  EXPECT_EQ(e->cycle_count(), 0u);
  EXPECT_EQ(e->frame_count(), 0u);
  EXPECT_FALSE(e->observing());
  EXPECT_EQ(e->unique_pcs(), 0u);
}

TEST(Emulator, CyclesPerFrameZeroMeansOne) {
  Chip8Emulator e = make({0x7001, 0x1200});
  e.set_cycles_per_frame(0);
  EXPECT_EQ(e.cycles_per_frame(), 1u);
  for (int f = 0; f < 3; ++f) {
    const FrameOutcome outcome = e.run_frame();
    EXPECT_EQ(outcome.code(), 7);
    EXPECT_EQ(outcome.cycles_run, 1u);
  }
  EXPECT_EQ(e.cycle_count(), 3u);
  EXPECT_EQ(e.frame_count(), 3u);
}

TEST(Emulator, KeyWaitPollsForTheRestOfTheFrameAndTimersStillTick) {
  Chip8Emulator e = make({0x6105, 0xF115, 0xF00A});
  const FrameOutcome first = e.run_frame();
  EXPECT_EQ(first.code(), 7);
  EXPECT_EQ(first.status, StepStatus::waiting_for_key());
  EXPECT_EQ(e.machine().delay, 4);
  EXPECT_EQ(e.cycle_count(), 12u);
  EXPECT_EQ(e.frame_count(), 1u);
  e.run_frame();
  EXPECT_EQ(e.machine().delay, 3);
  // Polls are steps at the same PC: one self edge, one more executed address.
  EXPECT_EQ(e.unique_pcs(), 4u);
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x206, 0x206));
  EXPECT_EQ(e.input_opcode_count(), 1u);
  e.set_keypad_mask(1u << 7);
  e.run_frame();
  e.set_keypad_mask(0);
  e.run_frame();
  EXPECT_EQ(e.machine().V[0], 7);
  EXPECT_EQ(e.input_opcode_count(), 2u);
}

TEST(Emulator, TimerTicksAreRecordedOnlyWhileObservingAndATimerRuns) {
  Chip8Emulator e = make({0x6001, 0xF015, 0x1204});
  e.set_cycles_per_frame(2);
  e.set_observing(true);
  e.run_frame();  // delay set to 1 in this frame, ticks to 0
  e.run_frame();  // both timers 0: no record
  const auto ticks = e.take_timer_ticks();
  ASSERT_EQ(ticks.size(), 1u);
  EXPECT_EQ(ticks[0], (TimerTick{.cycle = 2, .frame = 0, .delay_before = 1, .sound_before = 0, .delay_after = 0, .sound_after = 0}));
  EXPECT_TRUE(e.take_timer_ticks().empty());
  EXPECT_EQ(e.machine().delay, 0);

  Chip8Emulator quiet = make({0x6001, 0xF018, 0x1204});
  quiet.set_cycles_per_frame(2);
  quiet.run_frame();
  EXPECT_EQ(quiet.machine().sound, 0);
  EXPECT_TRUE(quiet.take_timer_ticks().empty());
}

TEST(Emulator, SetObservingDiscardsPendingTicks) {
  Chip8Emulator e = make({0x6005, 0xF015, 0x1204});
  e.set_observing(true);
  e.run_frame();
  e.set_observing(true);
  EXPECT_TRUE(e.take_timer_ticks().empty());
}

TEST(Emulator, HaltInTheFifthCycleStopsTheFrameWithoutATick) {
  Chip8Emulator e = make({0x6005, 0xF015, 0x7101, 0x7101, 0x00FD, 0x7101});
  const FrameOutcome outcome = e.run_frame();
  EXPECT_EQ(outcome.code(), 8);
  EXPECT_EQ(outcome.status, StepStatus::halted());
  EXPECT_EQ(outcome.cycles_run, 5u);
  EXPECT_EQ(e.cycle_count(), 5u);
  EXPECT_EQ(e.frame_count(), 0u);
  EXPECT_EQ(e.machine().delay, 5);
  // Every later frame stops at its first cycle, which still counts.
  const FrameOutcome again = e.run_frame();
  EXPECT_EQ(again.code(), 8);
  EXPECT_EQ(again.cycles_run, 1u);
  EXPECT_EQ(e.cycle_count(), 6u);
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x208, 0x20A));
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x20A, 0x20A));
}

TEST(Emulator, FaultsStopTheFrameWithTheirStatus) {
  struct Case {
    std::initializer_list<std::uint16_t> program;
    std::uint8_t code;
    StepStatus status;
  };
  const Case cases[] = {
      {{0x7001, 0x5121}, 3, StepStatus::invalid_opcode(0x5121)},
      {{0x2200}, 4, StepStatus::stack_overflow()},
      {{0x00EE}, 5, StepStatus::stack_underflow()},
      {{0xF000, 0xFFFF, 0xF155}, 6, StepStatus::memory_fault()},
  };
  for (const Case& c : cases) {
    Chip8Emulator e = make(c.program);
    e.set_cycles_per_frame(100);
    const FrameOutcome outcome = e.run_frame();
    EXPECT_EQ(outcome.code(), c.code);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(e.frame_count(), 0u);
  }
}

TEST(Emulator, StatisticsFollowEveryStep) {
  // Draw twice (second collides), call two levels deep, store at the last byte.
  std::vector<std::uint8_t> program = rom({0xA050, 0xD015, 0xD015, 0x2300, 0xF000, 0xFFFF, 0xF055, 0x00FD});
  program.resize(0x100);
  for (const std::uint16_t word : {0x2310, 0x00EE, 0, 0, 0, 0, 0, 0, 0x00EE}) {
    program.push_back(static_cast<std::uint8_t>(word >> 8));
    program.push_back(static_cast<std::uint8_t>(word));
  }
  Chip8Emulator e = *Chip8Emulator::create(program, *find_quirk_preset("chip8"), 1);
  while (e.run_frame().completed()) {
  }
  EXPECT_EQ(e.draw_count(), 2u);
  EXPECT_EQ(e.collision_count(), 1u);
  EXPECT_EQ(e.max_stack_depth(), 2u);
  EXPECT_EQ(e.memory_written_bytes(), 1u);
  EXPECT_TRUE(e.statistics().written_addresses.contains(0xFFFF));
  // 0x200-0x208, 0x20C, 0x20E (the immediate word is skipped), 0x300, 0x302, 0x310.
  EXPECT_EQ(e.unique_pcs(), 10u);
  // Five fall-throughs (the halting 00FD included), the skip over the immediate,
  // both calls and both returns.
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x208, 0x20C));
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x20E, 0x210));
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x206, 0x300));
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x300, 0x310));
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x310, 0x302));
  EXPECT_TRUE(e.statistics().coverage.has_transition(0x302, 0x208));
  EXPECT_EQ(e.unique_edges(), 10u);
  EXPECT_TRUE(e.events().empty());
  EXPECT_FALSE(e.memory_capture().has_value());
}

TEST(Emulator, ResetRestoresTheBootImageAndClearsTheRun) {
  Chip8Emulator e = make({0x6005, 0xF015, 0xD005, 0xF00A});
  const MachineStateImage boot_image = e.capture_state();
  e.set_cycles_per_frame(5);
  e.set_observing(true);
  e.run_frame();
  e.run_frame();
  ASSERT_GT(e.draw_count(), 0u);
  e.reset(boot_image);
  EXPECT_EQ(e.capture_state(), boot_image);
  EXPECT_EQ(e.cycle_count(), 0u);
  EXPECT_EQ(e.frame_count(), 0u);
  EXPECT_EQ(e.statistics(), EmulatorStatistics{});
  EXPECT_TRUE(e.take_timer_ticks().empty());
  EXPECT_EQ(e.cycles_per_frame(), 5u);
  EXPECT_TRUE(e.observing());
  EXPECT_EQ(e.effective_seed(), 1u);
}

TEST(Emulator, TickTimersOnItsOwnCompletesAFrameRunCycleByCycle) {
  Chip8Emulator e = make({0x6003, 0xF018, 0x1204});
  e.step_once();
  e.step_once();
  e.tick_timers();
  EXPECT_EQ(e.frame_count(), 1u);
  EXPECT_EQ(e.machine().sound, 2);
}

}  // namespace
}  // namespace chip8
