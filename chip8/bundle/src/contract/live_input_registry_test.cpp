#include "chip8_bundle/contract/live_input_registry.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace chip8::bundle {

// Puts the registry in the state a failure while holding its lock leaves.
struct LiveInputRegistryTestAccess {
  static void poison(LiveInputRegistry& registry) {
    std::lock_guard lock(registry.mutex_);
    registry.poisoned_ = true;
  }
};

namespace {

TEST(LiveInputRegistry, RegisteredStatesAreFoundByRunId) {
  LiveInputRegistry registry;
  EXPECT_EQ(registry.find("run"), nullptr);
  auto state = registry.register_run("run");
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(registry.find("run"), state);
  EXPECT_EQ(registry.find("other"), nullptr);
  EXPECT_EQ(*state->read(), LiveKeypad{});
}

TEST(LiveInputRegistry, RegisteringAgainReplacesTheEntryWithAFreshState) {
  LiveInputRegistry registry;
  auto first = registry.register_run("run");
  ASSERT_TRUE(first->with_lock([](LiveKeypad& keypad) { keypad.mask = 0x8001; }));
  auto second = registry.register_run("run");
  EXPECT_NE(first, second);
  EXPECT_EQ(registry.find("run"), second);
  EXPECT_EQ(*second->read(), LiveKeypad{});
  EXPECT_EQ(first->read()->mask, 0x8001);  // the earlier handle keeps its own state
}

TEST(LiveInputRegistry, PoisonedRegistryBehavesAsEmpty) {
  LiveInputRegistry registry;
  registry.register_run("run");
  LiveInputRegistryTestAccess::poison(registry);
  EXPECT_EQ(registry.find("run"), nullptr);
  auto state = registry.register_run("later");
  ASSERT_NE(state, nullptr);  // the handle still gets its state
  EXPECT_EQ(registry.find("later"), nullptr);
}

TEST(LiveKeypadState, FailedUpdatePoisonsTheState) {
  LiveKeypadState state;
  auto frame = state.with_lock([](LiveKeypad& keypad) {
    keypad.frame = 4;
    return keypad.frame;
  });
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, 4u);
  EXPECT_THROW((void)state.with_lock([](LiveKeypad& keypad) -> void {
    keypad.mask = 0xFFFF;
    throw std::runtime_error("update failed part-way");
  }),
               std::runtime_error);
  auto after = state.read();
  ASSERT_FALSE(after);
  EXPECT_EQ(after.error().message, "CHIP-8 live-input state is unavailable");
  EXPECT_FALSE(state.with_lock([](LiveKeypad&) {}));
}

TEST(LiveKeypadState, ConcurrentUpdatesAreSerialised) {
  LiveKeypadState state;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&state] {
      for (int i = 0; i < 1000; ++i) (void)state.with_lock([](LiveKeypad& keypad) { ++keypad.frame; });
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(state.read()->frame, 4000u);
}

}  // namespace
}  // namespace chip8::bundle
