#pragma once
// SessionEvidenceEmitter: the one way evidence leaves a session during
// execute. Every emission is offered to the capability tracker (until it has
// failed) and then to the stream; normalized events are filtered by the
// observation's selection, stamped with the next sequence number and folded
// into the session's event projection first.
//
// The emitter lives for one execute. Any error it returns ends the run.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chip8_bundle/contract/key_schedule.hpp"
#include "chip8_bundle/emulator_session/event_ledger.hpp"
#include "chip8_bundle/emulator_session/run_summary.hpp"
#include "chip8_bundle/normalizer/capability_tracker.hpp"
#include "chip8_core/emulator/emulator.hpp"
#include "lumivar_core/emission/emission_sink.hpp"
#include "lumivar_core/emission/owned_emission.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"
#include "lumivar_core/receipt/evidence_receipt.hpp"
#include "lumivar_core/schedule/execution_request.hpp"
#include "lumivar_core/value/byte_string.hpp"

namespace chip8::bundle {

// The outcome of offering one normalized event.
struct EmittedEvent {
  bool emitted = false;       // false when the selection dropped it
  std::uint64_t sequence = 0;  // its sequence when emitted
};

class SessionEvidenceEmitter {
 public:
  // Borrows everything; all must outlive the emitter. Prepares the
  // "unavailable" receipts of the capabilities requested directly that
  // resolved unavailable, and starts the tracker on the observation's requests.
  SessionEvidenceEmitter(lumivar::EmissionSink& stream, const lumivar::PreparedObservation& observation,
                         const std::string& run_id, EventLedger& ledger);

  // The tracker (unless it has failed), then the stream. A refusal is
  // "emission sink rejected run data: {}".
  [[nodiscard]] lumivar::Result<void> emit(const lumivar::OwnedEmission& emission);

  // Drops an unselected event; otherwise assigns the next sequence, folds the
  // event into the projection and emits it.
  [[nodiscard]] lumivar::Result<EmittedEvent> emit_event(lumivar::NormalizedEvent&& event);

  // An event with the session's common fields: schema 1.0.0, arch "chip8",
  // the machine version, the run ID, step and cycle_or_tick = cycle, no
  // instruction. The sequence is assigned by emit_event.
  [[nodiscard]] lumivar::NormalizedEvent session_event(lumivar::EventKind kind, std::uint64_t cycle,
                                                       std::optional<std::uint64_t> frame,
                                                       std::optional<std::uint16_t> pc) const;

  // run_started with the request, then the run_started event at the boot
  // program counter (cycle 0, frame 0).
  [[nodiscard]] lumivar::Result<void> emit_run_started(const lumivar::ExecutionRequest& request,
                                                       std::uint16_t boot_pc);

  // The evidence of one schedule entry applied at the start of frame `frame`:
  // the input_applied event and, when its input is selected, the input
  // application record as input-value evidence.
  [[nodiscard]] lumivar::Result<void> emit_input_applied(const ScheduledKeyInput& entry, std::uint64_t frame,
                                                         std::uint64_t cycle, std::uint16_t mask_before,
                                                         std::uint16_t mask_after);

  // sound_emitted (when the sound timer ran) and timer_changed for each tick.
  [[nodiscard]] lumivar::Result<void> emit_frame_ticks(std::span<const TimerTick> ticks,
                                                       const Chip8Machine& machine);

  // The frame_completed event of the frame just completed and, when frames are
  // captured, its frame artifact.
  [[nodiscard]] lumivar::Result<void> emit_frame_completed(const Chip8Emulator& emulator);

  // The snapshot_captured event and the snapshot envelope of session snapshot bytes.
  [[nodiscard]] lumivar::Result<void> emit_snapshot(const Chip8Emulator& emulator, lumivar::ByteString bytes);

  // run_halted or run_crashed at the machine's current counters and PC.
  [[nodiscard]] lumivar::Result<void> emit_terminal_event(Termination termination, const Chip8Emulator& emulator);

  // The framebuffer, execution summary and coverage records that the
  // observation's native evidence request selects.
  [[nodiscard]] lumivar::Result<void> emit_native_evidence(const Chip8Emulator& emulator);

  // Hands the capability outputs, then the receipts, to the stream. Never fails.
  void deliver_capabilities();

  // run_finished with the summary's common member.
  [[nodiscard]] lumivar::Result<void> emit_run_finished(const RunSummary& summary);

  [[nodiscard]] const CapabilityTracker& tracker() const { return tracker_; }
  [[nodiscard]] const lumivar::PreparedObservation& observation() const { return observation_; }
  [[nodiscard]] const std::string& run_id() const { return run_id_; }

 private:
  lumivar::EmissionSink& stream_;
  const lumivar::PreparedObservation& observation_;
  const std::string& run_id_;
  EventLedger& ledger_;
  CapabilityTracker tracker_;
  std::vector<lumivar::CapabilityReceipt> unavailable_receipts_;
};

}  // namespace chip8::bundle
