#pragma once
// The sixteen CHIP-8 keypad keys as run-contract input IDs: "chip8.key.0" to
// "chip8.key.f".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace chip8::bundle {

inline constexpr std::string_view kKeyInputPrefix = "chip8.key.";
inline constexpr std::uint8_t kKeyInputCount = 16;

// The canonical input ID of key 0..15: the prefix and one lower-case hex digit.
// A key above 15 is a broken invariant.
[[nodiscard]] std::string format_key_input_id(std::uint8_t key);

// The key an input ID names, or nothing when it names none. Besides the sixteen
// canonical IDs this accepts the looser spellings a live input may use: upper-case
// digits, leading zeros and one leading "+" ("chip8.key.A", "chip8.key.0f",
// "chip8.key.+f" all name key 15). Schedules only ever reach it with canonical IDs,
// since the input catalog declares no others.
[[nodiscard]] std::optional<std::uint8_t> parse_key_input_id(std::string_view input_id);

}  // namespace chip8::bundle
