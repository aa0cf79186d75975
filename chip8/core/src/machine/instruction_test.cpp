#include "chip8_core/machine/instruction.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <format>
#include <string>

#include "chip8_core/testing/machine_rig.hpp"

namespace chip8 {
namespace {

using testing::MachineRig;
using testing::preset;
using Kind = StepStatus::Kind;

// The accepted opcode words, written independently of the decoder from the opcode table.
bool accepted(std::uint16_t op) {
  const unsigned x = (op >> 8) & 0xF;
  const unsigned n = op & 0xF;
  const unsigned nn = op & 0xFF;
  switch (op >> 12) {
    case 0x5: return n == 0 || n == 2 || n == 3;
    case 0x8: return n <= 7 || n == 0xE;
    case 0x9: return n == 0;
    case 0xE: return nn == 0x9E || nn == 0xA1;
    case 0xF: {
      if (nn == 0x00 || nn == 0x02) return x == 0;
      constexpr std::array<unsigned, 14> kRows{0x01, 0x07, 0x0A, 0x15, 0x18, 0x1E, 0x29,
                                               0x30, 0x33, 0x3A, 0x55, 0x65, 0x75, 0x85};
      return std::ranges::find(kRows, nn) != kRows.end();
    }
    default: return true;
  }
}

TEST(InstructionDecode, EveryWordIsAcceptedOrInvalidExactlyAsTheTableSays) {
  MachineRig rig({0x0000});
  for (std::uint32_t word = 0; word <= 0xFFFF; ++word) {
    const auto op = static_cast<std::uint16_t>(word);
    Chip8Machine& m = rig.m;
    m.PC = 0x300;
    m.memory[0x300] = static_cast<std::uint8_t>(op >> 8);
    m.memory[0x301] = static_cast<std::uint8_t>(op);
    m.I = 0x400;
    m.SP = 1;
    m.halted = false;
    m.key_wait = KeyWait::none();
    m.display.plane_mask = 1;
    rig.events.clear();
    const auto V = m.V;
    const StepStatus status = rig.step();
    SCOPED_TRACE(std::format("opcode {:04X}", op));
    if (op == 0x00FD) {
      EXPECT_EQ(status.kind, Kind::Halted);
    } else if (accepted(op)) {
      EXPECT_EQ(status.kind, Kind::Ok);
    } else {
      ASSERT_EQ(status, StepStatus::invalid_opcode(op));
      EXPECT_EQ(rig.events, (std::vector{MachineEvent::invalid_opcode(0x300, op)}));
      EXPECT_EQ(m.PC, 0x302);
      EXPECT_EQ(m.V, V);
      EXPECT_EQ(m.I, 0x400);
      EXPECT_EQ(m.SP, 1);
    }
  }
}

TEST(InstructionDecode, ZeroPageWordsOutsideTheScreenOpcodesAreNoOperations) {
  for (const std::uint16_t op : {0x0000, 0x0123, 0x00EA, 0x00BF, 0x00E1, 0x00EF, 0x00FA, 0x0FFF}) {
    MachineRig rig({op});
    const Chip8Machine before = rig.m;
    EXPECT_EQ(rig.step(), StepStatus::ok()) << std::format("{:04X}", op);
    EXPECT_TRUE(rig.events.empty());
    Chip8Machine expected = before;
    expected.PC = 0x202;
    EXPECT_EQ(rig.m, expected) << std::format("{:04X}", op);
  }
}

struct AluCase {
  const char* name;
  std::uint16_t opcode;
  std::uint8_t vx, vy, vf;  // initial V of X, Y and VF (when X or Y is F the later assignment wins)
  bool shift_uses_vx;
  bool logic_resets_vf;
  std::uint8_t expect_vx, expect_vf;
};

class AluTest : public ::testing::TestWithParam<AluCase> {};

TEST_P(AluTest, ResultAndFlag) {
  const AluCase& c = GetParam();
  QuirkFlags quirks = preset("chip8");
  quirks.shift_uses_vx = c.shift_uses_vx;
  quirks.logic_resets_vf = c.logic_resets_vf;
  MachineRig rig({c.opcode}, quirks);
  const unsigned x = (c.opcode >> 8) & 0xF;
  const unsigned y = (c.opcode >> 4) & 0xF;
  rig.m.V[0xF] = c.vf;
  rig.m.V[y] = c.vy;
  rig.m.V[x] = c.vx;
  ASSERT_EQ(rig.step(), StepStatus::ok());
  EXPECT_EQ(rig.m.V[x], c.expect_vx);
  EXPECT_EQ(rig.m.V[0xF], c.expect_vf);
  EXPECT_TRUE(rig.events.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Instruction, AluTest,
    ::testing::Values(
        AluCase{"ld", 0x8120, 1, 7, 9, false, false, 7, 9},
        AluCase{"or_keeps_vf", 0x8121, 0x0F, 0xF0, 9, false, false, 0xFF, 9},
        AluCase{"or_resets_vf", 0x8121, 0x0F, 0xF0, 9, false, true, 0xFF, 0},
        AluCase{"and_resets_vf", 0x8122, 0x3C, 0x0F, 9, false, true, 0x0C, 0},
        AluCase{"xor_keeps_vf", 0x8123, 0x3C, 0x0F, 9, false, false, 0x33, 9},
        AluCase{"add_no_carry", 0x8124, 100, 155, 9, false, false, 255, 0},
        AluCase{"add_carry", 0x8124, 100, 156, 0, false, false, 0, 1},
        AluCase{"add_into_vf_keeps_carry", 0x8F14, 200, 100, 200, false, false, 1, 1},
        AluCase{"sub_no_borrow_equal", 0x8125, 5, 5, 9, false, false, 0, 1},
        AluCase{"sub_borrow", 0x8125, 4, 5, 9, false, false, 0xFF, 0},
        AluCase{"subn_no_borrow", 0x8127, 3, 10, 9, false, false, 7, 1},
        AluCase{"subn_borrow", 0x8127, 10, 3, 9, false, false, 249, 0},
        AluCase{"shr_uses_vy", 0x8126, 0xFF, 0x05, 9, false, false, 0x02, 1},
        AluCase{"shr_uses_vx", 0x8126, 0x04, 0xFF, 9, true, false, 0x02, 0},
        AluCase{"shl_uses_vy", 0x812E, 0x00, 0x81, 9, false, false, 0x02, 1},
        AluCase{"shl_uses_vx", 0x812E, 0x40, 0xFF, 9, true, false, 0x80, 0},
        // The shifts write VF first, so with X = F the shifted value survives.
        AluCase{"shr_into_vf_keeps_value", 0x8F06, 6, 0, 6, true, false, 3, 3},
        AluCase{"shl_into_vf_keeps_value", 0x8F0E, 0x81, 0, 0x81, true, false, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Instruction, AddImmediateWrapsWithoutTouchingVf) {
  MachineRig rig({0x71FF});
  rig.m.V[1] = 2;
  rig.m.V[0xF] = 9;
  rig.step();
  EXPECT_EQ(rig.m.V[1], 1);
  EXPECT_EQ(rig.m.V[0xF], 9);
}

struct SkipCase {
  std::uint16_t opcode;
  std::uint8_t v1, v2;
  std::uint16_t keypad;
  bool skips;
};

TEST(Instruction, SkipsAdvanceTwoBytesOnlyWhenTheConditionHolds) {
  const SkipCase cases[] = {
      {0x3105, 5, 0, 0, true},      {0x3105, 6, 0, 0, false},     {0x4105, 6, 0, 0, true},
      {0x4105, 5, 0, 0, false},     {0x5120, 7, 7, 0, true},      {0x5120, 7, 8, 0, false},
      {0x9120, 7, 8, 0, true},      {0x9120, 7, 7, 0, false},     {0xE19E, 0xA, 0, 1u << 0xA, true},
      {0xE19E, 0xA, 0, 1u << 0xB, false}, {0xE19E, 0x1A, 0, 0xFFFF, false}, {0xE1A1, 0xA, 0, 1u << 0xB, true},
      {0xE1A1, 0xA, 0, 1u << 0xA, false}, {0xE1A1, 0x10, 0, 0xFFFF, true},
  };
  for (const SkipCase& c : cases) {
    MachineRig rig({c.opcode});
    rig.m.V[1] = c.v1;
    rig.m.V[2] = c.v2;
    rig.m.keypad_mask = c.keypad;
    ASSERT_EQ(rig.step(), StepStatus::ok());
    EXPECT_EQ(rig.m.PC, c.skips ? 0x204 : 0x202) << std::format("{:04X} v1={} keys={:04X}", c.opcode, c.v1, c.keypad);
    EXPECT_TRUE(rig.events.empty());
  }
}

TEST(Instruction, SkipOverLongLoadSkipsOnlyItsFirstWord) {
  // SE V0, 0 skips the F000 word; its immediate 0x6177 then runs as LD V1, 0x77.
  MachineRig rig({0x3000, 0xF000, 0x6177});
  rig.step();
  EXPECT_EQ(rig.m.PC, 0x204);
  rig.step();
  EXPECT_EQ(rig.m.V[1], 0x77);
  EXPECT_EQ(rig.m.I, 0);
}

TEST(Instruction, CallAndReturnMoveTheStackAndReportInOrder) {
  MachineRig rig({0x2300});
  rig.poke_words(0x300, {0x00EE});
  ASSERT_EQ(rig.step(), StepStatus::ok());
  EXPECT_EQ(rig.m.PC, 0x300);
  EXPECT_EQ(rig.m.SP, 1);
  EXPECT_EQ(rig.m.stack[0], 0x202);
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::call(0x200, 0x300), MachineEvent::simple(MachineEvent::Kind::StackPush)}));
  rig.events.clear();
  ASSERT_EQ(rig.step(), StepStatus::ok());
  EXPECT_EQ(rig.m.PC, 0x202);
  EXPECT_EQ(rig.m.SP, 0);
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::return_to(0x202), MachineEvent::simple(MachineEvent::Kind::StackPop)}));
}

TEST(Instruction, CallWithFullStackAndReturnWithEmptyStackChangeNothingButPc) {
  MachineRig call({0x2300});
  call.m.SP = 16;
  call.m.stack.fill(0x1234);
  EXPECT_EQ(call.step(), StepStatus::stack_overflow());
  EXPECT_EQ(call.m.SP, 16);
  EXPECT_EQ(call.m.PC, 0x202);
  EXPECT_TRUE(std::ranges::all_of(call.m.stack, [](auto e) { return e == 0x1234; }));
  EXPECT_TRUE(call.events.empty());

  MachineRig ret({0x00EE});
  EXPECT_EQ(ret.step(), StepStatus::stack_underflow());
  EXPECT_EQ(ret.m.SP, 0);
  EXPECT_EQ(ret.m.PC, 0x202);
  EXPECT_TRUE(ret.events.empty());
}

TEST(Instruction, JumpsReportTheirSourceAndTarget) {
  MachineRig jp({0x1ABC});
  jp.step();
  EXPECT_EQ(jp.m.PC, 0xABC);
  EXPECT_EQ(jp.events, (std::vector{MachineEvent::jump(0x200, 0xABC)}));

  // BNNN is a 16-bit sum, not reduced to 12 bits.
  MachineRig far({0xBFFF});
  far.m.V[0] = 0xFF;
  far.step();
  EXPECT_EQ(far.m.PC, 0x10FE);
  EXPECT_EQ(far.events, (std::vector{MachineEvent::jump(0x200, 0x10FE)}));

  QuirkFlags vx = preset("chip8");
  vx.jump_uses_vx = true;
  MachineRig with_vx({0xB310}, vx);
  with_vx.m.V[0] = 0x01;
  with_vx.m.V[3] = 0x20;
  with_vx.step();
  EXPECT_EQ(with_vx.m.PC, 0x330);
}

TEST(Instruction, RandomSequenceFromZeroEffectiveSeedStartsAtOne) {
  MachineRig rig({0xC0FF, 0xC1FF, 0xC2FF, 0xC30F}, preset("chip8"), 0);
  EXPECT_EQ(rig.m.rng_state, 1u);
  for (int i = 0; i < 4; ++i) rig.step();
  EXPECT_EQ(rig.m.V[0], 0x41);
  EXPECT_EQ(rig.m.V[1], 0x41);
  EXPECT_EQ(rig.m.V[2], 0x29);
  EXPECT_EQ(rig.m.V[3], xorshift64(0x9B1E842F6E862629ULL) & 0x0F);
  EXPECT_EQ(rig.m.rng_state, xorshift64(0x9B1E842F6E862629ULL));
}

TEST(Instruction, StoreRegistersReachesTheLastByteAndFaultsOnePastIt) {
  MachineRig fits({0xFF55});
  for (unsigned i = 0; i < 16; ++i) fits.m.V[i] = static_cast<std::uint8_t>(0xA0 + i);
  fits.m.I = 0xFFF0;
  ASSERT_EQ(fits.step(), StepStatus::ok());
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(fits.m.memory[0xFFF0 + i], 0xA0 + i);
  EXPECT_EQ(fits.m.I, 0x0000);  // 0xFFF0 + 16 wraps
  EXPECT_EQ(fits.events, (std::vector{MachineEvent::memory_write(0xFFF0, 16)}));

  MachineRig faults({0xFF55});
  faults.m.I = 0xFFF1;
  MemoryCapture capture;
  const Chip8Machine before = faults.m;
  EXPECT_EQ(faults.step(&capture), StepStatus::memory_fault());
  EXPECT_EQ(StepStatus::memory_fault().first_invalid_address, 0x10000u);
  Chip8Machine expected = before;
  expected.PC = 0x202;
  EXPECT_EQ(faults.m, expected);
  EXPECT_TRUE(faults.events.empty());
  EXPECT_EQ(capture, MemoryCapture{});
}

struct FaultCase {
  std::uint16_t opcode;
  std::uint16_t last_good_i;  // the largest I that does not fault
  std::uint8_t plane_mask;
};

TEST(Instruction, BlockAccessesFaultExactlyPastTheLastByte) {
  const FaultCase cases[] = {
      {0xF355, 0xFFFC, 1}, {0xF365, 0xFFFC, 1}, {0xF033, 0xFFFD, 1}, {0xF002, 0xFFF0, 1},
      {0x5142, 0xFFFC, 1}, {0x5413, 0xFFFC, 1}, {0xD125, 0xFFFB, 1}, {0xD125, 0xFFF6, 3},
      {0xD120, 0xFFE0, 2}, {0xD120, 0xFFC0, 3},
  };
  for (const FaultCase& c : cases) {
    for (const std::uint32_t i : {std::uint32_t{c.last_good_i}, std::uint32_t{c.last_good_i} + 1}) {
      MachineRig rig({c.opcode});
      rig.m.display.plane_mask = c.plane_mask;
      rig.m.I = static_cast<std::uint16_t>(i);
      const StepStatus status = rig.step();
      EXPECT_EQ(status.kind, i == c.last_good_i ? Kind::Ok : Kind::MemoryFault)
          << std::format("{:04X} I={:04X} mask={}", c.opcode, i, c.plane_mask);
    }
  }
  // With no plane selected a draw reads nothing and cannot fault.
  MachineRig none({0xD120});
  none.m.display.plane_mask = 0;
  none.m.I = 0xFFFF;
  EXPECT_EQ(none.step(), StepStatus::ok());
}

TEST(Instruction, RegisterRangesRunInBothDirections) {
  MachineRig up({0x5242});
  up.m.V = {0, 1, 0x22, 0x33, 0x44};
  up.m.I = 0x400;
  up.step();
  EXPECT_EQ((std::array{up.m.memory[0x400], up.m.memory[0x401], up.m.memory[0x402]}), (std::array<std::uint8_t, 3>{0x22, 0x33, 0x44}));
  EXPECT_EQ(up.m.I, 0x400);
  EXPECT_EQ(up.events, (std::vector{MachineEvent::memory_write(0x400, 3)}));

  MachineRig down({0x5422});
  down.m.V = {0, 1, 0x22, 0x33, 0x44};
  down.m.I = 0x400;
  down.step();
  EXPECT_EQ((std::array{down.m.memory[0x400], down.m.memory[0x401], down.m.memory[0x402]}), (std::array<std::uint8_t, 3>{0x44, 0x33, 0x22}));

  MachineRig load({0x5733});
  load.m.I = 0x400;
  load.m.memory[0x400] = 0xA;
  load.m.memory[0x401] = 0xB;
  load.m.memory[0x402] = 0xC;
  load.m.memory[0x403] = 0xD;
  load.m.memory[0x404] = 0xE;
  load.step();
  EXPECT_EQ(load.m.V[7], 0xA);
  EXPECT_EQ(load.m.V[6], 0xB);
  EXPECT_EQ(load.m.V[3], 0xE);
  EXPECT_EQ(load.m.I, 0x400);
  EXPECT_TRUE(load.events.empty());
}

TEST(Instruction, LoadStoreAdvanceIUnlessTheQuirkKeepsIt) {
  for (const bool keeps : {false, true}) {
    QuirkFlags quirks = preset("chip8");
    quirks.load_store_keeps_i = keeps;
    MachineRig store({0xF255, 0xF165}, quirks);
    store.m.I = 0x400;
    store.m.V[0] = 7;
    store.m.V[1] = 8;
    store.step();
    EXPECT_EQ(store.m.I, keeps ? 0x400 : 0x403);
    store.m.I = 0x400;
    store.m.V[0] = 0;
    store.m.V[1] = 0;
    store.step();
    EXPECT_EQ(store.m.V[0], 7);
    EXPECT_EQ(store.m.V[1], 8);
    EXPECT_EQ(store.m.I, keeps ? 0x400 : 0x402);
  }
}

TEST(Instruction, BcdWritesHundredsTensAndOnes) {
  for (const auto& [value, digits] : {std::pair{std::uint8_t{0}, std::array<std::uint8_t, 3>{0, 0, 0}},
                                      std::pair{std::uint8_t{7}, std::array<std::uint8_t, 3>{0, 0, 7}},
                                      std::pair{std::uint8_t{42}, std::array<std::uint8_t, 3>{0, 4, 2}},
                                      std::pair{std::uint8_t{255}, std::array<std::uint8_t, 3>{2, 5, 5}}}) {
    MachineRig rig({0xF533});
    rig.m.V[5] = value;
    rig.m.I = 0xFFFD;
    rig.step();
    EXPECT_EQ((std::array{rig.m.memory[0xFFFD], rig.m.memory[0xFFFE], rig.m.memory[0xFFFF]}), digits);
    EXPECT_EQ(rig.m.I, 0xFFFD);
    EXPECT_EQ(rig.events, (std::vector{MachineEvent::memory_write(0xFFFD, 3)}));
  }
}

TEST(Instruction, IndexLoads) {
  struct Case {
    std::uint16_t opcode;
    std::uint8_t vx;
    std::uint16_t i_before, i_after;
  };
  const Case cases[] = {
      {0xA123, 0, 0, 0x123},        {0xF31E, 0x20, 0xFFF0, 0x0010}, {0xF329, 0x0F, 0, 0x50 + 75},
      {0xF329, 0x1A, 0, 0x50 + 50}, {0xF330, 9, 0, 0x100 + 90},     {0xF330, 123, 0, 0x100 + 30},
  };
  for (const Case& c : cases) {
    MachineRig rig({c.opcode});
    rig.m.V[3] = c.vx;
    rig.m.I = c.i_before;
    rig.step();
    EXPECT_EQ(rig.m.I, c.i_after) << std::format("{:04X}", c.opcode);
  }
}

TEST(Instruction, LongLoadReadsTheFollowingWord) {
  MachineRig rig({0xF000, 0x1234});
  MemoryCapture capture;
  rig.step(&capture);
  EXPECT_EQ(rig.m.I, 0x1234);
  EXPECT_EQ(rig.m.PC, 0x204);
  EXPECT_EQ(capture.reads, (std::vector{MemoryRead{0x202, {0x12, 0x34}}}));
  EXPECT_TRUE(rig.events.empty());
}

TEST(Instruction, LongLoadAtTheEndOfMemoryReadsAcrossTheWrap) {
  MachineRig rig({0x0000});
  rig.m.PC = 0xFFFD;
  rig.m.memory[0xFFFD] = 0xF0;
  rig.m.memory[0xFFFE] = 0x00;
  rig.m.memory[0xFFFF] = 0xAB;
  rig.m.memory[0x0000] = 0xCD;
  MemoryCapture capture;
  ASSERT_EQ(rig.step(&capture), StepStatus::ok());
  EXPECT_EQ(rig.m.I, 0xABCD);
  EXPECT_EQ(rig.m.PC, 0x0001);
  EXPECT_EQ(capture.reads, (std::vector{MemoryRead{0xFFFF, {0xAB}}, MemoryRead{0x0000, {0xCD}}}));
}

TEST(Instruction, FetchWrapsAtTheEndOfMemory) {
  MachineRig rig({0x0000});
  rig.m.PC = 0xFFFF;
  rig.m.memory[0xFFFF] = 0x61;
  rig.m.memory[0x0000] = 0x42;
  rig.step();
  EXPECT_EQ(rig.m.V[1], 0x42);
  EXPECT_EQ(rig.m.PC, 0x0001);
}

TEST(Instruction, PlaneAudioPitchTimersAndFlags) {
  MachineRig rig({0xF301, 0xF002, 0xF43A, 0xF415, 0xF518, 0xF607, 0xF275, 0x6000, 0x6100, 0x6200, 0xF185, 0xF001});
  rig.m.I = 0x400;
  for (unsigned k = 0; k < 16; ++k) rig.m.memory[0x400 + k] = static_cast<std::uint8_t>(k * 3);
  rig.m.V = {1, 2, 3, 0, 90, 17, 0};
  MemoryCapture capture;
  rig.step();
  EXPECT_EQ(rig.m.display.plane_mask, 3);
  rig.step(&capture);
  EXPECT_EQ(rig.m.pattern[15], 45);
  ASSERT_EQ(capture.reads.size(), 1u);
  EXPECT_EQ(capture.reads[0].address, 0x400);
  EXPECT_EQ(capture.reads[0].bytes.size(), 16u);
  rig.step();
  EXPECT_EQ(rig.m.audio_pitch, 90);
  rig.step();
  rig.step();
  EXPECT_EQ(rig.m.delay, 90);
  EXPECT_EQ(rig.m.sound, 17);
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::timer_set(90, 0), MachineEvent::timer_set(17, 1)}));
  rig.step();
  EXPECT_EQ(rig.m.V[6], 90);
  for (int i = 0; i < 5; ++i) rig.step();  // F275, clear V0-V2, F185
  EXPECT_EQ(rig.m.flags[0], 1);
  EXPECT_EQ(rig.m.flags[2], 3);
  EXPECT_EQ(rig.m.flags[3], 0);
  EXPECT_EQ(rig.m.V[0], 1);
  EXPECT_EQ(rig.m.V[1], 2);
  EXPECT_EQ(rig.m.V[2], 0);  // FX85 with X = 1 loads only V0 and V1
  rig.step();
  EXPECT_EQ(rig.m.display.plane_mask, 0);
}

TEST(Instruction, KeyWaitLatchesTheLowestKeyAndResolvesOnItsRelease) {
  MachineRig rig({0xF50A});
  EXPECT_EQ(rig.step(), StepStatus::ok());
  EXPECT_EQ(rig.m.key_wait, KeyWait::wait_press(5));
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::simple(MachineEvent::Kind::KeyWaitEntered)}));
  rig.events.clear();
  EXPECT_EQ(rig.step(), StepStatus::waiting_for_key());  // nothing down
  EXPECT_EQ(rig.m.key_wait, KeyWait::wait_press(5));
  rig.m.keypad_mask = (1u << 0xC) | (1u << 0x9);
  EXPECT_EQ(rig.step(), StepStatus::waiting_for_key());  // latch
  EXPECT_EQ(rig.m.key_wait, KeyWait::wait_release(5, 0x9));
  rig.m.keypad_mask = 1u << 0x9;
  EXPECT_EQ(rig.step(), StepStatus::waiting_for_key());  // still held
  rig.m.keypad_mask = 1u << 0xC;                         // only a different key down
  EXPECT_EQ(rig.step(), StepStatus::ok());
  EXPECT_EQ(rig.m.V[5], 0x9);
  EXPECT_EQ(rig.m.key_wait, KeyWait::none());
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::key_wait_resolved(0x9)}));
  EXPECT_EQ(rig.m.PC, 0x202);  // polls and the resolution run no instruction
}

TEST(Instruction, KeyHeldAcrossKeyWaitMustBeReleasedFirst) {
  MachineRig rig({0xF00A, 0x6177});
  rig.m.keypad_mask = 1u << 3;
  rig.step();
  EXPECT_EQ(rig.step(), StepStatus::waiting_for_key());
  EXPECT_EQ(rig.m.key_wait, KeyWait::wait_release(0, 3));
  EXPECT_EQ(rig.step(), StepStatus::waiting_for_key());
  EXPECT_EQ(rig.m.V[0], 0);
  rig.m.keypad_mask = 0;
  EXPECT_EQ(rig.step(), StepStatus::ok());
  EXPECT_EQ(rig.m.V[0], 3);
  rig.step();
  EXPECT_EQ(rig.m.V[1], 0x77);
}

TEST(Instruction, HaltIsStickyAndChangesNothing) {
  MachineRig rig({0x00FD, 0x6177});
  EXPECT_EQ(rig.step(), StepStatus::halted());
  EXPECT_TRUE(rig.m.halted);
  EXPECT_TRUE(rig.events.empty());
  const Chip8Machine halted = rig.m;
  EXPECT_EQ(rig.step(), StepStatus::halted());
  EXPECT_EQ(rig.m, halted);
}

TEST(Instruction, ScreenOpcodesReportTheirEvents) {
  using K = MachineEvent::Kind;
  struct Case {
    std::uint16_t opcode;
    MachineEvent event;
  };
  const Case cases[] = {
      {0x00E0, MachineEvent::simple(K::ClearScreen)},  {0x00C0, MachineEvent::scroll_down(0)},
      {0x00C7, MachineEvent::scroll_down(7)},          {0x00DF, MachineEvent::scroll_up(15)},
      {0x00FB, MachineEvent::simple(K::ScrollRight)},  {0x00FC, MachineEvent::simple(K::ScrollLeft)},
      {0x00FE, MachineEvent::simple(K::LoresEnabled)}, {0x00FF, MachineEvent::simple(K::HiresEnabled)},
  };
  for (const Case& c : cases) {
    for (const std::uint8_t mask : {0, 1, 3}) {  // with mask 0 the event is still reported
      MachineRig rig({c.opcode});
      rig.m.display.plane_mask = mask;
      EXPECT_EQ(rig.step(), StepStatus::ok());
      EXPECT_EQ(rig.events, (std::vector{c.event})) << std::format("{:04X}", c.opcode);
    }
  }
}

TEST(Instruction, DrawSetsVfFromCollisionAndReportsRawCoordinates) {
  MachineRig rig({0xD125, 0xD125});
  rig.m.V[1] = 200;
  rig.m.V[2] = 33;
  rig.m.V[0xF] = 7;
  rig.m.I = kSmallFontAddress;  // glyph 0
  rig.step();
  EXPECT_EQ(rig.m.V[0xF], 0);
  rig.step();
  EXPECT_EQ(rig.m.V[0xF], 1);
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::draw(200, 33, 5, false), MachineEvent::draw(200, 33, 5, true)}));
}

TEST(Instruction, DrawWithVfAsCoordinateReadsItBeforeWritingTheFlag) {
  MachineRig rig({0xDFF1});
  rig.m.V[0xF] = 3;
  rig.m.I = kSmallFontAddress;
  rig.step();
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::draw(3, 3, 1, false)}));
  EXPECT_EQ(rig.m.display.planes[0][6 * 128 + 6], 1);
}

TEST(Instruction, DrawWithBothPlanesReadsSixtyFourBytesPlaneZeroFirst) {
  MachineRig rig({0xD120});
  rig.m.display.plane_mask = 3;
  rig.m.I = 0x400;
  for (unsigned k = 0; k < 64; ++k) rig.m.memory[0x400 + k] = k < 32 ? 0x80 : 0x01;
  MemoryCapture capture;
  rig.step(&capture);
  ASSERT_EQ(capture.reads.size(), 1u);
  EXPECT_EQ(capture.reads[0].address, 0x400);
  EXPECT_EQ(capture.reads[0].bytes.size(), 64u);
  // Plane 0 got the left column of each 16-pixel row, plane 1 the rightmost.
  EXPECT_EQ(rig.m.display.planes[0][0], 1);
  EXPECT_EQ(rig.m.display.planes[1][0], 0);
  EXPECT_EQ(rig.m.display.planes[1][2 * 15], 1);
  EXPECT_EQ(rig.m.display.planes[0][2 * 15], 0);
}

TEST(Instruction, DrawWithNoPlaneRecordsNoReadAndClearsVf) {
  MachineRig rig({0xD125});
  rig.m.display.plane_mask = 0;
  rig.m.V[0xF] = 1;
  MemoryCapture capture;
  rig.step(&capture);
  EXPECT_TRUE(capture.reads.empty());
  EXPECT_EQ(rig.m.V[0xF], 0);
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::draw(0, 0, 5, false)}));
}

TEST(Instruction, CapturedWritesKeepTheBytesBeforeAndAfter) {
  MachineRig rig({0xF355});
  rig.m.I = 0x400;
  rig.m.V = {1, 2, 3, 4};
  for (unsigned k = 0; k < 4; ++k) rig.m.memory[0x400 + k] = static_cast<std::uint8_t>(0xE0 + k);
  MemoryCapture capture;
  rig.step(&capture);
  EXPECT_EQ(rig.events, (std::vector{MachineEvent::memory_write(0x400, 4)}));
  EXPECT_EQ(capture.writes, (std::vector{MemoryWrite{0x400, {0xE0, 0xE1, 0xE2, 0xE3}, {1, 2, 3, 4}}}));
  EXPECT_TRUE(capture.reads.empty());
}

TEST(Instruction, CapturedReadsCopyTheBytesOfLoads) {
  MachineRig rig({0xF165, 0x5013});
  rig.m.I = 0x400;
  rig.m.memory[0x400] = 9;
  rig.m.memory[0x401] = 8;
  MemoryCapture capture;
  rig.step(&capture);
  rig.m.I = 0x400;
  rig.step(&capture);
  EXPECT_EQ(capture.reads, (std::vector{MemoryRead{0x400, {9, 8}}, MemoryRead{0x400, {9, 8}}}));
}

}  // namespace
}  // namespace chip8
