#include "chip8_core/machine/cpu.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace chip8 {
namespace {

bool all_zero(const Memory& memory, std::size_t from, std::size_t to) {
  return std::all_of(memory.begin() + static_cast<std::ptrdiff_t>(from), memory.begin() + static_cast<std::ptrdiff_t>(to),
                     [](std::uint8_t b) { return b == 0; });
}

TEST(Boot, RefusesEmptyAndOversizedRoms) {
  struct Case {
    std::size_t size;
    const char* message;
  };
  const Case cases[] = {
      {0, "ROM is empty"},
      {65'025, "ROM too large: 65025 bytes (max 65024)"},
      {70'000, "ROM too large: 70000 bytes (max 65024)"},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> rom(c.size, 0xAA);
    const auto machine = boot(rom, QuirkFlags{}, 1);
    ASSERT_FALSE(machine.has_value()) << c.size;
    EXPECT_EQ(machine.error().message, c.message);
  }
}

TEST(Boot, LargestRomFillsMemoryToTheLastByte) {
  std::vector<std::uint8_t> rom(65'024);
  for (std::size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const auto machine = boot(rom, QuirkFlags{}, 1);
  ASSERT_TRUE(machine.has_value());
  EXPECT_TRUE(std::equal(rom.begin(), rom.end(), machine->memory.begin() + 0x200));
  EXPECT_EQ(machine->memory[0xFFFF], rom.back());
}

TEST(Boot, MemoryMapHoldsBothFontsAndTheProgram) {
  const std::vector<std::uint8_t> rom{0x12, 0x34, 0x56};
  const auto m = boot(rom, QuirkFlags{}, 1);
  ASSERT_TRUE(m.has_value());
  const Memory& mem = m->memory;
  EXPECT_TRUE(all_zero(mem, 0x000, 0x050));
  EXPECT_TRUE(std::equal(kSmallFont.begin(), kSmallFont.end(), mem.begin() + 0x50));
  EXPECT_TRUE(all_zero(mem, 0x0A0, 0x100));
  EXPECT_TRUE(std::equal(kBigFont.begin(), kBigFont.end(), mem.begin() + 0x100));
  EXPECT_TRUE(all_zero(mem, 0x164, 0x200));
  EXPECT_EQ(mem[0x200], 0x12);
  EXPECT_EQ(mem[0x202], 0x56);
  EXPECT_TRUE(all_zero(mem, 0x203, 0x10000));
  // Spot checks of the tables themselves: glyph B, glyph F, big 9.
  EXPECT_EQ(mem[0x50 + 5 * 0xB], 0xE0);
  EXPECT_EQ(mem[0x50 + 5 * 0xF + 4], 0x80);
  EXPECT_EQ(mem[0x100 + 10 * 9 + 9], 0x7C);
}

TEST(Boot, OtherFieldsStartAtTheirPowerOnValues) {
  QuirkFlags quirks = *find_quirk_preset("schip");
  const auto m = boot(std::vector<std::uint8_t>{0x00, 0xE0}, quirks, 0xDEADBEEF);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->PC, 0x200);
  EXPECT_EQ(m->I, 0);
  EXPECT_EQ(m->SP, 0);
  EXPECT_EQ(m->display.plane_mask, 1);
  EXPECT_FALSE(m->display.hires);
  EXPECT_EQ(m->audio_pitch, 64);
  EXPECT_EQ(m->rng_state, 0xDEADBEEFu);
  EXPECT_EQ(m->key_wait, KeyWait::none());
  EXPECT_EQ(m->keypad_mask, 0);
  EXPECT_FALSE(m->halted);
  EXPECT_EQ(m->quirks, quirks);
  EXPECT_TRUE(std::ranges::all_of(m->display.planes[0], [](auto b) { return b == 0; }));
}

TEST(EffectiveSeed, IsTheSeedXorTheRomHash) {
  const std::vector<std::uint8_t> rom{0x61, 0x62};
  EXPECT_EQ(fnv1a_64({}), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv1a_64(std::vector<std::uint8_t>{'a'}), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(effective_seed(rom, 0), fnv1a_64(rom));
  EXPECT_EQ(effective_seed(rom, 0x55), fnv1a_64(rom) ^ 0x55);
  // A seed equal to the hash gives 0; boot starts the generator at 1.
  const auto m = boot(rom, QuirkFlags{}, effective_seed(rom, fnv1a_64(rom)));
  EXPECT_EQ(m->rng_state, 1u);
}

TEST(Random, XorshiftSequenceFromOne) {
  Chip8Machine m;
  m.rng_state = 1;
  EXPECT_EQ(m.next_random(), 0x41);
  EXPECT_EQ(m.rng_state, 0x40822041ULL);
  EXPECT_EQ(m.next_random(), 0x41);
  EXPECT_EQ(m.rng_state, 0x100041060C011441ULL);
  EXPECT_EQ(m.next_random(), 0x29);
  EXPECT_EQ(m.rng_state, 0x9B1E842F6E862629ULL);
}

TEST(QuirkPresets, TableAndLookup) {
  ASSERT_EQ(kQuirkPresets.size(), 5u);
  const char* order[] = {"chip8", "chip48", "vip", "schip", "xochip"};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(kQuirkPresets[i].name, order[i]);
  const QuirkFlags chip8 = *find_quirk_preset("chip8");
  EXPECT_EQ(chip8, (QuirkFlags{false, false, true, false, false}));
  EXPECT_EQ(*find_quirk_preset("chip48"), chip8);
  EXPECT_EQ(*find_quirk_preset("xochip"), chip8);
  EXPECT_EQ(*find_quirk_preset("vip"), (QuirkFlags{false, false, true, true, false}));
  EXPECT_EQ(*find_quirk_preset("schip"), (QuirkFlags{true, true, true, false, true}));
  EXPECT_FALSE(find_quirk_preset("CHIP8").has_value());
  EXPECT_FALSE(find_quirk_preset("").has_value());
}

TEST(Keypad, SetKeypadReplacesAllSixteenKeys) {
  Chip8Machine m;
  m.keypad_mask = 0xFFFF;
  std::array<bool, 16> keys{};
  keys[0] = true;
  keys[0xF] = true;
  m.set_keypad(keys);
  EXPECT_EQ(m.keypad_mask, 0x8001);
  EXPECT_TRUE(m.key_down(0xF));
  EXPECT_FALSE(m.key_down(1));
  EXPECT_FALSE(m.key_down(16));
}

}  // namespace
}  // namespace chip8
