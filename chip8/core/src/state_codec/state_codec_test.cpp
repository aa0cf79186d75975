#include "chip8_core/state_codec/state_codec.hpp"

#include <gtest/gtest.h>

#include <format>
#include <string>
#include <vector>

#include "chip8_core/testing/rom.hpp"

namespace chip8 {
namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (const auto b : bytes) out += std::format("{:02x}", b);
  return out;
}

Chip8Machine booted() { return *boot(testing::rom({0x00E0, 0x1200}), *find_quirk_preset("chip8"), 0x1234); }

// Payload offsets of the fields, plus the header.
constexpr std::size_t at(std::size_t payload_offset) { return kStateHeaderBytes + payload_offset; }

TEST(StateEncode, FreshMachineHeaderAndSize) {
  const auto bytes = encode_state(capture_machine_state(booted()));
  ASSERT_EQ(bytes.size(), 82'038u);
  EXPECT_EQ(hex(std::span(bytes).first(14)), "4c554d5643534e5001006840" "0100");
  EXPECT_EQ(bytes[at(65'554)], 0x00);  // PC 0x0200 little-endian
  EXPECT_EQ(bytes[at(65'555)], 0x02);
  EXPECT_EQ(bytes[at(81'976)], 1);     // plane mask
  EXPECT_EQ(bytes[at(82'019)], 64);    // audio pitch
}

TEST(StateEncode, EveryFieldLandsAtItsOffset) {
  MachineStateImage image;
  image.memory[0] = 0x11;
  image.memory[0xFFFF] = 0x22;
  image.V[0] = 0x33;
  image.V[15] = 0x44;
  image.I = 0xA1B2;
  image.PC = 0xC3D4;
  image.stack[0] = 0x0102;
  image.stack[15] = 0x0304;
  image.SP = 16;
  image.delay = 0x55;
  image.sound = 0x66;
  image.planes[0][0] = 1;
  image.planes[0][kPlaneBytes - 1] = 7;  // plane bytes are kept as they are
  image.planes[1][0] = 1;
  image.planes[1][kPlaneBytes - 1] = 1;
  image.hires = true;
  image.plane_mask = 3;
  image.keypad_mask = 0x8421;
  image.rng_state = 0x0102030405060708ULL;
  image.flags[0] = 0x77;
  image.flags[15] = 0x78;
  image.pattern[0] = 0x99;
  image.pattern[15] = 0x9A;
  image.audio_pitch = 0xBB;
  image.halted = true;
  image.key_wait = KeyWait::wait_release(0xE, 0xF);
  const auto b = encode_state(image);
  ASSERT_EQ(b.size(), kStateImageBytes);
  struct Expect {
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const Expect expects[] = {
      {0, {0x11}},
      {65'535, {0x22}},
      {65'536, {0x33}},
      {65'551, {0x44}},
      {65'552, {0xB2, 0xA1}},
      {65'554, {0xD4, 0xC3}},
      {65'556, {0x02, 0x01}},
      {65'586, {0x04, 0x03}},
      {65'588, {16, 0x55, 0x66}},
      {65'591, {1}},
      {73'782, {7}},
      {73'783, {1}},
      {81'974, {1}},
      {81'975, {1, 3, 0x21, 0x84}},
      {81'979, {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
      {81'987, {0x77}},
      {82'002, {0x78}},
      {82'003, {0x99}},
      {82'018, {0x9A}},
      {82'019, {0xBB, 1, 2, 0xE, 0xF}},
  };
  for (const Expect& e : expects) {
    const auto got = std::span(b).subspan(at(e.offset), e.bytes.size());
    EXPECT_EQ(hex(got), hex(e.bytes)) << "payload offset " << e.offset;
  }
}

TEST(StateEncode, KeyWaitBytesAreWrittenCanonically) {
  MachineStateImage image;
  image.key_wait = KeyWait{KeyWait::Phase::None, 5, 6};
  auto b = encode_state(image);
  EXPECT_EQ(hex(std::span(b).subspan(at(82'021), 3)), "000000");
  image.key_wait = KeyWait{KeyWait::Phase::WaitPress, 5, 6};
  b = encode_state(image);
  EXPECT_EQ(hex(std::span(b).subspan(at(82'021), 3)), "010500");
}

TEST(StateDecode, AcceptedImagesRoundTripByteForByte) {
  Chip8Machine busy = booted();
  busy.V[3] = 9;
  busy.SP = 16;
  busy.display.planes[1][100] = 1;
  busy.display.hires = true;
  busy.display.plane_mask = 0;
  busy.keypad_mask = 0xFFFF;
  busy.halted = true;
  std::vector<MachineStateImage> images{capture_machine_state(booted()), capture_machine_state(busy)};
  for (const KeyWait wait : {KeyWait::wait_press(15), KeyWait::wait_release(0, 15), KeyWait::wait_release(15, 0)}) {
    MachineStateImage image = capture_machine_state(booted());
    image.key_wait = wait;
    image.planes[0][3] = 0xFF;
    images.push_back(image);
  }
  for (const MachineStateImage& image : images) {
    const auto bytes = encode_state(image);
    const auto decoded = decode_state(bytes);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(*decoded, image);
    EXPECT_EQ(encode_state(*decoded), bytes);
  }
}

struct Refusal {
  const char* name;
  void (*corrupt)(std::vector<std::uint8_t>&);
  const char* message;
};

void set_u16(std::vector<std::uint8_t>& b, std::size_t offset, std::uint16_t v) {
  b[offset] = static_cast<std::uint8_t>(v);
  b[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

TEST(StateDecode, RefusesEveryNonCanonicalStringWithItsMessage) {
  const Refusal refusals[] = {
      {"empty", [](auto& b) { b.clear(); }, "snapshot header truncated: got 0 bytes, need 14"},
      {"short_header", [](auto& b) { b.resize(13); }, "snapshot header truncated: got 13 bytes, need 14"},
      {"magic", [](auto& b) { b[7] = 'Q'; }, "snapshot magic does not match the CHIP-8 state codec"},
      {"version", [](auto& b) { set_u16(b, 8, 2); }, "unsupported CHIP-8 snapshot codec version 2; expected 1"},
      {"declared_length", [](auto& b) { b[10] = 0x69; }, "snapshot declares payload length 82025; expected 82024"},
      {"header_only", [](auto& b) { b.resize(14); }, "snapshot length mismatch: got 14, expected 82038"},
      {"one_byte_short", [](auto& b) { b.pop_back(); }, "snapshot length mismatch: got 82037, expected 82038"},
      {"one_byte_long", [](auto& b) { b.push_back(0); }, "snapshot length mismatch: got 82039, expected 82038"},
      {"stack_pointer", [](auto& b) { b[at(65'588)] = 17; }, "snapshot stack pointer 17 exceeds stack depth 16"},
      {"hires", [](auto& b) { b[at(81'975)] = 2; }, "snapshot display_hires boolean is non-canonical: 2"},
      {"plane_mask", [](auto& b) { b[at(81'976)] = 4; }, "snapshot display plane mask 4 exceeds 3"},
      {"rng_zero", [](auto& b) { std::fill_n(b.begin() + at(81'979), 8, 0); }, "snapshot RNG state must be non-zero"},
      {"halted", [](auto& b) { b[at(82'020)] = 255; }, "snapshot halted boolean is non-canonical: 255"},
      {"none_register", [](auto& b) { b[at(82'022)] = 1; }, "snapshot none key-wait state has non-zero payload"},
      {"none_key", [](auto& b) { b[at(82'023)] = 1; }, "snapshot none key-wait state has non-zero payload"},
      {"press_register",
       [](auto& b) { b[at(82'021)] = 1, b[at(82'022)] = 16; },
       "snapshot wait-press state has an invalid register or payload"},
      {"press_key",
       [](auto& b) { b[at(82'021)] = 1, b[at(82'022)] = 15, b[at(82'023)] = 3; },
       "snapshot wait-press state has an invalid register or payload"},
      {"release_register",
       [](auto& b) { b[at(82'021)] = 2, b[at(82'022)] = 16; },
       "snapshot wait-release state has an invalid register or key"},
      {"release_key",
       [](auto& b) { b[at(82'021)] = 2, b[at(82'023)] = 16; },
       "snapshot wait-release state has an invalid register or key"},
      {"tag", [](auto& b) { b[at(82'021)] = 3; }, "unknown KeyWait tag 3"},
      // Several problems at once: the first check in decoding order wins.
      {"magic_before_version", [](auto& b) { b[0] = 0, set_u16(b, 8, 9); }, "snapshot magic does not match the CHIP-8 state codec"},
      {"version_before_length", [](auto& b) { set_u16(b, 8, 0), b.push_back(0); }, "unsupported CHIP-8 snapshot codec version 0; expected 1"},
      {"length_before_payload", [](auto& b) { b[at(65'588)] = 99, b.push_back(0); }, "snapshot length mismatch: got 82039, expected 82038"},
      {"stack_before_hires", [](auto& b) { b[at(65'588)] = 99, b[at(81'975)] = 9; }, "snapshot stack pointer 99 exceeds stack depth 16"},
      {"mask_before_rng", [](auto& b) { b[at(81'976)] = 9, std::fill_n(b.begin() + at(81'979), 8, 0); }, "snapshot display plane mask 9 exceeds 3"},
      {"halted_before_key_wait", [](auto& b) { b[at(82'020)] = 2, b[at(82'021)] = 7; }, "snapshot halted boolean is non-canonical: 2"},
  };
  const auto good = encode_state(capture_machine_state(booted()));
  for (const Refusal& r : refusals) {
    std::vector<std::uint8_t> bytes = good;
    r.corrupt(bytes);
    const auto decoded = decode_state(bytes);
    ASSERT_FALSE(decoded.has_value()) << r.name;
    EXPECT_EQ(decoded.error().message, r.message) << r.name;
  }
}

TEST(StateDecode, StackPointerSixteenAndPlaneBytesOutsideZeroOneAreAccepted) {
  auto bytes = encode_state(capture_machine_state(booted()));
  bytes[at(65'588)] = 16;
  bytes[at(65'591)] = 0xEE;
  const auto decoded = decode_state(bytes);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->SP, 16);
  EXPECT_EQ(decoded->planes[0][0], 0xEE);
}

TEST(StateRestore, MovesEveryFieldAndKeepsTheQuirks) {
  Chip8Machine source = booted();
  source.V[1] = 5;
  source.I = 0x321;
  source.PC = 0x456;
  source.stack[2] = 0x222;
  source.SP = 3;
  source.delay = 4;
  source.sound = 5;
  source.display.planes[1][9] = 1;
  source.display.hires = true;
  source.display.plane_mask = 2;
  source.keypad_mask = 0x0F0F;
  source.rng_state = 99;
  source.flags[4] = 4;
  source.pattern[5] = 5;
  source.audio_pitch = 7;
  source.halted = true;
  source.key_wait = KeyWait::wait_release(3, 4);
  Chip8Machine target = *boot(testing::rom({0x0000}), *find_quirk_preset("schip"), 1);
  restore_machine_state(target, capture_machine_state(source));
  Chip8Machine expected = source;
  expected.quirks = *find_quirk_preset("schip");
  EXPECT_EQ(target, expected);
}

TEST(StateRestore, ZeroGeneratorStateIsReadAsOne) {
  MachineStateImage image = capture_machine_state(booted());
  image.rng_state = 0;
  Chip8Machine m = booted();
  restore_machine_state(m, image);
  EXPECT_EQ(m.rng_state, 1u);
}

TEST(StateRestore, ImageOutsideTheMachineInvariantsIsFatal) {
  MachineStateImage image = capture_machine_state(booted());
  image.SP = 17;
  Chip8Machine m = booted();
  EXPECT_THROW(restore_machine_state(m, image), lumivar::FatalError);
}

}  // namespace
}  // namespace chip8
