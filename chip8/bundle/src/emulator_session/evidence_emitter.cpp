#include "chip8_bundle/emulator_session/evidence_emitter.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "chip8_bundle/contract/key_input_id.hpp"
#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/emulator_session/session_events.hpp"
#include "chip8_bundle/normalizer/native_evidence_records.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/identifier/identifier.hpp"
#include "lumivar_core/observation/event_selection.hpp"
#include "lumivar_core/replay/frame_artifact.hpp"
#include "lumivar_core/replay/snapshot_envelope.hpp"

namespace chip8::bundle {

namespace {

constexpr lumivar::SchemaVersion kEventSchemaVersion{1, 0, 0};
constexpr std::string_view kProgramSpace = "program";
constexpr std::string_view kFrameFingerprintSchema = "chip8.frame_fingerprint";
constexpr std::string_view kFramePixelsSchema = "chip8.physical_backing_pixels.plane_major";

lumivar::Result<void> rejected(const lumivar::Error& error) {
  return lumivar::fail("emission sink rejected run data: " + error.message);
}

}  // namespace

SessionEvidenceEmitter::SessionEvidenceEmitter(lumivar::EmissionSink& stream,
                                               const lumivar::PreparedObservation& observation,
                                               const std::string& run_id, EventLedger& ledger)
    : stream_(stream),
      observation_(observation),
      run_id_(run_id),
      ledger_(ledger),
      unavailable_receipts_(unavailable_capability_receipts(observation)) {
  tracker_.start(observation.normalizer.requests);
}

lumivar::Result<void> SessionEvidenceEmitter::emit(const lumivar::OwnedEmission& emission) {
  if (!tracker_.failed()) tracker_.observe(emission);
  if (lumivar::Result<void> sent = stream_.emit(emission); !sent) return rejected(sent.error());
  return {};
}

lumivar::Result<EmittedEvent> SessionEvidenceEmitter::emit_event(lumivar::NormalizedEvent&& event) {
  if (!lumivar::selects(observation_.request.normalized_events.events, event.kind)) {
    return EmittedEvent{.emitted = false, .sequence = ledger_.next_sequence};
  }
  if (ledger_.next_sequence == std::numeric_limits<std::uint64_t>::max()) {
    return lumivar::fail("CHIP-8 event sequence overflow");
  }
  event.sequence = ledger_.next_sequence++;
  const std::uint64_t sequence = event.sequence;
  // One encoding serves the projection, the budgets and the delivered record.
  lumivar::Result<lumivar::OwnedEmission> emission = lumivar::OwnedEmission::event(std::move(event));
  if (!emission) return std::unexpected(emission.error());
  const auto& encoded = emission->get<lumivar::NormalizedEvent>();
  if (auto absorbed = ledger_.projection.absorb(encoded, emission->payload_json(), emission->run_id_member());
      !absorbed) {
    return std::unexpected(absorbed.error());
  }
  if (auto sent = emit(*emission); !sent) return std::unexpected(sent.error());
  return EmittedEvent{.emitted = true, .sequence = sequence};
}

lumivar::NormalizedEvent SessionEvidenceEmitter::session_event(lumivar::EventKind kind, std::uint64_t cycle,
                                                               std::optional<std::uint64_t> frame,
                                                               std::optional<std::uint16_t> pc) const {
  lumivar::NormalizedEvent event;
  event.schema_version = kEventSchemaVersion;
  event.arch = std::string(kMachineId);
  event.machine_version = std::string(kMachineVersion);
  event.run_id = run_id_;
  event.step = cycle;
  event.cycle_or_tick = cycle;
  event.frame = frame;
  if (pc) event.pc = lumivar::SpaceAddress{std::string(kProgramSpace), *pc};
  event.kind = std::move(kind);
  return event;
}

lumivar::Result<void> SessionEvidenceEmitter::emit_run_started(const lumivar::ExecutionRequest& request,
                                                               std::uint16_t boot_pc) {
  lumivar::Result<lumivar::OwnedEmission> started =
      lumivar::OwnedEmission::run_started(lumivar::run_started_record(request));
  if (!started) return std::unexpected(started.error());
  if (auto sent = emit(*started); !sent) return sent;
  auto emitted = emit_event(session_event(lumivar::EventKindTag::RunStarted, 0, 0, boot_pc));
  if (!emitted) return std::unexpected(emitted.error());
  return {};
}

lumivar::Result<void> SessionEvidenceEmitter::emit_input_applied(const ScheduledKeyInput& entry, std::uint64_t frame,
                                                                 std::uint64_t cycle, std::uint16_t mask_before,
                                                                 std::uint16_t mask_after) {
  std::string input_id = format_key_input_id(entry.key);
  if (auto valid = lumivar::validate_identifier("input ID", input_id); !valid) {
    return lumivar::fail("invalid prepared CHIP-8 input ID: " + valid.error().message);
  }
  lumivar::InputApplication application = key_input_application(entry, std::move(input_id), frame);

  lumivar::NormalizedEvent event = session_event(lumivar::EventKindTag::InputApplied, cycle, frame, std::nullopt);
  add_input_applied_content(event, observation_.request.normalized_events.access_detail, application, entry.ordinal,
                            mask_before, mask_after);
  if (auto emitted = emit_event(std::move(event)); !emitted) return std::unexpected(emitted.error());

  if (!observation_.request.input_value_evidence.enabled ||
      !std::ranges::binary_search(observation_.input_value_ids, application.input_id)) {
    return {};
  }
  lumivar::Result<lumivar::OwnedEmission> evidence = lumivar::OwnedEmission::input_value_evidence(std::move(application));
  if (!evidence) return lumivar::fail("encode CHIP-8 InputApplied: " + evidence.error().message);
  return emit(*evidence);
}

lumivar::Result<void> SessionEvidenceEmitter::emit_frame_ticks(std::span<const TimerTick> ticks,
                                                               const Chip8Machine& machine) {
  const lumivar::AccessDetail detail = observation_.request.normalized_events.access_detail;
  for (const TimerTick& tick : ticks) {
    if (tick.sound_before != 0) {
      lumivar::NormalizedEvent sound =
          session_event(lumivar::EventKindTag::SoundEmitted, tick.cycle, tick.frame, std::nullopt);
      add_sound_emitted_content(sound, detail, tick, machine);
      if (auto emitted = emit_event(std::move(sound)); !emitted) return std::unexpected(emitted.error());
    }
    lumivar::NormalizedEvent timers =
        session_event(lumivar::EventKindTag::TimerChanged, tick.cycle, tick.frame, std::nullopt);
    add_timer_changed_content(timers, detail, tick);
    if (auto emitted = emit_event(std::move(timers)); !emitted) return std::unexpected(emitted.error());
  }
  return {};
}

lumivar::Result<void> SessionEvidenceEmitter::emit_frame_completed(const Chip8Emulator& emulator) {
  // Checked before the event is built: its frame index is the count minus one.
  if (emulator.frame_count() == 0) return lumivar::fail("CHIP-8 emitted frame evidence before completing a frame");
  const std::uint64_t cycle = emulator.cycle_count();
  const std::uint64_t frame = emulator.frame_count() - 1;
  const lumivar::FrameCapture capture = observation_.request.frames.capture;
  // Runs that ask for no frame evidence pay nothing per frame.
  const bool selected = lumivar::selects(observation_.request.normalized_events.events,
                                         lumivar::EventKind(lumivar::EventKindTag::FrameCompleted));
  if (!selected && capture == lumivar::FrameCapture::None) return {};
  auto emitted = emit_event(
      session_event(lumivar::EventKindTag::FrameCompleted, cycle, frame, emulator.machine().PC));
  if (!emitted) return std::unexpected(emitted.error());
  if (capture == lumivar::FrameCapture::None) return {};
  std::vector<std::uint8_t> pixels = emulator.export_frame();
  lumivar::FrameArtifact artifact;
  if (capture == lumivar::FrameCapture::Hashes) {
    const lumivar::Sha256Digest digest = lumivar::sha256(pixels);
    artifact = lumivar::frame_artifact_fingerprint(
        lumivar::SchemaRef{std::string(kFrameFingerprintSchema), {1, 0, 0}}, run_id_, std::string(kMachineId),
        std::string(kMachineVersion), emitted->sequence, cycle, frame,
        lumivar::ByteString(digest.begin(), digest.end()));
  } else {
    artifact = lumivar::frame_artifact_full(lumivar::SchemaRef{std::string(kFramePixelsSchema), {1, 0, 0}}, run_id_,
                                            std::string(kMachineId), std::string(kMachineVersion),
                                            emitted->sequence, cycle, frame, std::move(pixels));
  }
  lumivar::Result<lumivar::OwnedEmission> emission = lumivar::OwnedEmission::frame(std::move(artifact));
  if (!emission) return std::unexpected(emission.error());
  return emit(*emission);
}

lumivar::Result<void> SessionEvidenceEmitter::emit_snapshot(const Chip8Emulator& emulator, lumivar::ByteString bytes) {
  const lumivar::SchemaRef state_schema{std::string(kSnapshotSchema), kSessionSnapshotVersion};
  const std::uint64_t cycle = emulator.cycle_count();
  lumivar::NormalizedEvent event = session_event(lumivar::EventKindTag::SnapshotCaptured, cycle,
                                                 emulator.frame_count(), emulator.machine().PC);
  add_snapshot_content(event, state_schema, bytes);
  lumivar::SnapshotEnvelope envelope =
      lumivar::snapshot_envelope(state_schema, run_id_, std::string(kMachineId), std::string(kMachineVersion),
                                 ledger_.next_sequence, cycle, std::move(bytes));
  if (auto emitted = emit_event(std::move(event)); !emitted) return std::unexpected(emitted.error());
  lumivar::Result<lumivar::OwnedEmission> emission = lumivar::OwnedEmission::snapshot(std::move(envelope));
  if (!emission) return std::unexpected(emission.error());
  return emit(*emission);
}

lumivar::Result<void> SessionEvidenceEmitter::emit_terminal_event(Termination termination,
                                                                  const Chip8Emulator& emulator) {
  const lumivar::EventKindTag kind =
      is_crash(termination) ? lumivar::EventKindTag::RunCrashed : lumivar::EventKindTag::RunHalted;
  auto emitted =
      emit_event(session_event(kind, emulator.cycle_count(), emulator.frame_count(), emulator.machine().PC));
  if (!emitted) return std::unexpected(emitted.error());
  return {};
}

lumivar::Result<void> SessionEvidenceEmitter::emit_native_evidence(const Chip8Emulator& emulator) {
  for (const EndOfRunRecord record : kEndOfRunRecords) {
    if (!native_evidence_selected(observation_.request.native_evidence, record_kind(record))) continue;
    lumivar::Result<lumivar::OwnedEmission> emission =
        lumivar::OwnedEmission::native_evidence(end_of_run_record(record, emulator, run_id_));
    if (!emission) return std::unexpected(emission.error());
    // The stream takes the record before the tracker here, so that the
    // tracker can keep the payload without copying it; neither sees what the
    // other did with it.
    if (auto sent = stream_.emit(*emission); !sent) return rejected(sent.error());
    if (!tracker_.failed()) {
      tracker_.observe_native_evidence(std::move(*emission).take_payload<lumivar::NativeEvidenceRecord>());
    }
  }
  return {};
}

void SessionEvidenceEmitter::deliver_capabilities() {
  CapabilityResults results = tracker_.deliver();
  std::vector<lumivar::CapabilityReceipt> receipts = unavailable_receipts_;
  receipts.insert(receipts.end(), std::make_move_iterator(results.receipts.begin()),
                  std::make_move_iterator(results.receipts.end()));
  stream_.record_capability_outputs(results.outputs);
  stream_.record_capability_receipts(receipts);
}

lumivar::Result<void> SessionEvidenceEmitter::emit_run_finished(const RunSummary& summary) {
  lumivar::Result<lumivar::OwnedEmission> finished =
      lumivar::OwnedEmission::run_finished(lumivar::RunFinishedRecord{summary.common});
  if (!finished) return std::unexpected(finished.error());
  return emit(*finished);
}

}  // namespace chip8::bundle
