#pragma once
// Which normalized event kinds an observation asks for: one of the nested
// named levels, or an explicit set of kinds.

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string_view>
#include <utility>

#include "lumivar_core/event/event_kind.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

// The named selections; Kinds marks an explicit kind set.
enum class EventSelectionLevel : std::uint8_t {
  None = 0,
  Lifecycle = 1,
  Effects = 2,
  Instructions = 3,
  All = 4,
  Kinds = 5,
};

// Held as a set: duplicates collapse and iteration is in EventKind order.
using EventKindSet = std::set<EventKind>;

struct EventSelection {
  EventSelectionLevel level = EventSelectionLevel::None;
  // The selected kinds when level is Kinds; always empty otherwise.
  EventKindSet kinds;

  EventSelection() = default;
  // A named level. Kinds is not a named level: use of_kinds.
  EventSelection(EventSelectionLevel named) : level(named) {}
  [[nodiscard]] static EventSelection of_kinds(EventKindSet kinds) {
    EventSelection selection;
    selection.level = EventSelectionLevel::Kinds;
    selection.kinds = std::move(kinds);
    return selection;
  }
  [[nodiscard]] static EventSelection of_kinds(std::initializer_list<EventKind> kinds) {
    return of_kinds(EventKindSet(kinds));
  }

  [[nodiscard]] bool is_none() const { return level == EventSelectionLevel::None; }

  friend bool operator==(const EventSelection&, const EventSelection&) = default;
};

// Membership: "none" selects nothing and "all" everything; "lifecycle" the
// run_started, run_halted and run_crashed kinds; "effects" every kind except
// step_started, instruction_decoded, register_read and memory_read;
// "instructions" every kind except register_read and memory_read (extension
// kinds included in both); a kind set exactly its members.
[[nodiscard]] bool selects(const EventSelection& selection, const EventKind& kind);

// "none", "lifecycle", "effects", "instructions" or "all" for a named level.
[[nodiscard]] std::string_view event_selection_level_spelling(EventSelectionLevel level);

// A named level as its string, a kind set as {"kinds": [...]} in EventKind order.
[[nodiscard]] JsonValue to_json(const EventSelection& selection);

}  // namespace lumivar
