#include "chip8_bundle/emulator_session/step_evidence.hpp"

#include <optional>
#include <utility>

#include "chip8_bundle/emulator_session/evidence_emitter.hpp"
#include "chip8_bundle/normalizer/native_adapter.hpp"
#include "chip8_bundle/normalizer/native_evidence_records.hpp"
#include "chip8_bundle/trace/native_event.hpp"
#include "chip8_bundle/trace/step_trace.hpp"
#include "lumivar_core/observation/event_selection.hpp"

namespace chip8::bundle {

namespace {

using lumivar::CausalRelationTag;
using lumivar::EventKind;
using lumivar::EventKindTag;
using lumivar::NormalizedEvent;

constexpr std::string_view kSameStepEvidence = "same CHIP-8 execution step";
constexpr std::string_view kKeyWaitSamplingEvidence = "opcode-less CHIP-8 key-wait sampling step";
constexpr std::string_view kStateDeltaEvidence = "state delta from the same CHIP-8 execution step";
constexpr std::string_view kKeypadSampleEvidence = "keypad sample caused this wait-state transition";

CausalRelationTag relation_for(const EventKind& kind) {
  switch (kind.tag) {
    case EventKindTag::BranchTaken:
    case EventKindTag::Call:
    case EventKindTag::Return:
    case EventKindTag::Interrupt:
    case EventKindTag::Trap:
      return CausalRelationTag::Control;
    case EventKindTag::InputSampled:
      return CausalRelationTag::Input;
    default:
      return CausalRelationTag::Data;
  }
}

// The normalized kind the adapter gives a machine event, known before the
// event is built so that unselected events cost nothing.
EventKind adapted_kind(MachineEvent::Kind kind) {
  using Kind = MachineEvent::Kind;
  switch (kind) {
    case Kind::Jump: return EventKindTag::BranchTaken;
    case Kind::Call: return EventKindTag::Call;
    case Kind::Return: return EventKindTag::Return;
    case Kind::StackPush:
    case Kind::StackPop: return EventKindTag::StackChanged;
    case Kind::ClearScreen:
    case Kind::Draw:
    case Kind::ScrollUp:
    case Kind::ScrollDown:
    case Kind::ScrollLeft:
    case Kind::ScrollRight:
    case Kind::HiresEnabled:
    case Kind::LoresEnabled: return EventKindTag::DisplayWrite;
    case Kind::TimerSet: return EventKindTag::TimerChanged;
    case Kind::MemoryWrite: return EventKindTag::MemoryWrite;
    case Kind::InvalidOpcode: return EventKindTag::Trap;
    case Kind::KeyWaitEntered: return EventKind::extension_kind("chip8.key_wait_entered");
    case Kind::KeyWaitResolved: return EventKindTag::InputSampled;
  }
  lumivar::fatal("machine event kind out of range");
}

void add_cause(NormalizedEvent& event, std::optional<std::uint64_t> source, lumivar::CausalRelation relation,
               std::string_view evidence) {
  if (!source) return;
  event.causes.push_back(lumivar::Cause{*source, std::move(relation), std::string(evidence)});
}

// Emits the normalized events of observed steps in step assembly order, with
// the causes that link them to the step's anchor event.
class StepAssembly final : public StepEvidence {
 public:
  StepAssembly(const lumivar::PreparedObservation& observation, const QuirkFlags& quirks)
      : request_(observation.request), quirks_(quirks) {}

  lumivar::Result<void> flush(Chip8Emulator& emulator, SessionEvidenceEmitter& emitter) override {
    std::vector<ObservedStep> steps = emulator.take_observed_steps();
    for (const ObservedStep& step : steps) {
      if (auto assembled = assemble(step, emitter); !assembled) return assembled;
    }
    return {};
  }

 private:
  struct StepLinks {
    std::optional<std::uint64_t> anchor;         // the latest emitted step_started / instruction_decoded
    std::optional<std::uint64_t> keypad_sample;  // the latest emitted input_sampled of the step
  };

  [[nodiscard]] bool selected(const EventKind& kind) const {
    return lumivar::selects(request_.normalized_events.events, kind);
  }
  [[nodiscard]] lumivar::AccessDetail detail() const { return request_.normalized_events.access_detail; }

  // Emits the event; returns its sequence when it was emitted.
  static lumivar::Result<std::optional<std::uint64_t>> send(SessionEvidenceEmitter& emitter, NormalizedEvent&& event) {
    lumivar::Result<EmittedEvent> emitted = emitter.emit_event(std::move(event));
    if (!emitted) return std::unexpected(emitted.error());
    if (!emitted->emitted) return std::optional<std::uint64_t>{};
    return std::optional<std::uint64_t>{emitted->sequence};
  }

  lumivar::Result<void> assemble(const ObservedStep& step, SessionEvidenceEmitter& emitter) {
    const NativeRecord record = step_native_record(step, emitter.run_id(), instructions_);
    StepLinks links;

    if (selected(EventKindTag::StepStarted)) {
      auto sent = send(emitter, step_event(record, EventKindTag::StepStarted));
      if (!sent) return std::unexpected(sent.error());
      if (*sent) links.anchor = *sent;
    }
    if (step.fetched && selected(EventKindTag::InstructionDecoded)) {
      NormalizedEvent decoded = step_event(record, EventKindTag::InstructionDecoded);
      decoded.reads = decoded_reads(step, quirks_, detail());
      auto sent = send(emitter, std::move(decoded));
      if (!sent) return std::unexpected(sent.error());
      if (*sent) links.anchor = *sent;
    }
    if (selected(EventKindTag::InputSampled)) {
      if (std::optional<NormalizedEvent> sample = key_wait_sample(step, record, detail())) {
        add_cause(*sample, links.anchor, CausalRelationTag::Input, kKeyWaitSamplingEvidence);
        auto sent = send(emitter, std::move(*sample));
        if (!sent) return std::unexpected(sent.error());
        if (*sent) links.keypad_sample = *sent;
      }
    }
    for (const MachineEvent& machine_event : step.events) {
      if (auto adapted = emit_machine_event(step, record, machine_event, links, emitter); !adapted) return adapted;
    }
    for (auto derive : {&taken_skip, &randomness_sample, &fault_event}) {
      std::optional<NormalizedEvent> derived = derive(step, record);
      if (!derived || !selected(derived->kind)) continue;
      add_cause(*derived, links.anchor, relation_for(derived->kind), kSameStepEvidence);
      if (auto sent = send(emitter, std::move(*derived)); !sent) return std::unexpected(sent.error());
    }
    if (request_.normalized_events.state_diffs) return emit_state_changes(step, record, links, emitter);
    return {};
  }

  lumivar::Result<void> emit_machine_event(const ObservedStep& step, const NativeRecord& record,
                                           const MachineEvent& machine_event, StepLinks& links,
                                           SessionEvidenceEmitter& emitter) {
    if (!selected(adapted_kind(machine_event.kind))) return {};
    const NativeEvent native = native_event(step, machine_event);
    // The native payload stays on the event only where native evidence of its
    // kind was asked for.
    const bool keep_extensions = native_evidence_selected(request_.native_evidence, native.kind);
    lumivar::Result<NormalizedEvent> adapted = keep_extensions
                                                   ? normalize_native_event(record, native)
                                                   : normalize_native_event_without_payload(record, native);
    if (!adapted) return std::unexpected(adapted.error());
    apply_state_details(*adapted, machine_event, step, detail());
    add_cause(*adapted, links.anchor, relation_for(adapted->kind), kSameStepEvidence);
    const bool input_sample = adapted->kind.tag == EventKindTag::InputSampled;
    auto sent = send(emitter, std::move(*adapted));
    if (!sent) return std::unexpected(sent.error());
    if (input_sample && *sent) links.keypad_sample = *sent;
    return {};
  }

  lumivar::Result<void> emit_state_changes(const ObservedStep& step, const NativeRecord& record,
                                           const StepLinks& links, SessionEvidenceEmitter& emitter) {
    const bool wait_step = !step.fetched && step.before.key_wait.phase != KeyWait::Phase::None;
    for (NormalizedEvent& change : internal_state_changes(step, record, detail())) {
      if (!selected(change.kind)) continue;
      add_cause(change, links.anchor, CausalRelationTag::Data, kStateDeltaEvidence);
      if (wait_step && !change.writes.empty()) {
        add_cause(change, links.keypad_sample, CausalRelationTag::Input, kKeypadSampleEvidence);
      }
      if (auto sent = send(emitter, std::move(change)); !sent) return std::unexpected(sent.error());
    }
    return {};
  }

  const lumivar::ObservationRequest& request_;
  QuirkFlags quirks_;
  InstructionCache instructions_;
};

}  // namespace

std::unique_ptr<StepEvidence> make_step_evidence(const lumivar::PreparedObservation& observation,
                                                 const QuirkFlags& quirks) {
  return std::make_unique<StepAssembly>(observation, quirks);
}

}  // namespace chip8::bundle
