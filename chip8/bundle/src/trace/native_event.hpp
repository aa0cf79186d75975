#pragma once
// Native trace events: what one machine event of an observed step says in the
// machine's own vocabulary (schema "chip8.event" 1.0.0, a kind name and a small
// JSON object as payload), and the native record that carries the common
// fields the normalized event inherits from its step.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chip8_core/event/machine_event.hpp"
#include "chip8_core/event/observed_step.hpp"
#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kNativeEventSchemaId = "chip8.event";
inline constexpr lumivar::SchemaVersion kNativeEventSchemaVersion{1, 0, 0};

// The same record the emission stream carries as native evidence; the payload
// of every event the trace builds is an object.
using NativeEvent = lumivar::NativeEvent;

// The step a native event belongs to, as the normalized event will report it.
struct NativeRecord {
  std::string machine_id;
  std::string machine_version;
  std::string run_id;
  std::uint64_t step = 0;
  std::optional<std::uint64_t> cycle_or_tick;
  std::optional<std::uint64_t> frame;
  std::optional<lumivar::SpaceAddress> pc;
  std::optional<lumivar::EncodedValue> instruction;
};

// The native event of one machine event of `step`. A memory_write carries the
// bytes before and after when the step's writes hold an entry at its address.
[[nodiscard]] NativeEvent native_event(const ObservedStep& step, const MachineEvent& event);

}  // namespace chip8::bundle
