#include "chip8_bundle/contract/live_input_registry.hpp"

namespace chip8::bundle {

lumivar::Result<LiveKeypad> LiveKeypadState::read() {
  return with_lock([](LiveKeypad& keypad) { return keypad; });
}

std::shared_ptr<LiveKeypadState> LiveInputRegistry::register_run(std::string_view run_id) {
  auto state = std::make_shared<LiveKeypadState>();
  std::lock_guard lock(mutex_);
  if (poisoned_) return state;
  try {
    states_.insert_or_assign(std::string(run_id), state);
  } catch (...) {
    poisoned_ = true;
    throw;
  }
  return state;
}

std::shared_ptr<LiveKeypadState> LiveInputRegistry::find(std::string_view run_id) const {
  std::lock_guard lock(mutex_);
  if (poisoned_) return nullptr;
  const auto found = states_.find(run_id);
  return found == states_.end() ? nullptr : found->second;
}

}  // namespace chip8::bundle
