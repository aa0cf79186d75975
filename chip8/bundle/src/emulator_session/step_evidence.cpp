#include "chip8_bundle/emulator_session/step_evidence.hpp"

namespace chip8::bundle {

namespace {

// Emits nothing: observed steps are not yet turned into trace events. They are
// still taken, so an observed run does not accumulate them. Timer ticks are the
// session's own frame evidence and are not taken here.
class NoStepEvidence final : public StepEvidence {
 public:
  lumivar::Result<void> flush(Chip8Emulator& emulator, SessionEvidenceEmitter& emitter) override {
    (void)emitter;
    (void)emulator.take_observed_steps();
    return {};
  }
};

}  // namespace

std::unique_ptr<StepEvidence> make_step_evidence(const lumivar::PreparedObservation& observation,
                                                 const QuirkFlags& quirks) {
  (void)observation;
  (void)quirks;
  return std::make_unique<NoStepEvidence>();
}

}  // namespace chip8::bundle
