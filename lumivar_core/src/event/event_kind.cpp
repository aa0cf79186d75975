#include "lumivar_core/event/event_kind.hpp"

#include <array>

namespace lumivar {
namespace {

constexpr std::array<std::string_view, kEventKindTagCount> kSpellings = {
    "run_started",   "step_started",  "instruction_decoded", "register_read",     "register_write",
    "memory_read",   "memory_write",  "stack_changed",       "branch_taken",      "call",
    "return",        "interrupt",     "trap",                "display_write",     "input_applied",
    "input_sampled", "sound_emitted", "timer_changed",       "frame_completed",   "snapshot_captured",
    "run_halted",    "run_crashed",   "extension",
};

// The externally tagged form: 22 unit variants, then the extension with its text.
constexpr std::array<VariantSpec, kEventKindTagCount> kVariants = [] {
  std::array<VariantSpec, kEventKindTagCount> variants{};
  for (std::size_t i = 0; i < kEventKindTagCount; ++i) variants[i] = VariantSpec{kSpellings[i], false};
  variants[kEventKindTagCount - 1].has_value = true;
  return variants;
}();

constexpr std::string_view kExtensionTextPrefix = "extension:";

}  // namespace

std::string_view event_kind_spelling(EventKindTag tag) { return kSpellings[static_cast<std::size_t>(tag)]; }

std::optional<EventKindTag> fixed_event_kind_from_spelling(std::string_view spelling) {
  for (std::size_t i = 0; i + 1 < kEventKindTagCount; ++i) {
    if (kSpellings[i] == spelling) return static_cast<EventKindTag>(i);
  }
  return std::nullopt;
}

JsonValue to_json(const EventKind& kind) {
  if (kind.is_extension()) return JsonObject{{"extension", kind.extension}};
  return std::string(event_kind_spelling(kind.tag));
}

Result<EventKind> read_event_kind(JsonReader& reader) {
  EventKind kind;
  auto read = reader.read_variant("enum EventKind", kVariants, [&](std::size_t index) -> Result<void> {
    kind.tag = static_cast<EventKindTag>(index);
    if (kind.is_extension()) return reader.read_string_into(kind.extension);
    return {};
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return kind;
}

std::string event_kind_text(const EventKind& kind) {
  if (kind.is_extension()) return std::string(kExtensionTextPrefix) + kind.extension;
  return std::string(event_kind_spelling(kind.tag));
}

std::optional<EventKind> parse_event_kind_text(std::string_view text) {
  if (text.starts_with(kExtensionTextPrefix)) {
    return EventKind::extension_kind(std::string(text.substr(kExtensionTextPrefix.size())));
  }
  if (auto fixed = fixed_event_kind_from_spelling(text)) return EventKind(*fixed);
  return std::nullopt;
}

}  // namespace lumivar
