#pragma once
// Chip8Session: one executable instance of a prepared run. It owns the
// emulator booted from the ROM, the authoritative boot state, the frozen
// frame and step limits, the resolved key schedule and the prepared
// observation that decides what evidence execute produces.
//
// Lifecycle: a session is "fresh" after creation and reset; step() makes it
// "incremental"; execute() makes it "terminal" whatever its outcome, and so
// does a step that exhausts a budget, halts or fails. Only reset() leaves
// "terminal". execute() runs only from a fresh session whose machine is at
// the boot state, so every execution replays the same run.
//
// Use from execute_prepared:
//
//   auto session = create_session(record, *contract.live_inputs);   // error: ValueError text
//   auto sink = lumivar::BudgetedSink::create(...);                  // built by the caller over
//                                                                    // the recorder and Python sinks
//   lumivar::Result<RunSummary> summary = session->execute(*sink);
//   then the caller calls sink->finish() for the evidence receipt, whether
//   execute succeeded or not; execute never emits the receipt itself.
//
// On an error execute returns the message, the session is terminal and
// nothing further has been emitted: run_finished is missing from the stream,
// so the evidence receipt of a failed run reports it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chip8_bundle/contract/chip8_configuration.hpp"
#include "chip8_bundle/contract/key_schedule.hpp"
#include "chip8_bundle/contract/live_input_registry.hpp"
#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "chip8_bundle/emulator_session/event_ledger.hpp"
#include "chip8_bundle/emulator_session/run_summary.hpp"
#include "chip8_core/emulator/emulator.hpp"
#include "lumivar_core/emission/budgeted_sink.hpp"
#include "lumivar_core/emission/emission_sink.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"
#include "lumivar_core/run_identity/prepared_run.hpp"
#include "lumivar_core/schedule/execution_request.hpp"
#include "lumivar_core/value/artifact_identity.hpp"
#include "lumivar_core/value/byte_string.hpp"

namespace chip8::bundle {

enum class SessionLifecycle : std::uint8_t { Fresh = 0, Incremental = 1, Terminal = 2 };

// "fresh", "incremental", "terminal"
[[nodiscard]] std::string_view spelling(SessionLifecycle lifecycle);

class SessionEvidenceEmitter;
class StepEvidence;

class Chip8Session {
 public:
  // The session-creation checks, then the machine: booted from the ROM with
  // the preset's quirk flags and the effective seed, cycles per frame set,
  // step observation derived from the observation, boot state captured. The
  // first failure is the result (boot errors such as "ROM is empty" included).
  [[nodiscard]] static lumivar::Result<Chip8Session> create(lumivar::ByteView artifact,
                                                            const lumivar::PreparedRun& prepared_run,
                                                            const lumivar::ExecutionRequest& request,
                                                            const lumivar::PreparedObservation& observation,
                                                            const LiveInputRegistry& live_inputs);

  Chip8Session(Chip8Session&&) noexcept;
  Chip8Session& operator=(Chip8Session&&) noexcept;
  ~Chip8Session();

  // The session itself, for the host's type inspection.
  Chip8Session& identity() { return *this; }

  // The whole run with its evidence. `stream` receives every emission and
  // the capability outputs and receipts; it is normally a BudgetedSink
  // (the overload below adapts one). A refusal by the stream ends the run with
  // "emission sink rejected run data: {}".
  [[nodiscard]] lumivar::Result<RunSummary> execute(lumivar::EmissionSink& stream);
  [[nodiscard]] lumivar::Result<RunSummary> execute(lumivar::BudgetedSink& sink);

  // Advances to the next frame boundary (or to the step limit), emitting nothing.
  [[nodiscard]] lumivar::Result<void> step();

  // Back to the boot state, with the frozen schedule and a new projection.
  [[nodiscard]] lumivar::Result<void> reset();

  [[nodiscard]] SessionLifecycle lifecycle() const { return lifecycle_; }
  [[nodiscard]] const Chip8Emulator& emulator() const { return *emulator_; }
  [[nodiscard]] const std::string& run_id() const { return request_.run_id; }
  [[nodiscard]] const lumivar::ExecutionRequest& execution_request() const { return request_; }
  [[nodiscard]] const lumivar::PreparedObservation& observation() const { return observation_; }
  [[nodiscard]] const lumivar::ArtifactIdentity& artifact_identity() const { return artifact_identity_; }
  [[nodiscard]] const Chip8MachineConfiguration& configuration() const { return configuration_; }
  [[nodiscard]] std::uint64_t effective_seed() const { return effective_seed_; }
  [[nodiscard]] std::uint64_t frame_limit() const { return frame_limit_; }
  [[nodiscard]] std::optional<std::uint64_t> step_limit() const { return step_limit_; }
  // The codec encoding of the booted machine.
  [[nodiscard]] const std::vector<std::uint8_t>& boot_state() const { return boot_state_; }
  [[nodiscard]] const std::vector<ScheduledKeyInput>& frozen_schedule() const { return frozen_schedule_; }
  [[nodiscard]] const std::vector<ScheduledKeyInput>& active_schedule() const { return active_schedule_; }
  [[nodiscard]] std::uint64_t next_scheduled_input() const { return schedule_cursor_; }
  [[nodiscard]] std::uint32_t cycles_into_frame() const { return cycles_into_frame_; }
  [[nodiscard]] std::uint64_t next_sequence() const { return ledger_.next_sequence; }
  [[nodiscard]] bool event_projection_accumulator_active() const { return ledger_.projection_active; }
  [[nodiscard]] const std::shared_ptr<LiveKeypadState>& live_keypad() const { return live_keypad_; }
  // Whether a set step limit has been reached by the cycle counter.
  [[nodiscard]] bool step_limit_reached() const;

 private:
  Chip8Session() = default;

  [[nodiscard]] lumivar::Result<RunSummary> run(SessionEvidenceEmitter& emitter, StepEvidence& step_evidence);
  // The instructions of one step() call; any error leaves the session terminal.
  [[nodiscard]] lumivar::Result<void> step_frame();
  // Applies the live keypad and the schedule entries due at the start of the
  // frame about to run; `emitter` is null outside execute.
  [[nodiscard]] lumivar::Result<void> apply_frame_start_inputs(SessionEvidenceEmitter* emitter);
  [[nodiscard]] lumivar::Result<void> count_partial_cycle();
  // The budget of one per-instruction pass: the rest of the frame, bounded by
  // the step limit.
  [[nodiscard]] std::uint32_t instruction_budget() const;
  [[nodiscard]] bool at_boot_state() const;
  // Whether the every-N snapshot policy asks for a snapshot at the current
  // cycle count.
  [[nodiscard]] bool snapshot_due_at_cycle() const;
  [[nodiscard]] lumivar::Result<void> emit_snapshot(SessionEvidenceEmitter& emitter, SessionLifecycle recorded);
  // The session snapshot bytes recorded with the given lifecycle; nothing when
  // this build captures no snapshots.
  [[nodiscard]] lumivar::Result<std::optional<lumivar::ByteString>> capture_snapshot_bytes(
      SessionLifecycle recorded) const;

  lumivar::ExecutionRequest request_;
  lumivar::PreparedObservation observation_;
  lumivar::ArtifactIdentity artifact_identity_;
  Chip8MachineConfiguration configuration_;
  std::uint64_t effective_seed_ = 0;
  std::uint64_t frame_limit_ = 0;
  std::optional<std::uint64_t> step_limit_;
  // Held by pointer: the machine and its statistics are large and a session
  // moves out of create().
  std::unique_ptr<Chip8Emulator> emulator_;
  std::unique_ptr<const MachineStateImage> boot_image_;
  std::vector<std::uint8_t> boot_state_;
  std::vector<ScheduledKeyInput> frozen_schedule_;
  std::vector<ScheduledKeyInput> active_schedule_;
  std::uint64_t schedule_cursor_ = 0;
  std::uint32_t cycles_into_frame_ = 0;
  EventLedger ledger_;
  std::shared_ptr<LiveKeypadState> live_keypad_;
  SessionLifecycle lifecycle_ = SessionLifecycle::Fresh;
};

// Chip8Session::create over the record of a preparation.
[[nodiscard]] lumivar::Result<Chip8Session> create_session(const PreparedRunRecord& record,
                                                           const LiveInputRegistry& live_inputs);

}  // namespace chip8::bundle
