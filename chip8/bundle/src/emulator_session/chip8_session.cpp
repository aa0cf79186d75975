#include "chip8_bundle/emulator_session/chip8_session.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "chip8_bundle/contract/session_creation_checks.hpp"
#include "chip8_bundle/emulator_session/budgeted_stream.hpp"
#include "chip8_bundle/emulator_session/evidence_emitter.hpp"
#include "chip8_bundle/emulator_session/observation_mode.hpp"
#include "chip8_bundle/emulator_session/step_evidence.hpp"
#include "chip8_core/state_codec/state_codec.hpp"
#include "lumivar_core/digest/sha256.hpp"

namespace chip8::bundle {

namespace {

constexpr std::uint32_t kMaxPartialCycles = std::numeric_limits<std::uint32_t>::max();

// The status name, with the opcode or the address in decimal for the two
// statuses that carry one: "InvalidOpcode(65535)", "MemoryFault(65536)".
std::string step_status_debug_text(StepStatus status) {
  std::string text(step_status_name(status.kind));
  if (status.kind == StepStatus::Kind::InvalidOpcode) {
    text += "(" + std::to_string(status.opcode) + ")";
  } else if (status.kind == StepStatus::Kind::MemoryFault) {
    text += "(" + std::to_string(status.first_invalid_address) + ")";
  }
  return text;
}

}  // namespace

std::string_view spelling(SessionLifecycle lifecycle) {
  switch (lifecycle) {
    case SessionLifecycle::Fresh: return "fresh";
    case SessionLifecycle::Incremental: return "incremental";
    case SessionLifecycle::Terminal: return "terminal";
  }
  lumivar::fatal("session lifecycle out of range");
}

Chip8Session::Chip8Session(Chip8Session&&) noexcept = default;
Chip8Session& Chip8Session::operator=(Chip8Session&&) noexcept = default;
Chip8Session::~Chip8Session() = default;

lumivar::Result<Chip8Session> Chip8Session::create(lumivar::ByteView artifact,
                                                   const lumivar::PreparedRun& prepared_run,
                                                   const lumivar::ExecutionRequest& request,
                                                   const lumivar::PreparedObservation& observation,
                                                   const LiveInputRegistry& live_inputs) {
  lumivar::Result<SessionParameters> parameters =
      check_session_creation(artifact, prepared_run, request, observation, live_inputs);
  if (!parameters) return std::unexpected(parameters.error());
  lumivar::Result<Chip8Emulator> emulator =
      Chip8Emulator::create(artifact, parameters->configuration.quirks, parameters->effective_seed);
  if (!emulator) return std::unexpected(emulator.error());

  Chip8Session session;
  session.emulator_ = std::make_unique<Chip8Emulator>(std::move(*emulator));
  session.emulator_->set_cycles_per_frame(parameters->configuration.cycles_per_frame);
  auto boot_image = std::make_unique<MachineStateImage>(session.emulator_->capture_state());
  session.boot_state_ = encode_state(*boot_image);
  session.boot_image_ = std::move(boot_image);
  session.emulator_->set_observing(observation_needed(observation.request));

  session.request_ = request;
  session.observation_ = observation;
  session.artifact_identity_ = lumivar::ArtifactIdentity{
      .byte_len = artifact.size(), .digest = lumivar::ContentDigest::sha256(lumivar::sha256(artifact))};
  session.configuration_ = std::move(parameters->configuration);
  session.effective_seed_ = parameters->effective_seed;
  session.frame_limit_ = parameters->frame_limit;
  session.step_limit_ = parameters->step_limit;
  session.frozen_schedule_ = std::move(parameters->schedule);
  session.active_schedule_ = session.frozen_schedule_;
  session.live_keypad_ = std::move(parameters->live_keypad);
  return session;
}

lumivar::Result<Chip8Session> create_session(const PreparedRunRecord& record, const LiveInputRegistry& live_inputs) {
  return Chip8Session::create(record.artifact, record.prepared_run, record.request, record.prepared_observation,
                              live_inputs);
}

bool Chip8Session::step_limit_reached() const {
  return step_limit_ && emulator_->cycle_count() >= *step_limit_;
}

bool Chip8Session::at_boot_state() const {
  return emulator_->cycle_count() == 0 && emulator_->frame_count() == 0 &&
         encode_state(emulator_->capture_state()) == boot_state_;
}

std::uint32_t Chip8Session::instruction_budget() const {
  const std::uint32_t per_frame = emulator_->cycles_per_frame();
  std::uint32_t budget = per_frame > cycles_into_frame_ ? per_frame - cycles_into_frame_ : 0;
  if (step_limit_) {
    const std::uint64_t cycles = emulator_->cycle_count();
    const std::uint64_t remaining = *step_limit_ > cycles ? *step_limit_ - cycles : 0;
    budget = static_cast<std::uint32_t>(std::min<std::uint64_t>({budget, remaining, kMaxPartialCycles}));
  }
  return budget;
}

lumivar::Result<void> Chip8Session::count_partial_cycle() {
  if (cycles_into_frame_ == kMaxPartialCycles) return lumivar::fail("CHIP-8 partial-frame counter overflow");
  ++cycles_into_frame_;
  return {};
}

lumivar::Result<void> Chip8Session::apply_frame_start_inputs(SessionEvidenceEmitter* emitter) {
  const std::uint64_t frame = emulator_->frame_count();
  if (live_keypad_) {
    lumivar::Result<std::uint16_t> mask = live_keypad_->with_lock([frame](LiveKeypad& keypad) {
      keypad.frame = frame;
      return keypad.mask;
    });
    if (!mask) return std::unexpected(mask.error());
    emulator_->set_keypad_mask(*mask);
  }
  while (schedule_cursor_ < active_schedule_.size()) {
    const ScheduledKeyInput& entry = active_schedule_[schedule_cursor_];
    if (entry.frame > frame) break;
    if (entry.frame < frame) {
      return lumivar::fail("CHIP-8 stimulus " + std::to_string(entry.ordinal) + " at frame " +
                           std::to_string(entry.frame) + " was not applied before frame " + std::to_string(frame));
    }
    const std::uint16_t before = emulator_->machine().keypad_mask;
    const auto bit = static_cast<std::uint16_t>(1u << entry.key);
    const auto after = static_cast<std::uint16_t>(entry.active ? before | bit : before & ~bit);
    emulator_->set_keypad_mask(after);
    if (emitter != nullptr) {
      if (auto emitted = emitter->emit_input_applied(entry, frame, emulator_->cycle_count(), before, after);
          !emitted) {
        return emitted;
      }
    }
    ++schedule_cursor_;
  }
  return {};
}

bool Chip8Session::snapshot_due_at_cycle() const {
  const lumivar::SnapshotCapture& policy = observation_.request.snapshots.capture;
  if (policy.kind != lumivar::SnapshotCaptureKind::EverySteps || policy.every_steps == 0) return false;
  const std::uint64_t cycles = emulator_->cycle_count();
  return cycles != 0 && cycles % policy.every_steps == 0;
}

lumivar::Result<void> Chip8Session::emit_snapshot(SessionEvidenceEmitter& emitter, SessionLifecycle recorded) {
  lumivar::Result<std::optional<lumivar::ByteString>> bytes = capture_snapshot_bytes(recorded);
  if (!bytes) return std::unexpected(bytes.error());
  if (!*bytes) return {};
  return emitter.emit_snapshot(*emulator_, std::move(**bytes));
}

lumivar::Result<RunSummary> Chip8Session::execute(lumivar::BudgetedSink& sink) {
  BudgetedStream stream(sink);
  return execute(stream);
}

lumivar::Result<RunSummary> Chip8Session::execute(lumivar::EmissionSink& stream) {
  SessionEvidenceEmitter emitter(stream, observation_, request_.run_id, ledger_);
  switch (lifecycle_) {
    case SessionLifecycle::Incremental:
      lifecycle_ = SessionLifecycle::Terminal;
      return lumivar::fail("CHIP-8 session cannot execute after stepping, input, or snapshot restore; reset first");
    case SessionLifecycle::Terminal:
      return lumivar::fail("CHIP-8 execute() may only be attempted once; reset first");
    case SessionLifecycle::Fresh:
      lifecycle_ = SessionLifecycle::Terminal;
      break;
  }
  if (!at_boot_state()) {
    return lumivar::fail(
        "replayable CHIP-8 execution must begin at the authoritative boot state; reset the session after stepping, "
        "restoring, or changing input");
  }
  schedule_cursor_ = 0;
  cycles_into_frame_ = 0;
  ledger_.restart();
  std::unique_ptr<StepEvidence> step_evidence = make_step_evidence(observation_, configuration_.quirks);
  return run(emitter, *step_evidence);
}

lumivar::Result<RunSummary> Chip8Session::run(SessionEvidenceEmitter& emitter, StepEvidence& step_evidence) {
  Chip8Emulator& emulator = *emulator_;
  if (auto started = emitter.emit_run_started(request_, boot_image_->PC); !started) {
    return std::unexpected(started.error());
  }
  Termination termination = Termination::Timeout;
  const std::uint32_t per_frame = emulator.cycles_per_frame();

  // frames_started counts the frames this execute began.
  for (std::uint64_t frames_started = 0; frames_started < frame_limit_;) {
    if (step_limit_reached()) break;
    if (auto applied = apply_frame_start_inputs(&emitter); !applied) return std::unexpected(applied.error());
    ++frames_started;
    const std::uint64_t frames_before = emulator.frame_count();
    bool deferred_snapshot = false;
    bool stopped = false;

    if (step_limit_ || emulator.observing()) {
      const std::uint32_t budget = instruction_budget();
      for (std::uint32_t i = 0; i < budget && !stopped; ++i) {
        const StepStatus status = emulator.step_once();
        if (auto counted = count_partial_cycle(); !counted) return std::unexpected(counted.error());
        if (auto flushed = step_evidence.flush(emulator, emitter); !flushed) return std::unexpected(flushed.error());
        // The snapshot of the run's last instruction follows its frame's
        // frame-completed evidence.
        if (status.continues() && cycles_into_frame_ == per_frame && frames_started == frame_limit_) {
          deferred_snapshot = true;
        } else if (snapshot_due_at_cycle()) {
          const SessionLifecycle recorded =
              status.continues() ? SessionLifecycle::Incremental : SessionLifecycle::Terminal;
          if (auto taken = emit_snapshot(emitter, recorded); !taken) return std::unexpected(taken.error());
        }
        if (status.continues()) continue;
        termination = termination_of(status);
        if (auto flushed = step_evidence.flush(emulator, emitter); !flushed) return std::unexpected(flushed.error());
        stopped = true;
      }
      if (stopped) break;
      if (cycles_into_frame_ == per_frame) {
        emulator.tick_timers();
        cycles_into_frame_ = 0;
      }
    } else {
      const FrameOutcome outcome = emulator.run_frame();
      if (outcome.completed()) {
        cycles_into_frame_ = 0;
      } else {
        if (outcome.cycles_run > kMaxPartialCycles - cycles_into_frame_) {
          return lumivar::fail("CHIP-8 partial-frame counter overflow");
        }
        cycles_into_frame_ += outcome.cycles_run;
        termination = termination_of(outcome.status);
        if (auto flushed = step_evidence.flush(emulator, emitter); !flushed) return std::unexpected(flushed.error());
        break;
      }
    }

    if (step_limit_reached() && emulator.frame_count() == frames_before) break;
    if (auto flushed = step_evidence.flush(emulator, emitter); !flushed) return std::unexpected(flushed.error());
    if (emulator.observing()) {
      const std::vector<TimerTick> ticks = emulator.take_timer_ticks();
      if (auto emitted = emitter.emit_frame_ticks(ticks, emulator.machine()); !emitted) {
        return std::unexpected(emitted.error());
      }
    }
    if (auto emitted = emitter.emit_frame_completed(emulator); !emitted) return std::unexpected(emitted.error());
    if (deferred_snapshot && snapshot_due_at_cycle()) {
      if (auto taken = emit_snapshot(emitter, SessionLifecycle::Terminal); !taken) {
        return std::unexpected(taken.error());
      }
    }
  }

  if (termination == Termination::Timeout && !step_limit_reached() &&
      emulator.machine().key_wait.phase != KeyWait::Phase::None) {
    termination = Termination::WaitingForInput;
  }
  if (observation_.request.snapshots.capture.kind == lumivar::SnapshotCaptureKind::Final) {
    if (auto taken = emit_snapshot(emitter, SessionLifecycle::Terminal); !taken) {
      return std::unexpected(taken.error());
    }
  }
  if (auto emitted = emitter.emit_terminal_event(termination, emulator); !emitted) {
    return std::unexpected(emitted.error());
  }

  RunSummary summary;
  summary.common.cycles = emulator.cycle_count();
  summary.common.frames = emulator.frame_count();
  summary.common.termination = std::string(spelling(termination));
  // boot_success describes the machine's own outcome, so it is decided before
  // the step limit replaces the termination text.
  summary.common.boot_success = emulator.cycle_count() != 0 && termination != Termination::InvalidOpcode;
  if (step_limit_reached()) summary.common.termination = std::string(kStepLimitTermination);

  if (auto emitted = emitter.emit_native_evidence(emulator); !emitted) return std::unexpected(emitted.error());
  emitter.deliver_capabilities();
  (void)ledger_.finish_projection();
  if (auto finished = emitter.emit_run_finished(summary); !finished) return std::unexpected(finished.error());
  return summary;
}

lumivar::Result<void> Chip8Session::step() {
  if (lifecycle_ == SessionLifecycle::Terminal) return lumivar::fail("CHIP-8 session is terminal; reset before stepping");
  if (emulator_->frame_count() >= frame_limit_) {
    return lumivar::fail("CHIP-8 session reached frozen frame budget " + std::to_string(frame_limit_));
  }
  lifecycle_ = SessionLifecycle::Incremental;
  if (step_limit_reached()) {
    lifecycle_ = SessionLifecycle::Terminal;
    return {};
  }
  lumivar::Result<void> stepped = step_frame();
  // Nothing takes the observation records of steps run here: drop them so
  // they do not pile up across calls.
  emulator_->set_observing(emulator_->observing());
  if (!stepped) lifecycle_ = SessionLifecycle::Terminal;
  return stepped;
}

lumivar::Result<void> Chip8Session::step_frame() {
  if (cycles_into_frame_ == 0) {
    if (auto applied = apply_frame_start_inputs(nullptr); !applied) return applied;
  }
  const std::uint32_t per_frame = emulator_->cycles_per_frame();
  if (cycles_into_frame_ > per_frame) return lumivar::fail("CHIP-8 partial-frame phase exceeds cycles_per_frame");
  const std::uint32_t budget = instruction_budget();
  for (std::uint32_t i = 0; i < budget; ++i) {
    const StepStatus status = emulator_->step_once();
    if (auto counted = count_partial_cycle(); !counted) return counted;
    if (status.continues()) continue;
    if (status.kind == StepStatus::Kind::Halted) {
      lifecycle_ = SessionLifecycle::Terminal;
      return {};
    }
    return lumivar::fail("step_frame error: " + step_status_debug_text(status));
  }
  if (cycles_into_frame_ == per_frame) {
    emulator_->tick_timers();
    cycles_into_frame_ = 0;
  }
  if (emulator_->frame_count() >= frame_limit_ || step_limit_reached()) lifecycle_ = SessionLifecycle::Terminal;
  return {};
}

lumivar::Result<void> Chip8Session::reset() {
  emulator_->reset(*boot_image_);
  if (live_keypad_) {
    if (auto cleared = live_keypad_->with_lock([](LiveKeypad& keypad) { keypad = LiveKeypad{}; }); !cleared) {
      return cleared;
    }
  }
  emulator_->set_observing(observation_needed(observation_.request));
  active_schedule_ = frozen_schedule_;
  schedule_cursor_ = 0;
  cycles_into_frame_ = 0;
  ledger_.restart();
  lifecycle_ = SessionLifecycle::Fresh;
  return {};
}

}  // namespace chip8::bundle
