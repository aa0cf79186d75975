#pragma once
// The native-event adapter: the one translation from the trace's native events
// (schema "chip8.event" 1.0.0, a kind name and a small JSON payload) to the
// machine-neutral normalized event. It checks a native event strictly (machine
// ID, machine version, schema, then exactly the payload members its kind
// defines), maps it to exactly one normalized event and attaches the whole
// native payload under kNativeExtensionKey so nothing the trace said is lost.
//
// It runs for every machine event of a fully traced run, so the success path
// builds no text: messages are formatted only when a check fails.

#include <string_view>

#include "chip8_bundle/trace/native_event.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/event/normalized_event.hpp"

namespace chip8::bundle {

// The extension member that carries the native payload.
inline constexpr std::string_view kNativeExtensionKey = "chip8.native";

// The normalized event of one native event of `record`'s step, or the message
// of the first failing check. The sequence is left 0; it is assigned when the
// event is emitted.
[[nodiscard]] lumivar::Result<lumivar::NormalizedEvent> normalize_native_event(const NativeRecord& record,
                                                                              const NativeEvent& event);

// The same event without the kNativeExtensionKey extension, for callers that
// would remove it at once: the payload is then never converted.
[[nodiscard]] lumivar::Result<lumivar::NormalizedEvent> normalize_native_event_without_payload(
    const NativeRecord& record, const NativeEvent& event);

}  // namespace chip8::bundle
