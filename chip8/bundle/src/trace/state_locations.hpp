#pragma once
// The CHIP-8 state as trace events name it: one location per register, stack
// entry, timer, display flag, memory byte and extension field, the JSON form of
// the key-wait state, and the reads and writes built from them under an access
// detail level.

#include <cstdint>
#include <string>
#include <string_view>

#include "chip8_core/machine/cpu.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kProgramAddressSpace = "program";
inline constexpr std::string_view kMemoryAddressSpace = "memory";
inline constexpr std::string_view kFlagsSpace = "chip8.flags";
inline constexpr std::string_view kExecutionSpace = "chip8.execution";
inline constexpr std::string_view kKeyWaitSpace = "chip8.key_wait";
inline constexpr std::string_view kAudioSpace = "chip8.audio";

[[nodiscard]] lumivar::SpaceAddress program_address(std::uint16_t pc);

[[nodiscard]] lumivar::StateLocation register_location(std::size_t index);  // "V0" ... "VF"
[[nodiscard]] lumivar::StateLocation index_location();                      // "I"
[[nodiscard]] lumivar::StateLocation stack_pointer_location();              // "SP"
[[nodiscard]] lumivar::StateLocation stack_entry_location(std::size_t index);  // "stack[0]" ... "stack[15]"
[[nodiscard]] lumivar::StateLocation memory_location(std::uint16_t address);
[[nodiscard]] lumivar::StateLocation delay_location();
[[nodiscard]] lumivar::StateLocation sound_location();
[[nodiscard]] lumivar::StateLocation hires_location();
[[nodiscard]] lumivar::StateLocation plane_mask_location();
[[nodiscard]] lumivar::StateLocation keypad_location();
[[nodiscard]] lumivar::StateLocation rng_location();
[[nodiscard]] lumivar::StateLocation flag_location(std::size_t index);  // "F0" ... "FF"
[[nodiscard]] lumivar::StateLocation halted_location();
[[nodiscard]] lumivar::StateLocation key_wait_location();
[[nodiscard]] lumivar::StateLocation pattern_location();
[[nodiscard]] lumivar::StateLocation audio_pitch_location();

// {"phase": "none"}, {"phase": "wait_press", "register": x} or
// {"phase": "wait_release", "key": k, "register": x}.
[[nodiscard]] lumivar::JsonValue key_wait_json(const KeyWait& wait);

// Whether two key-wait states differ in what their JSON forms show.
[[nodiscard]] bool key_wait_differs(const KeyWait& before, const KeyWait& after);

// A read carries its value unless the level is "none".
[[nodiscard]] lumivar::StateRead read_of(lumivar::StateLocation location, lumivar::AccessDetail detail,
                                         lumivar::JsonValue value);

// A write carries its after value unless the level is "none", and its before
// value as well at "before_and_after".
[[nodiscard]] lumivar::StateWrite write_of(lumivar::StateLocation location, lumivar::AccessDetail detail,
                                           lumivar::JsonValue before, lumivar::JsonValue after);

// The order of locations in a read list: space (in tag order, extension spaces
// by their text), then name (absent first, bytewise), then address (space text,
// then value, absent first), then width (absent first).
[[nodiscard]] bool location_less(const lumivar::StateLocation& a, const lumivar::StateLocation& b);

}  // namespace chip8::bundle
