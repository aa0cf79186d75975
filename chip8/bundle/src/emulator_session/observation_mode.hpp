#pragma once
// Whether an observation needs the emulator to record every step.

#include "lumivar_core/observation/observation_request.hpp"

namespace chip8::bundle {

// True when state diffs are requested, snapshots are taken every N steps, the
// event selection is "effects", "instructions" or "all", or an explicit kind
// set names a kind other than run_started, frame_completed, snapshot_captured,
// run_halted and run_crashed. Selections "none" and "lifecycle" need no steps.
[[nodiscard]] bool observation_needed(const lumivar::ObservationRequest& request);

}  // namespace chip8::bundle
