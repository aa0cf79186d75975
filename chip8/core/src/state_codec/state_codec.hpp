#pragma once
// The fixed-size binary image of a machine's persistent state.
//
// Layout, all integers little-endian: the 14-byte header "LUMVCSNP", codec
// version 1 (2 bytes) and payload length 82,024 (4 bytes), then the payload
// fields in the order of MachineStateImage. The whole string is 82,038 bytes.
// Decoding refuses every string the encoder would never write.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "chip8_core/machine/cpu.hpp"
#include "chip8_core/machine/display.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8 {

inline constexpr std::string_view kStateMagic = "LUMVCSNP";
inline constexpr std::uint16_t kStateCodecVersion = 1;
inline constexpr std::size_t kStateHeaderBytes = 14;
inline constexpr std::size_t kStatePayloadBytes = 82'024;
inline constexpr std::size_t kStateImageBytes = kStateHeaderBytes + kStatePayloadBytes;  // 82,038

// The persistent machine state, field by field in image order. Quirk flags,
// emulator counters, statistics and observation state are not part of it.
struct MachineStateImage {
  Memory memory{};                                   // 65,536 bytes from address 0
  std::array<std::uint8_t, 16> V{};                  // V0-VF
  std::uint16_t I = 0;                               // index register
  std::uint16_t PC = 0;                              // next instruction
  std::array<std::uint16_t, kStackDepth> stack{};    // all 16 entries, also those at or above SP
  std::uint8_t SP = 0;                               // 0-16
  std::uint8_t delay = 0;                            // delay timer
  std::uint8_t sound = 0;                            // sound timer
  std::array<DisplayPlane, kPlaneCount> planes{};    // plane 0, plane 1; pixel bytes taken as they are
  bool hires = false;                                // display resolution
  std::uint8_t plane_mask = 0;                       // 0-3
  std::uint16_t keypad_mask = 0;                     // bit k = key k down
  std::uint64_t rng_state = 1;                       // non-zero in every decoded image
  std::array<std::uint8_t, 16> flags{};              // FX75 / FX85 flags
  std::array<std::uint8_t, 16> pattern{};            // XO-CHIP audio pattern
  std::uint8_t audio_pitch = 0;                      // XO-CHIP pitch
  bool halted = false;                               // 00FD ran
  KeyWait key_wait;                                  // tag, register and key

  friend bool operator==(const MachineStateImage&, const MachineStateImage&) = default;
};

// The 82,038-byte image. Never fails; the key-wait bytes are written in their
// canonical form (register and key 0 where the phase does not use them).
std::vector<std::uint8_t> encode_state(const MachineStateImage& image);

// Parses an image, stopping at the first problem with a message naming it.
[[nodiscard]] lumivar::Result<MachineStateImage> decode_state(std::span<const std::uint8_t> bytes);

// Moves state between a machine and its image. Restoring keeps the machine's quirk
// flags and reads a zero generator state as 1.
MachineStateImage capture_machine_state(const Chip8Machine& machine);
void restore_machine_state(Chip8Machine& machine, const MachineStateImage& image);

}  // namespace chip8
