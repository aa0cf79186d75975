#pragma once
// A booted machine with its event list, for tests that drive single steps.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "chip8_core/machine/cpu.hpp"
#include "chip8_core/machine/instruction.hpp"
#include "chip8_core/testing/rom.hpp"

namespace chip8::testing {

inline QuirkFlags preset(std::string_view name) { return *find_quirk_preset(name); }

struct MachineRig {
  Chip8Machine m;
  std::vector<MachineEvent> events;

  explicit MachineRig(std::initializer_list<std::uint16_t> program, QuirkFlags quirks = preset("chip8"),
                      std::uint64_t seed = 1)
      : m(*boot(rom(program), quirks, seed)) {}

  StepStatus step(MemoryCapture* capture = nullptr) { return chip8::step(m, events, capture); }

  // Places words at an address, for programs that start elsewhere than 0x200.
  void poke_words(std::uint16_t address, std::initializer_list<std::uint16_t> words) {
    for (const std::uint16_t word : words) {
      m.memory[address] = static_cast<std::uint8_t>(word >> 8);
      m.memory[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(word);
      address = static_cast<std::uint16_t>(address + 2);
    }
  }
};

}  // namespace chip8::testing
