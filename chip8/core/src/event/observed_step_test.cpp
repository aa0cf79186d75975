#include "chip8_core/event/observed_step.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chip8_core/emulator/emulator.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint16_t>;

Chip8Emulator observing(const Words& program) {
  Bytes bytes;
  for (const std::uint16_t word : program) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word));
  }
  auto emulator = Chip8Emulator::create(bytes, *find_quirk_preset("chip8"), 1);
  EXPECT_TRUE(emulator.has_value());
  emulator->set_observing(true);
  return std::move(*emulator);
}

// Runs `cycles` observed cycles and returns the record of the last one.
ObservedStep last_of(Chip8Emulator& e, std::size_t cycles) {
  for (std::size_t c = 0; c < cycles; ++c) e.step_once();
  std::vector<ObservedStep> steps = e.take_observed_steps();
  EXPECT_EQ(steps.size(), cycles);
  return steps.empty() ? ObservedStep{} : std::move(steps.back());
}

Bytes memory_bytes(const Chip8Emulator& e, std::uint16_t address, std::size_t length) {
  const auto first = e.machine().memory.begin() + address;
  return Bytes(first, first + static_cast<std::ptrdiff_t>(length));
}

TEST(ObservedStep, RecordsAFetchedStepWholeAndLeavesNothingBehind) {
  Chip8Emulator e = observing({0x6A07, 0x2208, 0x0000, 0x0000, 0x00EE});
  e.set_keypad_mask(0x8001);
  const ObservedStep call = last_of(e, 2);

  EXPECT_EQ(call.frame, std::optional<std::uint64_t>(0));
  EXPECT_EQ(call.cycle, 1u);
  EXPECT_TRUE(call.fetched);
  EXPECT_EQ(call.pc, 0x202);
  EXPECT_EQ(call.opcode, 0x2208);
  EXPECT_EQ(call.result, StepStatus::ok());
  EXPECT_THAT(call.events, ElementsAre(MachineEvent::call(0x202, 0x208), MachineEvent::simple(MachineEvent::Kind::StackPush)));
  EXPECT_THAT(call.reads, IsEmpty());
  EXPECT_THAT(call.writes, IsEmpty());

  RegisterSnapshot expected_before = register_snapshot(e.machine());
  expected_before.stack = {};
  expected_before.SP = 0;
  expected_before.PC = 0x202;
  EXPECT_EQ(call.before, expected_before);
  EXPECT_EQ(call.before.V[0xA], 7);
  EXPECT_EQ(call.before.keypad_mask, 0x8001);
  EXPECT_EQ(call.before.plane_mask, 1);
  EXPECT_EQ(call.before.audio_pitch, 64);
  EXPECT_EQ(call.before.rng_state, 1u);
  EXPECT_EQ(call.after, register_snapshot(e.machine()));
  EXPECT_EQ(call.after.PC, 0x208);
  EXPECT_EQ(call.after.SP, 1);
  EXPECT_EQ(call.after.stack[0], 0x204);

  // The plain cycle's statistics still run, and the step's list and capture are gone.
  EXPECT_EQ(e.cycle_count(), 2u);
  EXPECT_EQ(e.unique_pcs(), 2u);
  EXPECT_EQ(e.max_stack_depth(), 1);
  EXPECT_THAT(e.events(), IsEmpty());
  EXPECT_FALSE(e.memory_capture().has_value());
  EXPECT_THAT(e.take_observed_steps(), IsEmpty());
}

TEST(ObservedStep, HaltedMachineYieldsOneUnchangedRecordPerCycle) {
  Chip8Emulator e = observing({0x00FD, 0x1234});
  const ObservedStep exit = last_of(e, 1);
  EXPECT_TRUE(exit.fetched);
  EXPECT_EQ(exit.result, StepStatus::halted());
  EXPECT_FALSE(exit.before.halted);
  EXPECT_TRUE(exit.after.halted);

  const FrameOutcome outcome = e.run_frame();
  EXPECT_EQ(outcome.code(), 8);
  e.step_once();
  const std::vector<ObservedStep> steps = e.take_observed_steps();
  ASSERT_EQ(steps.size(), 2u);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const ObservedStep& step = steps[k];
    EXPECT_EQ(step.cycle, k + 1);
    EXPECT_FALSE(step.fetched);
    EXPECT_THAT(step.events, IsEmpty());
    EXPECT_EQ(step.result, StepStatus::halted());
    EXPECT_EQ(step.before, step.after);
    EXPECT_EQ(step.pc, 0x202);
    EXPECT_EQ(step.opcode, 0x1234);  // the word at the unchanged PC, not the 00FD that halted
  }
}

TEST(ObservedStep, KeyWaitLatchAndResolutionFetchNothing) {
  Chip8Emulator e = observing({0xF30A, 0xABCD});
  const ObservedStep entered = last_of(e, 1);
  EXPECT_TRUE(entered.fetched);
  EXPECT_THAT(entered.events, ElementsAre(MachineEvent::simple(MachineEvent::Kind::KeyWaitEntered)));
  EXPECT_EQ(entered.after.key_wait, KeyWait::wait_press(3));

  e.set_keypad_mask(1u << 9 | 1u << 5);
  const ObservedStep latch = last_of(e, 1);
  EXPECT_FALSE(latch.fetched);
  EXPECT_EQ(latch.result, StepStatus::waiting_for_key());
  EXPECT_THAT(latch.events, IsEmpty());
  EXPECT_EQ(latch.opcode, 0xABCD);
  EXPECT_EQ(latch.after.key_wait, KeyWait::wait_release(3, 5));

  e.set_keypad_mask(1u << 9);
  const ObservedStep resolved = last_of(e, 1);
  EXPECT_FALSE(resolved.fetched);
  EXPECT_EQ(resolved.result, StepStatus::ok());
  EXPECT_THAT(resolved.events, ElementsAre(MachineEvent::key_wait_resolved(5)));
  EXPECT_EQ(resolved.before.key_wait, KeyWait::wait_release(3, 5));
  EXPECT_EQ(resolved.before.V[3], 0);
  EXPECT_EQ(resolved.after.V[3], 5);
  EXPECT_EQ(resolved.after.key_wait, KeyWait::none());
  EXPECT_EQ(resolved.after.PC, 0x202);
  EXPECT_EQ(e.input_opcode_count(), 2u);
}

TEST(ObservedStep, BlockWritesCarryTheirBeforeAndAfterBytes) {
  struct Case {
    std::string_view name;
    Words program;
    std::size_t cycles;
    std::uint16_t address;
    Bytes before;
    Bytes after;
  };
  const Case cases[] = {
      // FX55 with X = 3 over four known ROM bytes at 0x20C.
      {"FX55", {0xA20C, 0x6011, 0x6122, 0x6233, 0x6344, 0xF355, 0xDEAD, 0xBEEF}, 6, 0x20C,
       {0xDE, 0xAD, 0xBE, 0xEF}, {0x11, 0x22, 0x33, 0x44}},
      {"FX33", {0xA300, 0x659D, 0xF533}, 3, 0x300, {0, 0, 0}, {1, 5, 7}},
      // X > Y stores V2, V1, V0 at ascending addresses.
      {"5XY2 descending", {0xA20A, 0x600C, 0x610B, 0x620A, 0x5202, 0x0102, 0x0304}, 5, 0x20A,
       {0x01, 0x02, 0x03}, {0x0A, 0x0B, 0x0C}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Chip8Emulator e = observing(c.program);
    const ObservedStep step = last_of(e, c.cycles);
    EXPECT_EQ(step.result, StepStatus::ok());
    EXPECT_THAT(step.events,
                ElementsAre(MachineEvent::memory_write(c.address, static_cast<std::uint16_t>(c.after.size()))));
    EXPECT_THAT(step.reads, IsEmpty());
    EXPECT_THAT(step.writes, ElementsAre(MemoryWrite{c.address, c.before, c.after}));
    EXPECT_EQ(memory_bytes(e, c.address, c.after.size()), c.after);
  }
}

TEST(ObservedStep, BlockReadsCarryTheBytesRead) {
  const Bytes small_font(kSmallFont.begin(), kSmallFont.end());
  const Bytes big_font(kBigFont.begin(), kBigFont.end());
  struct Case {
    std::string_view name;
    Words program;
    std::size_t cycles;
    std::uint16_t address;
    Bytes bytes;
  };
  const Case cases[] = {
      {"FX65", {0xA050, 0xF265}, 2, 0x050, Bytes(small_font.begin(), small_font.begin() + 3)},
      {"5XY3 descending", {0xA055, 0x5203}, 2, 0x055, Bytes(small_font.begin() + 5, small_font.begin() + 8)},
      {"F002", {0xA050, 0xF002}, 2, 0x050, Bytes(small_font.begin(), small_font.begin() + 16)},
      {"DXY5", {0xA055, 0xD125}, 2, 0x055, Bytes(small_font.begin() + 5, small_font.begin() + 10)},
      // 32 bytes of the 16 x 16 sprite for plane 0, then 32 for plane 1, as one read.
      {"DXY0 both planes", {0xF301, 0xA100, 0xD120}, 3, 0x100, Bytes(big_font.begin(), big_font.begin() + 64)},
      {"F000 NNNN", {0xF000, 0xFFF1}, 1, 0x202, {0xFF, 0xF1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Chip8Emulator e = observing(c.program);
    const ObservedStep step = last_of(e, c.cycles);
    EXPECT_EQ(step.result, StepStatus::ok());
    EXPECT_THAT(step.reads, ElementsAre(MemoryRead{c.address, c.bytes}));
    EXPECT_THAT(step.writes, IsEmpty());
  }
}

TEST(ObservedStep, DrawWithNoPlaneSelectedReadsNothing) {
  Chip8Emulator e = observing({0xF001, 0x6F07, 0x6003, 0x6104, 0xA050, 0xD015});
  const ObservedStep draw = last_of(e, 6);
  EXPECT_EQ(draw.before.plane_mask, 0);
  EXPECT_THAT(draw.reads, IsEmpty());
  EXPECT_EQ(draw.before.V[0xF], 7);
  EXPECT_EQ(draw.after.V[0xF], 0);
  EXPECT_THAT(draw.events, ElementsAre(MachineEvent::draw(3, 4, 5, false)));
}

TEST(ObservedStep, ImmediateWordAtTheEndOfMemoryIsReadAsTwoBytes) {
  Chip8Emulator e = observing({0x0000});
  MachineStateImage image = e.capture_state();
  image.PC = 0xFFFD;
  image.memory[0xFFFD] = 0xF0;
  image.memory[0xFFFE] = 0x00;
  image.memory[0xFFFF] = 0x12;
  image.memory[0x0000] = 0x34;
  e.restore_state(image);

  const ObservedStep step = last_of(e, 1);
  EXPECT_EQ(step.opcode, 0xF000);
  EXPECT_EQ(step.result, StepStatus::ok());
  EXPECT_THAT(step.reads, ElementsAre(MemoryRead{0xFFFF, {0x12}}, MemoryRead{0x0000, {0x34}}));
  EXPECT_EQ(step.after.I, 0x1234);
  EXPECT_EQ(step.after.PC, 0x0001);
}

TEST(ObservedStep, FaultsAreRecordedLikeAnyOtherResult) {
  {
    SCOPED_TRACE("memory fault: FX55 from 0xFFF1 with X = 15");
    Chip8Emulator e = observing({0xF000, 0xFFF1, 0xFF55});
    const ObservedStep step = last_of(e, 2);
    EXPECT_EQ(step.result, StepStatus::memory_fault());
    EXPECT_EQ(step.result.first_invalid_address, 0x10000u);
    EXPECT_THAT(step.events, IsEmpty());
    EXPECT_THAT(step.reads, IsEmpty());
    EXPECT_THAT(step.writes, IsEmpty());
    RegisterSnapshot moved_on = step.before;
    moved_on.PC = 0x206;
    EXPECT_EQ(step.after, moved_on);
  }
  {
    SCOPED_TRACE("invalid opcode");
    Chip8Emulator e = observing({0x5121});
    const ObservedStep step = last_of(e, 1);
    EXPECT_TRUE(step.fetched);
    EXPECT_EQ(step.result, StepStatus::invalid_opcode(0x5121));
    EXPECT_THAT(step.events, ElementsAre(MachineEvent::invalid_opcode(0x200, 0x5121)));
  }
  {
    SCOPED_TRACE("stack underflow");
    Chip8Emulator e = observing({0x00EE});
    const ObservedStep step = last_of(e, 1);
    EXPECT_EQ(step.result, StepStatus::stack_underflow());
    EXPECT_THAT(step.events, IsEmpty());
  }
}

TEST(ObservedStep, FramesAndCyclesNumberTheRecords) {
  Chip8Emulator e = observing({0x7001, 0x1200});
  e.set_cycles_per_frame(2);
  e.run_frame();
  e.run_frame();
  e.step_once();
  const std::vector<ObservedStep> steps = e.take_observed_steps();
  ASSERT_EQ(steps.size(), 5u);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    EXPECT_EQ(steps[k].cycle, k);
    EXPECT_EQ(steps[k].frame, std::optional<std::uint64_t>(k / 2));
  }
  EXPECT_EQ(steps[4].pc, 0x200);
  EXPECT_EQ(steps[4].before.V[0], 2);
  EXPECT_THAT(e.take_observed_steps(), IsEmpty());
}

TEST(ObservedStep, PendingRecordsAreDiscardedAndPlainCyclesRecordNothing) {
  Chip8Emulator e = observing({0x7001, 0x1200});
  const MachineStateImage boot_image = e.capture_state();
  e.run_frame();
  e.set_observing(true);
  EXPECT_THAT(e.take_observed_steps(), IsEmpty());

  e.run_frame();
  e.reset(boot_image);
  EXPECT_THAT(e.take_observed_steps(), IsEmpty());
  e.step_once();
  const std::vector<ObservedStep> after_reset = e.take_observed_steps();
  ASSERT_EQ(after_reset.size(), 1u);
  EXPECT_EQ(after_reset[0].cycle, 0u);
  EXPECT_EQ(after_reset[0].frame, std::optional<std::uint64_t>(0));

  e.set_observing(false);
  e.run_frame();
  e.step_once();
  EXPECT_THAT(e.take_observed_steps(), IsEmpty());
  EXPECT_FALSE(e.memory_capture().has_value());
}

std::string fatal_message(auto&& action) {
  try {
    action();
  } catch (const lumivar::FatalError& error) {
    return error.what();
  }
  return "no fatal error";
}

TEST(ObservedStep, BrokenRecordingInvariantsAreFatal) {
  std::optional<MemoryCapture> no_capture;
  EXPECT_EQ(fatal_message([&] { take_memory_capture(no_capture); }),
            "memory capture must be active for an observed step");

  std::vector<std::uint8_t> whole_memory(0x10000);
  std::vector<MachineEvent> events;
  EXPECT_EQ(fatal_message([&] {
              MemoryWriteRecord record(nullptr, 0, whole_memory);
              record.finish(whole_memory, events);
            }),
            "CHIP-8 memory write length fits in u16");
  EXPECT_THAT(events, IsEmpty());

  std::optional<MemoryCapture> capture{MemoryCapture{}};
  const MemoryCapture taken = take_memory_capture(capture);
  EXPECT_FALSE(capture.has_value());
  EXPECT_EQ(taken, MemoryCapture{});
}

}  // namespace
}  // namespace chip8
