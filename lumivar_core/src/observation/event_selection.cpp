#include "lumivar_core/observation/event_selection.hpp"

namespace lumivar {
namespace {

bool is_lifecycle_kind(EventKindTag tag) {
  return tag == EventKindTag::RunStarted || tag == EventKindTag::RunHalted || tag == EventKindTag::RunCrashed;
}

// The per-access kinds that only the finest selections carry.
bool is_read_kind(EventKindTag tag) {
  return tag == EventKindTag::RegisterRead || tag == EventKindTag::MemoryRead;
}

}  // namespace

bool selects(const EventSelection& selection, const EventKind& kind) {
  switch (selection.level) {
    case EventSelectionLevel::None:
      return false;
    case EventSelectionLevel::Lifecycle:
      return is_lifecycle_kind(kind.tag);
    case EventSelectionLevel::Effects:
      return !is_read_kind(kind.tag) && kind.tag != EventKindTag::StepStarted &&
             kind.tag != EventKindTag::InstructionDecoded;
    case EventSelectionLevel::Instructions:
      return !is_read_kind(kind.tag);
    case EventSelectionLevel::All:
      return true;
    case EventSelectionLevel::Kinds:
      return selection.kinds.contains(kind);
  }
  return false;
}

std::string_view event_selection_level_spelling(EventSelectionLevel level) {
  switch (level) {
    case EventSelectionLevel::None: return "none";
    case EventSelectionLevel::Lifecycle: return "lifecycle";
    case EventSelectionLevel::Effects: return "effects";
    case EventSelectionLevel::Instructions: return "instructions";
    case EventSelectionLevel::All: return "all";
    case EventSelectionLevel::Kinds: return "kinds";
  }
  return "none";
}

JsonValue to_json(const EventSelection& selection) {
  if (selection.level != EventSelectionLevel::Kinds) {
    return std::string(event_selection_level_spelling(selection.level));
  }
  JsonArray kinds;
  kinds.reserve(selection.kinds.size());
  for (const EventKind& kind : selection.kinds) kinds.push_back(to_json(kind));
  return JsonObject{{"kinds", std::move(kinds)}};
}

}  // namespace lumivar
