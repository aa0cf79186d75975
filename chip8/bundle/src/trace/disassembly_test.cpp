#include "chip8_bundle/trace/disassembly.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <format>
#include <set>
#include <string>
#include <vector>

#include "chip8_core/machine/cpu.hpp"
#include "chip8_core/machine/instruction.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {
namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (const std::uint8_t b : bytes) out += std::format("{:02X} ", b);
  return out;
}

std::vector<std::uint8_t> bytes_of(const DecodedInstruction& decoded) {
  return {decoded.bytes().begin(), decoded.bytes().end()};
}

struct TextCase {
  std::uint16_t opcode;
  std::string_view text;
};

// One row or more for every template, with values that expose a wrong nibble,
// a missing pad or lower-case digits.
constexpr TextCase kTextCases[] = {
    {0x00C0, "SCD 0x0"},         {0x00CF, "SCD 0xF"},          {0x00D5, "SCU 0x5"},
    {0x00E0, "CLS"},             {0x00EE, "RET"},              {0x00FB, "SCR"},
    {0x00FC, "SCL"},             {0x00FD, "EXIT"},             {0x00FE, "LORES"},
    {0x00FF, "HIRES"},           {0x0000, "SYS 0x000"},        {0x00E5, "SYS 0x0E5"},
    {0x00BF, "SYS 0x0BF"},       {0x00EF, "SYS 0x0EF"},        {0x00FA, "SYS 0x0FA"},
    {0x0ABC, "SYS 0xABC"},       {0x1234, "JP 0x234"},         {0x1FFF, "JP 0xFFF"},
    {0x2005, "CALL 0x005"},      {0x3A0F, "SE VA, 0x0F"},      {0x4BC0, "SNE VB, 0xC0"},
    {0x5AB0, "SE VA, VB"},       {0x5F32, "SAVE VF..V3"},      {0x5123, "LOAD V1..V2"},
    {0x6E07, "LD VE, 0x07"},     {0x7FFF, "ADD VF, 0xFF"},     {0x8120, "LD V1, V2"},
    {0x8341, "OR V3, V4"},       {0x8562, "AND V5, V6"},       {0x8783, "XOR V7, V8"},
    {0x89A4, "ADD V9, VA"},      {0x8BC5, "SUB VB, VC"},       {0x8AB6, "SHR VA, VB"},
    {0x8DE7, "SUBN VD, VE"},     {0x8F0E, "SHL VF, V0"},       {0x9CD0, "SNE VC, VD"},
    {0xA00A, "LD I, 0x00A"},     {0xB123, "JP V0/V1, 0x123"},  {0xBF00, "JP V0/VF, 0xF00"},
    {0xC70F, "RND V7, 0x0F"},    {0xD01F, "DRW V0, V1, 0xF"},  {0xD010, "DRW V0, V1, 0x0"},
    {0xE49E, "SKP V4"},          {0xEBA1, "SKNP VB"},          {0xF002, "AUDIO"},
    {0xF301, "PLANE 0x3"},       {0xF001, "PLANE 0x0"},        {0xFF01, "PLANE 0xF"},
    {0xF207, "LD V2, DT"},       {0xFA0A, "LD VA, K"},         {0xF315, "LD DT, V3"},
    {0xF418, "LD ST, V4"},       {0xF51E, "ADD I, V5"},        {0xF629, "LD F, V6"},
    {0xF730, "LD HF, V7"},       {0xF833, "BCD V8"},           {0xF93A, "PITCH V9"},
    {0xFB55, "LD [I], VB"},      {0xFC65, "LD VC, [I]"},       {0xFD75, "SAVEFLAGS VD"},
    {0xFE85, "LOADFLAGS VE"},    {0xF102, "UNKNOWN 0xF102"},   {0xF100, "UNKNOWN 0xF100"},
    {0x5AB1, "UNKNOWN 0x5AB1"},  {0x800F, "UNKNOWN 0x800F"},   {0x9AB4, "UNKNOWN 0x9AB4"},
    {0xE0A2, "UNKNOWN 0xE0A2"},  {0xF0FF, "UNKNOWN 0xF0FF"},
};

TEST(Disassembly, EveryTemplatePrintsItsFields) {
  for (const TextCase& c : kTextCases) {
    SCOPED_TRACE(std::format("opcode {:04X}", c.opcode));
    const DecodedInstruction decoded = disassemble_word(c.opcode);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.format, "chip8.word16.be");
    EXPECT_EQ(bytes_of(decoded), (std::vector<std::uint8_t>{static_cast<std::uint8_t>(c.opcode >> 8),
                                                            static_cast<std::uint8_t>(c.opcode)}))
        << hex(decoded.bytes());
  }
}

TEST(Disassembly, FetchedTwoByteWordIgnoresReadsAndI) {
  const std::vector<MemoryRead> reads{{.address = 0x400, .bytes = {1, 2, 3}}};
  const DecodedInstruction decoded =
      disassemble(FetchedInstruction{.pc = 0x200, .opcode = 0xD125, .reads = reads, .i_after = 0x400});
  EXPECT_EQ(decoded, disassemble_word(0xD125));
  EXPECT_EQ(decoded.text, "DRW V1, V2, 0x5");
}

TEST(Disassembly, WordF000NeedsItsImmediate) {
  try {
    (void)disassemble_word(0xF000);
    FAIL() << "no fatal error";
  } catch (const lumivar::FatalError& error) {
    EXPECT_STREQ(error.what(), "F000 NNNN disassembled without its immediate word");
  }
}

struct LongLoadCase {
  std::string_view name;
  std::uint16_t pc;
  std::vector<MemoryRead> reads;
  std::uint16_t i_after;
  std::vector<std::uint8_t> bytes;
  std::string_view text;
};

TEST(Disassembly, LongLoadTakesTheImmediateFromTheReadsElseFromI) {
  const LongLoadCase cases[] = {
      {"one two-byte read", 0x200, {{.address = 0x202, .bytes = {0x12, 0x34}}}, 0x1234,
       {0xF0, 0x00, 0x12, 0x34}, "LD I, 0x1234"},
      {"reads win over I", 0x200, {{.address = 0x202, .bytes = {0xAB, 0xCD}}}, 0x1234,
       {0xF0, 0x00, 0xAB, 0xCD}, "LD I, 0xABCD"},
      {"inside a longer read", 0x200, {{.address = 0x201, .bytes = {0x00, 0x0A, 0x0B, 0x0C}}}, 0,
       {0xF0, 0x00, 0x0A, 0x0B}, "LD I, 0x0A0B"},
      {"two one-byte reads across the end of memory", 0xFFFD,
       {{.address = 0xFFFF, .bytes = {0xBE}}, {.address = 0x0000, .bytes = {0xEF}}}, 0,
       {0xF0, 0x00, 0xBE, 0xEF}, "LD I, 0xBEEF"},
      {"no reads: I after", 0x300, {}, 0x0F0E, {0xF0, 0x00, 0x0F, 0x0E}, "LD I, 0x0F0E"},
      {"unrelated reads: I after", 0x300, {{.address = 0x304, .bytes = {0x77, 0x77}}, {.address = 0x301, .bytes = {0x66}}},
       0xC001, {0xF0, 0x00, 0xC0, 0x01}, "LD I, 0xC001"},
      {"high byte read, low from I", 0x300, {{.address = 0x302, .bytes = {0x5A}}}, 0x1234,
       {0xF0, 0x00, 0x5A, 0x34}, "LD I, 0x5A34"},
      {"low byte read, high from I", 0x300, {{.address = 0x303, .bytes = {0x5A}}}, 0x1234,
       {0xF0, 0x00, 0x12, 0x5A}, "LD I, 0x125A"},
      {"at the end of memory with no reads", 0xFFFE, {}, 0x0000, {0xF0, 0x00, 0x00, 0x00}, "LD I, 0x0000"},
  };
  for (const LongLoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedInstruction decoded =
        disassemble(FetchedInstruction{.pc = c.pc, .opcode = 0xF000, .reads = c.reads, .i_after = c.i_after});
    EXPECT_EQ(decoded.format, "xochip.word32.be");
    EXPECT_EQ(bytes_of(decoded), c.bytes) << hex(decoded.bytes());
    EXPECT_EQ(decoded.text, c.text);
  }
}

// The reads the instruction set really reports for F000 NNNN, including the
// split read when the immediate straddles the end of memory.
TEST(Disassembly, LongLoadFromTheMachinesOwnCapture) {
  for (const std::uint16_t pc : {std::uint16_t{0x0200}, std::uint16_t{0xFFFD}, std::uint16_t{0xFFFE}}) {
    SCOPED_TRACE(std::format("pc {:04X}", pc));
    Chip8Machine m;
    m.memory[pc] = 0xF0;
    m.memory[static_cast<std::uint16_t>(pc + 1)] = 0x00;
    m.memory[static_cast<std::uint16_t>(pc + 2)] = 0x9C;
    m.memory[static_cast<std::uint16_t>(pc + 3)] = 0x3D;
    m.PC = pc;
    std::vector<MachineEvent> events;
    MemoryCapture capture;
    ASSERT_EQ(step(m, events, &capture), StepStatus::ok());
    const DecodedInstruction decoded =
        disassemble(FetchedInstruction{.pc = pc, .opcode = 0xF000, .reads = capture.reads, .i_after = m.I});
    EXPECT_EQ(decoded.text, "LD I, 0x9C3D");
    EXPECT_EQ(bytes_of(decoded), (std::vector<std::uint8_t>{0xF0, 0x00, 0x9C, 0x3D})) << hex(decoded.bytes());
  }
}

// Runs every word but F000 through the machine's own decoder and checks that the
// text calls a word UNKNOWN exactly when the decoder rejects it and SYS exactly
// when it is a 0NNN word that changes nothing.
TEST(Disassembly, EveryWordMatchesTheDecoder) {
  Chip8Machine pristine;
  pristine.I = 0x400;
  pristine.SP = 1;
  pristine.stack[0] = 0x250;
  pristine.display.plane_mask = 1;
  Chip8Machine expected_no_op = pristine;
  expected_no_op.PC = 0x302;

  Chip8Machine work = pristine;
  std::vector<MachineEvent> events;
  std::set<std::string> texts;
  for (std::uint32_t word = 0; word <= 0xFFFF; ++word) {
    const auto opcode = static_cast<std::uint16_t>(word);
    if (opcode == kLongLoadOpcode) continue;
    SCOPED_TRACE(std::format("opcode {:04X}", opcode));

    const bool zero_page = opcode < 0x1000;
    if (zero_page) {
      work = pristine;
    } else {
      work.V = pristine.V;
      work.I = pristine.I;
      work.SP = pristine.SP;
      work.halted = false;
      work.key_wait = KeyWait::none();
      work.display.plane_mask = pristine.display.plane_mask;
    }
    work.PC = 0x302;  // just past a fetch at 0x300
    events.clear();
    const StepStatus status = execute(work, opcode, events, nullptr);

    const DecodedInstruction decoded = disassemble_word(opcode);
    ASSERT_EQ(decoded.format, kWord16Format);
    ASSERT_EQ(bytes_of(decoded), (std::vector<std::uint8_t>{static_cast<std::uint8_t>(opcode >> 8),
                                                            static_cast<std::uint8_t>(opcode)}));
    ASSERT_FALSE(decoded.text.empty());

    const bool rejected = status.kind == StepStatus::Kind::InvalidOpcode;
    ASSERT_EQ(decoded.text.starts_with("UNKNOWN "), rejected) << decoded.text;
    if (rejected) {
      ASSERT_EQ(decoded.text, std::format("UNKNOWN 0x{:04X}", opcode));
    }

    const bool no_op = zero_page && status == StepStatus::ok() && events.empty() && work == expected_no_op;
    ASSERT_EQ(decoded.text.starts_with("SYS "), no_op) << decoded.text;
    if (no_op) {
      ASSERT_EQ(decoded.text, std::format("SYS 0x{:03X}", opcode));
    }

    // Every field of the word appears in its text, so no two words share one.
    ASSERT_TRUE(texts.insert(decoded.text).second) << decoded.text;
    ASSERT_EQ(disassemble_word(opcode), decoded);
  }
  EXPECT_EQ(texts.size(), 0xFFFFu);
}

}  // namespace
}  // namespace chip8::bundle
