#pragma once
// The live-input handle of a prepared run: key changes submitted while a
// session runs. It shares the run's live keypad state with the session; a
// change reaches the machine at the session's next frame boundary.

#include <memory>
#include <mutex>
#include <string_view>

#include "chip8_bundle/contract/live_input_registry.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/live_input/live_input_gate.hpp"
#include "lumivar_core/run_identity/input_interface.hpp"
#include "lumivar_core/schedule/input_payload.hpp"

namespace chip8::bundle {

class LiveInputHandle {
 public:
  LiveInputHandle(lumivar::PreparedInputInterface interface, std::shared_ptr<LiveKeypadState> keypad)
      : gate_(std::move(interface)), keypad_(std::move(keypad)) {}

  // In order: the gate's checks against the prepared live inputs, the input
  // ID naming a key, the keypad lock, a boolean payload. The key is then set
  // (true) or cleared (false) in the live mask, and the accepted record
  // carries the frame the session last started as its coordinate.
  [[nodiscard]] lumivar::Result<lumivar::AcceptedLiveInput> apply(std::string_view input_id,
                                                                  lumivar::TypedInputPayload payload);

 private:
  std::mutex mutex_;  // the gate numbers submissions one at a time
  lumivar::LiveInputGate gate_;
  std::shared_ptr<LiveKeypadState> keypad_;
};

// The caller's wording of a gate refusal.
[[nodiscard]] std::string live_input_refusal_message(const lumivar::LiveInputRefusal& refusal);

}  // namespace chip8::bundle
