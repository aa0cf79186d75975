#pragma once
// The CHIP-8 machine state: everything a CHIP-8 / SCHIP / XO-CHIP program can
// observe or change, the five quirk presets, the seeded generator and boot.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "chip8_core/machine/display.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8 {

inline constexpr std::size_t kMemorySize = 0x10000;
inline constexpr std::uint16_t kProgramStart = 0x200;
inline constexpr std::size_t kMaxRomSize = kMemorySize - kProgramStart;  // 65,024
inline constexpr std::size_t kStackDepth = 16;
inline constexpr std::size_t kKeyCount = 16;
inline constexpr std::uint16_t kSmallFontAddress = 0x050;
inline constexpr std::uint16_t kBigFontAddress = 0x100;
inline constexpr std::uint8_t kBootAudioPitch = 64;

using Memory = std::array<std::uint8_t, kMemorySize>;

// Behaviour differences between the CHIP-8 family members. The machine always
// implements every opcode; a preset only chooses these flags.
struct QuirkFlags {
  bool shift_uses_vx = false;       // 8XY6 / 8XYE shift VX itself instead of VY
  bool load_store_keeps_i = false;  // FX55 / FX65 leave I unchanged instead of adding X + 1
  bool clip_sprites = true;         // sprite columns past the right edge are dropped, not wrapped
  bool logic_resets_vf = false;     // 8XY1 / 8XY2 / 8XY3 clear VF afterwards
  bool jump_uses_vx = false;        // BNNN adds VX (X = second nibble) instead of V0

  friend bool operator==(const QuirkFlags&, const QuirkFlags&) = default;
};

struct QuirkPreset {
  std::string_view name;
  QuirkFlags flags;
};

// The presets in their canonical order. "chip48" and "xochip" carry exactly the
// flags of "chip8"; they exist as names so configurations can say what they run.
inline constexpr std::array<QuirkPreset, 5> kQuirkPresets{{
    {"chip8", {.shift_uses_vx = false, .load_store_keeps_i = false, .clip_sprites = true, .logic_resets_vf = false, .jump_uses_vx = false}},
    {"chip48", {.shift_uses_vx = false, .load_store_keeps_i = false, .clip_sprites = true, .logic_resets_vf = false, .jump_uses_vx = false}},
    {"vip", {.shift_uses_vx = false, .load_store_keeps_i = false, .clip_sprites = true, .logic_resets_vf = true, .jump_uses_vx = false}},
    {"schip", {.shift_uses_vx = true, .load_store_keeps_i = true, .clip_sprites = true, .logic_resets_vf = false, .jump_uses_vx = true}},
    {"xochip", {.shift_uses_vx = false, .load_store_keeps_i = false, .clip_sprites = true, .logic_resets_vf = false, .jump_uses_vx = false}},
}};

inline constexpr std::string_view kDefaultQuirkPreset = "chip8";

// The flags of the preset with exactly this (case-sensitive) name.
std::optional<QuirkFlags> find_quirk_preset(std::string_view name);

// The FX0A wait: none, waiting for any key to go down, or waiting for the latched
// key to go up again before it is stored in VX.
struct KeyWait {
  enum class Phase : std::uint8_t { None = 0, WaitPress = 1, WaitRelease = 2 };

  Phase phase = Phase::None;
  std::uint8_t x = 0;    // register that receives the key (WaitPress, WaitRelease)
  std::uint8_t key = 0;  // latched key (WaitRelease only)

  static constexpr KeyWait none() { return {}; }
  static constexpr KeyWait wait_press(std::uint8_t x) { return {Phase::WaitPress, x, 0}; }
  static constexpr KeyWait wait_release(std::uint8_t x, std::uint8_t key) { return {Phase::WaitRelease, x, key}; }

  friend bool operator==(const KeyWait&, const KeyWait&) = default;
};

// Field order follows the state image, so the codec reads like this struct.
struct Chip8Machine {
  Memory memory{};                               // 64 KiB byte-addressed; the program starts at 0x200
  std::array<std::uint8_t, 16> V{};              // V0-VF; VF doubles as carry, borrow and collision flag
  std::uint16_t I = 0;                           // index register; any 16-bit value is legal
  std::uint16_t PC = kProgramStart;              // next instruction to fetch; wraps at 64 KiB
  std::array<std::uint16_t, kStackDepth> stack{};  // return addresses; entry k is valid for k < SP
  std::uint8_t SP = 0;                           // occupied stack entries, 0-16
  std::uint8_t delay = 0;                        // delay timer, decremented once per frame
  std::uint8_t sound = 0;                        // sound timer, decremented once per frame
  Chip8Display display;                          // both planes, hires and plane_mask
  std::uint16_t keypad_mask = 0;                 // bit k set while key k is held down
  std::uint64_t rng_state = 1;                   // xorshift generator state; never zero
  std::array<std::uint8_t, 16> flags{};          // persistent user flags of FX75 / FX85
  std::array<std::uint8_t, 16> pattern{};        // XO-CHIP audio pattern loaded by F002
  std::uint8_t audio_pitch = kBootAudioPitch;    // XO-CHIP pitch register set by FX3A
  bool halted = false;                           // set by 00FD; nothing runs afterwards
  KeyWait key_wait;                              // FX0A wait state
  QuirkFlags quirks;                             // fixed at boot; not part of the state image

  bool key_down(std::size_t key) const { return key < kKeyCount && ((keypad_mask >> key) & 1) != 0; }

  // Replaces all 16 key states; the host calls it between steps.
  void set_keypad(const std::array<bool, kKeyCount>& keys);
  void set_keypad_mask(std::uint16_t mask) { keypad_mask = mask; }

  // Advances the generator one step and returns the low byte of the new state (CXNN).
  std::uint8_t next_random();

  friend bool operator==(const Chip8Machine&, const Chip8Machine&) = default;
};

// 64-bit FNV-1a over the bytes in order.
std::uint64_t fnv1a_64(std::span<const std::uint8_t> bytes);

// machine_seed XOR the ROM's FNV-1a hash, so two ROMs run with one configured seed
// draw different numbers.
std::uint64_t effective_seed(std::span<const std::uint8_t> rom, std::uint64_t machine_seed);

// One xorshift step (13, 7, 17); a non-zero state never becomes zero.
constexpr std::uint64_t xorshift64(std::uint64_t x) {
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  return x;
}

inline constexpr std::array<std::uint8_t, 80> kSmallFont{
    0xF0, 0x90, 0x90, 0x90, 0xF0, 0x20, 0x60, 0x20, 0x20, 0x70, 0xF0, 0x10, 0xF0, 0x80, 0xF0, 0xF0,
    0x10, 0xF0, 0x10, 0xF0, 0x90, 0x90, 0xF0, 0x10, 0x10, 0xF0, 0x80, 0xF0, 0x10, 0xF0, 0xF0, 0x80,
    0xF0, 0x90, 0xF0, 0xF0, 0x10, 0x20, 0x40, 0x40, 0xF0, 0x90, 0xF0, 0x90, 0xF0, 0xF0, 0x90, 0xF0,
    0x10, 0xF0, 0xF0, 0x90, 0xF0, 0x90, 0x90, 0xE0, 0x90, 0xE0, 0x90, 0xE0, 0xF0, 0x80, 0x80, 0x80,
    0xF0, 0xE0, 0x90, 0x90, 0x90, 0xE0, 0xF0, 0x80, 0xF0, 0x80, 0xF0, 0xF0, 0x80, 0xF0, 0x80, 0x80,
};

inline constexpr std::array<std::uint8_t, 100> kBigFont{
    0x3C, 0x7E, 0xE7, 0xC3, 0xC3, 0xC3, 0xC3, 0xE7, 0x7E, 0x3C,  // 0
    0x18, 0x38, 0x58, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x3C,  // 1
    0x3E, 0x7F, 0xC3, 0x06, 0x0C, 0x18, 0x30, 0x60, 0xFF, 0xFF,  // 2
    0x3C, 0x7E, 0xC3, 0x03, 0x0E, 0x0E, 0x03, 0xC3, 0x7E, 0x3C,  // 3
    0x06, 0x0E, 0x1E, 0x36, 0x66, 0xC6, 0xFF, 0xFF, 0x06, 0x06,  // 4
    0xFF, 0xFF, 0xC0, 0xC0, 0xFC, 0xFE, 0x03, 0xC3, 0x7E, 0x3C,  // 5
    0x3E, 0x7C, 0xC0, 0xC0, 0xFC, 0xFE, 0xC3, 0xC3, 0x7E, 0x3C,  // 6
    0xFF, 0xFF, 0x03, 0x06, 0x0C, 0x18, 0x30, 0x60, 0x60, 0x60,  // 7
    0x3C, 0x7E, 0xC3, 0xC3, 0x7E, 0x7E, 0xC3, 0xC3, 0x7E, 0x3C,  // 8
    0x3C, 0x7E, 0xC3, 0xC3, 0x7F, 0x3F, 0x03, 0x03, 0x3E, 0x7C,  // 9
};

// Loads the ROM at 0x200 with both fonts in place and every other field at its
// power-on value. Fails for an empty ROM or one longer than 65,024 bytes.
[[nodiscard]] lumivar::Result<Chip8Machine> boot(std::span<const std::uint8_t> rom, const QuirkFlags& quirks,
                                                 std::uint64_t effective_seed);

}  // namespace chip8
