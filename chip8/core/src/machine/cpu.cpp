#include "chip8_core/machine/cpu.hpp"

#include <algorithm>
#include <format>

namespace chip8 {

std::optional<QuirkFlags> find_quirk_preset(std::string_view name) {
  for (const QuirkPreset& preset : kQuirkPresets) {
    if (preset.name == name) return preset.flags;
  }
  return std::nullopt;
}

void Chip8Machine::set_keypad(const std::array<bool, kKeyCount>& keys) {
  std::uint16_t mask = 0;
  for (std::size_t k = 0; k < kKeyCount; ++k) {
    if (keys[k]) mask = static_cast<std::uint16_t>(mask | (1u << k));
  }
  keypad_mask = mask;
}

std::uint8_t Chip8Machine::next_random() {
  rng_state = xorshift64(rng_state);
  return static_cast<std::uint8_t>(rng_state);
}

std::uint64_t fnv1a_64(std::span<const std::uint8_t> bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const std::uint8_t byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::uint64_t effective_seed(std::span<const std::uint8_t> rom, std::uint64_t machine_seed) {
  return machine_seed ^ fnv1a_64(rom);
}

lumivar::Result<Chip8Machine> boot(std::span<const std::uint8_t> rom, const QuirkFlags& quirks,
                                   std::uint64_t effective_seed) {
  if (rom.empty()) return lumivar::fail("ROM is empty");
  if (rom.size() > kMaxRomSize) {
    return lumivar::fail(std::format("ROM too large: {} bytes (max {})", rom.size(), kMaxRomSize));
  }
  Chip8Machine machine;  // value-initialised: memory, registers, stack, planes, flags and pattern zero
  std::ranges::copy(kSmallFont, machine.memory.begin() + kSmallFontAddress);
  std::ranges::copy(kBigFont, machine.memory.begin() + kBigFontAddress);
  std::ranges::copy(rom, machine.memory.begin() + kProgramStart);
  machine.display = Chip8Display{};
  machine.I = 0;
  machine.PC = kProgramStart;
  machine.SP = 0;
  machine.delay = 0;
  machine.sound = 0;
  machine.keypad_mask = 0;
  machine.audio_pitch = kBootAudioPitch;
  machine.halted = false;
  machine.key_wait = KeyWait::none();
  // The generator cannot leave zero, so a zero seed starts it at 1.
  machine.rng_state = effective_seed == 0 ? 1 : effective_seed;
  machine.quirks = quirks;
  return machine;
}

}  // namespace chip8
