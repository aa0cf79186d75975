#pragma once
// EventKind: what a normalized event reports. Twenty-two fixed kinds plus an
// extension kind that carries the producer's own text. The tag order is the
// variant order used by every encoding and by the ordering of kind sets, so it
// must never change.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

enum class EventKindTag : std::uint8_t {
  RunStarted = 0,
  StepStarted = 1,
  InstructionDecoded = 2,
  RegisterRead = 3,
  RegisterWrite = 4,
  MemoryRead = 5,
  MemoryWrite = 6,
  StackChanged = 7,
  BranchTaken = 8,
  Call = 9,
  Return = 10,
  Interrupt = 11,
  Trap = 12,
  DisplayWrite = 13,
  InputApplied = 14,
  InputSampled = 15,
  SoundEmitted = 16,
  TimerChanged = 17,
  FrameCompleted = 18,
  SnapshotCaptured = 19,
  RunHalted = 20,
  RunCrashed = 21,
  Extension = 22,
};

inline constexpr std::size_t kEventKindTagCount = 23;

struct EventKind {
  EventKindTag tag = EventKindTag::RunStarted;
  // The producer's text of an extension kind; empty for the fixed kinds.
  std::string extension;

  EventKind() = default;
  // A fixed kind (implicit so `kind = EventKindTag::Call` reads naturally).
  EventKind(EventKindTag fixed) : tag(fixed) {}
  [[nodiscard]] static EventKind extension_kind(std::string text) {
    EventKind kind(EventKindTag::Extension);
    kind.extension = std::move(text);
    return kind;
  }

  [[nodiscard]] bool is_extension() const { return tag == EventKindTag::Extension; }

  // Tag order first, extensions by their text: the order kind sets are written in.
  friend bool operator==(const EventKind&, const EventKind&) = default;
  friend std::strong_ordering operator<=>(const EventKind&, const EventKind&) = default;
};

// The JSON spelling of a fixed kind ("run_started", ...); "extension" for the
// extension tag.
[[nodiscard]] std::string_view event_kind_spelling(EventKindTag tag);

// The fixed kind with this JSON spelling. "extension" is not a fixed kind.
[[nodiscard]] std::optional<EventKindTag> fixed_event_kind_from_spelling(std::string_view spelling);

// A fixed kind as its bare string, an extension kind as {"extension": text}.
[[nodiscard]] JsonValue to_json(const EventKind& kind);

// Reads the JSON form above.
[[nodiscard]] Result<EventKind> read_event_kind(JsonReader& reader);

// The one-line text form used where kinds are named by plain text (capability
// prerequisites): a fixed kind by its spelling, an extension kind as
// "extension:" followed by its text.
[[nodiscard]] std::string event_kind_text(const EventKind& kind);
[[nodiscard]] std::optional<EventKind> parse_event_kind_text(std::string_view text);

}  // namespace lumivar
