#include "lumivar_core/observation/event_selection.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace lumivar {
namespace {

using T = EventKindTag;

std::vector<EventKind> every_kind() {
  std::vector<EventKind> kinds;
  for (std::size_t i = 0; i + 1 < kEventKindTagCount; ++i) kinds.emplace_back(static_cast<EventKindTag>(i));
  kinds.push_back(EventKind::extension_kind("chip8.scroll"));
  return kinds;
}

// The kinds a level leaves out (for "lifecycle": the kinds it keeps).
struct LevelCase {
  EventSelectionLevel level;
  std::set<EventKind> excluded;
};

TEST(EventSelection, NamedLevelsNest) {
  const std::vector<EventKind> kinds = every_kind();
  const std::set<EventKind> everything(kinds.begin(), kinds.end());
  const std::set<EventKind> lifecycle = {T::RunStarted, T::RunHalted, T::RunCrashed};
  std::set<EventKind> not_lifecycle;
  for (const EventKind& kind : kinds) {
    if (!lifecycle.contains(kind)) not_lifecycle.insert(kind);
  }
  const LevelCase cases[] = {
      {EventSelectionLevel::All, {}},
      {EventSelectionLevel::Instructions, {T::RegisterRead, T::MemoryRead}},
      {EventSelectionLevel::Effects, {T::StepStarted, T::InstructionDecoded, T::RegisterRead, T::MemoryRead}},
      {EventSelectionLevel::Lifecycle, not_lifecycle},
      {EventSelectionLevel::None, everything},
  };
  for (const LevelCase& c : cases) {
    for (const EventKind& kind : kinds) {
      EXPECT_EQ(selects(EventSelection(c.level), kind), !c.excluded.contains(kind))
          << event_selection_level_spelling(c.level) << " / " << event_kind_text(kind);
    }
  }
}

TEST(EventSelection, KindSetSelectsExactlyItsMembers) {
  const EventSelection selection =
      EventSelection::of_kinds({EventKindTag::Call, EventKind::extension_kind("x"), EventKindTag::Call});
  EXPECT_TRUE(selects(selection, EventKindTag::Call));
  EXPECT_TRUE(selects(selection, EventKind::extension_kind("x")));
  EXPECT_FALSE(selects(selection, EventKind::extension_kind("y")));
  EXPECT_FALSE(selects(selection, EventKindTag::Return));
  EXPECT_FALSE(selects(EventSelection::of_kinds(EventKindSet{}), EventKindTag::RunStarted));
}

TEST(EventSelection, KindSetCollapsesDuplicatesAndWritesInKindOrder) {
  const EventSelection selection = EventSelection::of_kinds(
      {EventKind::extension_kind("z"), EventKindTag::Trap, EventKindTag::RunStarted, EventKindTag::Trap});
  EXPECT_EQ(selection.kinds.size(), 3u);
  const JsonValue expected = JsonObject{{"kinds", JsonArray{"run_started", "trap", JsonObject{{"extension", "z"}}}}};
  EXPECT_EQ(to_json(selection), expected);
  EXPECT_EQ(selection, EventSelection::of_kinds({EventKindTag::RunStarted, EventKind::extension_kind("z"),
                                                 EventKindTag::Trap}));
}

TEST(EventSelection, NamedLevelsAreWrittenAsStrings) {
  EXPECT_EQ(to_json(EventSelection()), JsonValue("none"));
  EXPECT_EQ(to_json(EventSelection(EventSelectionLevel::Lifecycle)), JsonValue("lifecycle"));
  EXPECT_EQ(to_json(EventSelection(EventSelectionLevel::Effects)), JsonValue("effects"));
  EXPECT_EQ(to_json(EventSelection(EventSelectionLevel::Instructions)), JsonValue("instructions"));
  EXPECT_EQ(to_json(EventSelection(EventSelectionLevel::All)), JsonValue("all"));
}

}  // namespace
}  // namespace lumivar
