#pragma once
// Live keypad input shared between a prepared run's live-input handle and the
// session executing it: one lock-protected keypad state per run, found through
// the contract's registry by run ID.
//
// A holder whose update fails part-way (throws while holding a lock) leaves
// the protected data in an unknown state. The lock is then "poisoned": a
// poisoned keypad state refuses every later access, and a poisoned registry
// behaves as empty, so no one acts on half-written data.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kLiveInputStateUnavailable = "CHIP-8 live-input state is unavailable";

// The keypad as the live-input handle sets it: bit k of mask = key k pressed,
// and the number of the frame the session last started.
struct LiveKeypad {
  std::uint16_t mask = 0;
  std::uint64_t frame = 0;

  friend bool operator==(const LiveKeypad&, const LiveKeypad&) = default;
};

class LiveKeypadState {
 public:
  // Runs update(LiveKeypad&) under the lock and returns what it returns. Fails
  // with kLiveInputStateUnavailable once the state is poisoned; an exception
  // thrown by update poisons the state and propagates.
  template <class Update>
  [[nodiscard]] auto with_lock(Update&& update) -> lumivar::Result<std::invoke_result_t<Update, LiveKeypad&>>;

  // A copy of the keypad under the lock.
  [[nodiscard]] lumivar::Result<LiveKeypad> read();

 private:
  std::mutex mutex_;
  bool poisoned_ = false;
  LiveKeypad keypad_;
};

class LiveInputRegistry {
 public:
  // A fresh state (mask 0, frame 0) registered under the run ID, replacing any
  // earlier entry. The state is returned even when the registry is poisoned,
  // in which case it is not stored (a poisoned registry holds nothing).
  std::shared_ptr<LiveKeypadState> register_run(std::string_view run_id);

  // The state registered for the run ID; null when there is none or the
  // registry is poisoned.
  [[nodiscard]] std::shared_ptr<LiveKeypadState> find(std::string_view run_id) const;

 private:
  friend struct LiveInputRegistryTestAccess;

  mutable std::mutex mutex_;
  bool poisoned_ = false;
  std::map<std::string, std::shared_ptr<LiveKeypadState>, std::less<>> states_;
};

// ---------------------------------------------------------------------------

template <class Update>
auto LiveKeypadState::with_lock(Update&& update) -> lumivar::Result<std::invoke_result_t<Update, LiveKeypad&>> {
  std::lock_guard lock(mutex_);
  if (poisoned_) return lumivar::fail(std::string(kLiveInputStateUnavailable));
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Update, LiveKeypad&>>) {
      std::invoke(std::forward<Update>(update), keypad_);
      return {};
    } else {
      return std::invoke(std::forward<Update>(update), keypad_);
    }
  } catch (...) {
    poisoned_ = true;
    throw;
  }
}

}  // namespace chip8::bundle
