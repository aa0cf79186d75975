#pragma once
// The evidence of observed machine steps, as the session's execute emits it:
// for every ObservedStep the emulator holds, its native trace events and its
// normalized step events, in execution order.
//
// The session calls flush() at each point where step evidence is due: after
// every instruction run one at a time, once more after an instruction that
// stopped the run, after a frame's last instruction and after a frame run in
// one call stopped early. A call with no observed step pending emits nothing.

#include <memory>

#include "chip8_core/emulator/emulator.hpp"
#include "chip8_core/machine/cpu.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"

namespace chip8::bundle {

class SessionEvidenceEmitter;

class StepEvidence {
 public:
  virtual ~StepEvidence() = default;

  // Emits the evidence of the pending observed steps through the emitter
  // (emit_event and emit), taking them from the emulator.
  [[nodiscard]] virtual lumivar::Result<void> flush(Chip8Emulator& emulator, SessionEvidenceEmitter& emitter) = 0;
};

// The step evidence of one execute under this observation and these quirks.
[[nodiscard]] std::unique_ptr<StepEvidence> make_step_evidence(const lumivar::PreparedObservation& observation,
                                                               const QuirkFlags& quirks);

}  // namespace chip8::bundle
