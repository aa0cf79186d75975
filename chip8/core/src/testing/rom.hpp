#pragma once
// Hand-assembled test programs: a ROM written as 16-bit instruction words.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace chip8::testing {

inline std::vector<std::uint8_t> rom(std::initializer_list<std::uint16_t> words) {
  std::vector<std::uint8_t> bytes;
  for (const std::uint16_t word : words) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word));
  }
  return bytes;
}

}  // namespace chip8::testing
