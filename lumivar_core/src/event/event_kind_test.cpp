#include "lumivar_core/event/event_kind.hpp"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string_view>

namespace lumivar {
namespace {

constexpr std::array<std::string_view, kEventKindTagCount - 1> kFixedSpellings = {
    "run_started",   "step_started",  "instruction_decoded", "register_read",   "register_write",
    "memory_read",   "memory_write",  "stack_changed",       "branch_taken",    "call",
    "return",        "interrupt",     "trap",                "display_write",   "input_applied",
    "input_sampled", "sound_emitted", "timer_changed",       "frame_completed", "snapshot_captured",
    "run_halted",    "run_crashed",
};

TEST(EventKind, FixedSpellingsFollowTheVariantOrderAndRoundTrip) {
  for (std::size_t i = 0; i < kFixedSpellings.size(); ++i) {
    const auto tag = static_cast<EventKindTag>(i);
    EXPECT_EQ(event_kind_spelling(tag), kFixedSpellings[i]);
    EXPECT_EQ(fixed_event_kind_from_spelling(kFixedSpellings[i]), tag);
    EXPECT_EQ(to_json(EventKind(tag)), JsonValue(std::string(kFixedSpellings[i])));
    EXPECT_EQ(parse_event_kind_text(kFixedSpellings[i]), EventKind(tag));
  }
  EXPECT_EQ(static_cast<std::size_t>(EventKindTag::Extension), 22u);
  EXPECT_EQ(fixed_event_kind_from_spelling("extension"), std::nullopt);
  EXPECT_EQ(fixed_event_kind_from_spelling("Call"), std::nullopt);
}

TEST(EventKind, ExtensionKindsCarryTheirText) {
  const EventKind kind = EventKind::extension_kind("chip8.scroll");
  EXPECT_EQ(to_json(kind), JsonValue(JsonObject{{"extension", "chip8.scroll"}}));
  EXPECT_EQ(event_kind_text(kind), "extension:chip8.scroll");
  EXPECT_EQ(parse_event_kind_text("extension:chip8.scroll"), kind);
  EXPECT_EQ(parse_event_kind_text("extension:"), EventKind::extension_kind(""));
  // The bare word and unknown spellings are not kinds.
  EXPECT_EQ(parse_event_kind_text("extension"), std::nullopt);
  EXPECT_EQ(parse_event_kind_text("Extension:x"), std::nullopt);
  EXPECT_EQ(parse_event_kind_text(" call"), std::nullopt);
  EXPECT_EQ(parse_event_kind_text(""), std::nullopt);
}

TEST(EventKind, OrdersByTagThenExtensionText) {
  const std::set<EventKind> kinds = {EventKind::extension_kind("b"), EventKindTag::RunCrashed,
                                     EventKind::extension_kind("a"), EventKindTag::RunStarted,
                                     EventKindTag::Call};
  const std::vector<EventKind> ordered(kinds.begin(), kinds.end());
  const std::vector<EventKind> expected = {EventKindTag::RunStarted, EventKindTag::Call, EventKindTag::RunCrashed,
                                           EventKind::extension_kind("a"), EventKind::extension_kind("b")};
  EXPECT_EQ(ordered, expected);
}

}  // namespace
}  // namespace lumivar
