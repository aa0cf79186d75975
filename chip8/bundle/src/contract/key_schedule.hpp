#pragma once
// The resolved input schedule read as CHIP-8 key changes, each applied at the
// start of one frame.

#include <cstdint>
#include <span>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/schedule/input_schedule.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace chip8::bundle {

struct ScheduledKeyInput {
  std::uint64_t ordinal = 0;  // of the schedule entry it came from
  std::uint64_t frame = 0;    // applied at the start of this frame (counted from 0)
  std::uint8_t key = 0;       // 0 to 15
  bool active = false;        // true = pressed, false = released

  friend bool operator==(const ScheduledKeyInput&, const ScheduledKeyInput&) = default;
};

// {"ordinal": n, "frame": n, "key": n, "active": bool}
[[nodiscard]] lumivar::JsonValue to_json(const ScheduledKeyInput& input);
// The same members read back, all required ("struct ScheduledKeyInput"); a key
// above 15 is refused.
[[nodiscard]] lumivar::Result<ScheduledKeyInput> read_scheduled_key_input(lumivar::JsonReader& reader);

// Entry by entry in schedule order: a frame coordinate below the frame limit,
// an input ID naming a key, a boolean payload. The order is kept.
[[nodiscard]] lumivar::Result<std::vector<ScheduledKeyInput>> resolve_key_schedule(
    std::span<const lumivar::ScheduledInput> entries, std::uint64_t frame_limit);

}  // namespace chip8::bundle
