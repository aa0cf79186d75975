#include "chip8_core/emulator/statistics.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <utility>

namespace chip8 {
namespace {

TEST(AddressSet, InsertRangeWrapsAndSizeCountsDistinctAddresses) {
  AddressSet set;
  set.insert_range(0xFFFE, 4);
  set.insert(0x0001);
  EXPECT_EQ(set.size(), 4u);
  for (const std::uint16_t a : {0xFFFE, 0xFFFF, 0x0000, 0x0001}) EXPECT_TRUE(set.contains(a)) << a;
  EXPECT_FALSE(set.contains(0x0002));
  set.clear();
  EXPECT_EQ(set.size(), 0u);
}

// Compares the split containers against a plain ordered set over edges of every
// shape: fall-through, skip and self edges (also across the 64 KiB wrap) and
// enough other edges to make the hash part grow several times.
TEST(StepCoverage, MembershipAndSizesMatchPlainSets) {
  StepCoverage set;
  std::set<std::pair<std::uint16_t, std::uint16_t>> reference;
  std::set<std::uint16_t> executed;
  auto add = [&](std::uint16_t from, std::uint16_t to) {
    set.record(from, to);
    reference.emplace(from, to);
    executed.insert(from);
  };
  add(0xFFFF, 0x0001);  // fall-through across the wrap
  add(0xFFFE, 0x0002);  // skip across the wrap
  add(0xFFFF, 0xFFFF);  // self edge whose key would be all ones
  add(0x0200, 0x0202);
  add(0x0200, 0x0204);
  add(0x0200, 0x0200);
  add(0x0200, 0x0300);
  std::uint32_t state = 12345;
  for (int i = 0; i < 5000; ++i) {
    state = state * 1103515245u + 12345u;
    const auto from = static_cast<std::uint16_t>(state >> 16);
    state = state * 1103515245u + 12345u;
    const auto to = static_cast<std::uint16_t>(i % 3 == 0 ? from + 2 * (state % 3) : state >> 16);
    add(from, to);
    if (i % 7 == 0) add(from, to);  // repeats change nothing
  }
  EXPECT_EQ(set.transition_count(), reference.size());
  EXPECT_EQ(set.executed_count(), executed.size());
  for (const auto& [from, to] : reference) ASSERT_TRUE(set.has_transition(from, to)) << from << " -> " << to;
  for (std::uint32_t a = 0; a <= 0xFFFF; ++a) {
    ASSERT_EQ(set.executed(static_cast<std::uint16_t>(a)), executed.contains(static_cast<std::uint16_t>(a))) << a;
  }
  EXPECT_FALSE(set.has_transition(0x0200, 0x0206));
  EXPECT_FALSE(set.has_transition(0x1234, 0x4321));
  StepCoverage copy = set;
  EXPECT_EQ(copy, set);
  set.clear();
  EXPECT_EQ(set.transition_count(), 0u);
  EXPECT_EQ(set.executed_count(), 0u);
  EXPECT_FALSE(set.has_transition(0x0200, 0x0300));
  EXPECT_NE(copy, set);
}

TEST(Statistics, CountersSaturate) {
  std::uint32_t counter = std::numeric_limits<std::uint32_t>::max() - 1;
  saturating_increment(counter);
  saturating_increment(counter);
  EXPECT_EQ(counter, std::numeric_limits<std::uint32_t>::max());
}

}  // namespace
}  // namespace chip8
