#pragma once
// The content of the normalized events the session builds itself (input
// applications, frame-end timer ticks, snapshots), added to an event that
// already carries the common fields. Values accompany locations by the
// observation's access detail: none at "none", read values and write
// after-values at "after_only", write before-values as well at
// "before_and_after".

#include <cstdint>
#include <string>

#include "chip8_bundle/contract/key_schedule.hpp"
#include "chip8_core/emulator/emulator.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/schedule/input_application.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/schema.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kInputAppliedExtension = "lumivar.input_applied";
inline constexpr lumivar::SchemaVersion kSessionSnapshotVersion{5, 0, 0};

// The record of a schedule entry applied at the start of `frame`: the key's
// input ID, schema "chip8.input.key" 1.0.0, the entry's ordinal as source and
// the boolean as payload.
[[nodiscard]] lumivar::InputApplication key_input_application(const ScheduledKeyInput& entry, std::string input_id,
                                                              std::uint64_t frame);

// input_applied: a read and a write of keypad_mask, the keypad_in I/O entry
// naming the input and the entry's ordinal, and the application record as
// the "lumivar.input_applied" extension.
void add_input_applied_content(lumivar::NormalizedEvent& event, lumivar::AccessDetail detail,
                               const lumivar::InputApplication& application, std::uint64_t ordinal,
                               std::uint16_t mask_before, std::uint16_t mask_after);

// sound_emitted for a tick whose sound timer ran: reads of the sound timer,
// the audio pattern and the pitch, and the sound_out I/O entry.
void add_sound_emitted_content(lumivar::NormalizedEvent& event, lumivar::AccessDetail detail, const TimerTick& tick,
                               const Chip8Machine& machine);

// timer_changed for a tick: writes of the timers that changed and the
// timer_out I/O entry with both timers before and after.
void add_timer_changed_content(lumivar::NormalizedEvent& event, lumivar::AccessDetail detail, const TimerTick& tick);

// The "lumivar.snapshot" extension of snapshot_captured: the state schema,
// the byte length and the SHA-256 digest of the snapshot bytes.
void add_snapshot_content(lumivar::NormalizedEvent& event, const lumivar::SchemaRef& state_schema,
                          lumivar::ByteView bytes);

}  // namespace chip8::bundle
