#include "chip8_bundle/normalizer/capability_tracker.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "chip8_bundle/contract/capability_catalog.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/identifier/identifier.hpp"

namespace chip8::bundle {

namespace {

constexpr lumivar::SchemaVersion kOutputVersion{1, 0, 0};

void bump(std::uint64_t& counter, std::uint64_t by = 1) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  counter = by > kMax - counter ? kMax : counter + by;
}

lumivar::CapabilitySchema output_schema(std::string_view id) { return {std::string(id), kOutputVersion}; }

lumivar::CapabilityReceipt receipt_without_output(std::string id, lumivar::CapabilityStatus status,
                                                  std::optional<std::string> message) {
  return lumivar::CapabilityReceipt{.id = std::move(id),
                                    .status = status,
                                    .output_schema = std::nullopt,
                                    .logical_bytes = 0,
                                    .message = std::move(message)};
}

lumivar::JsonValue control_flow_value(const ControlFlowCounters& c) {
  return lumivar::JsonValue(lumivar::JsonObject{
      {"schema", lumivar::JsonValue("bounded_control_flow_motifs")},
      {"instructions", lumivar::JsonValue(c.instructions)},
      {"branches", lumivar::JsonValue(c.branches)},
      {"calls", lumivar::JsonValue(c.calls)},
      {"returns", lumivar::JsonValue(c.returns)},
      {"interrupts", lumivar::JsonValue(c.interrupts)},
      {"traps", lumivar::JsonValue(c.traps)},
      {"max_call_depth", lumivar::JsonValue(c.max_call_depth)},
      {"open_call_depth", lumivar::JsonValue(c.call_depth)},
  });
}

lumivar::JsonValue visual_value(const VisualCounters& v) {
  return lumivar::JsonValue(lumivar::JsonObject{
      {"schema", lumivar::JsonValue("chip8_visual_trajectory_motifs")},
      {"frame_events", lumivar::JsonValue(v.frame_events)},
      {"frame_artifacts", lumivar::JsonValue(v.frame_artifacts)},
      {"frame_hash_changes", lumivar::JsonValue(v.frame_hash_changes)},
      {"repeated_frame_hashes", lumivar::JsonValue(v.repeated_frame_hashes)},
      {"full_artifact_count", lumivar::JsonValue(v.full_artifacts)},
      {"display_write_events", lumivar::JsonValue(v.display_write_events)},
      {"display_state_writes", lumivar::JsonValue(v.display_state_writes)},
      {"max_display_writes_per_event", lumivar::JsonValue(v.max_display_writes_per_event)},
      {"input_events", lumivar::JsonValue(v.input_events)},
  });
}

lumivar::JsonValue input_summary_value(const InputCounters& i) {
  return lumivar::JsonValue(lumivar::JsonObject{
      {"values", lumivar::JsonValue(i.values)},
      {"distinct_inputs", lumivar::JsonValue(static_cast<std::uint64_t>(i.distinct_inputs.size()))},
  });
}

}  // namespace

void CapabilityTracker::start(std::span<const lumivar::CapabilityRequest> requests) {
  *this = CapabilityTracker();
  requests_.assign(requests.begin(), requests.end());
  for (const lumivar::CapabilityRequest& request : requests_) {
    control_flow_wanted_ = control_flow_wanted_ || request.id == kControlFlowMotifsCapability;
    visual_wanted_ = visual_wanted_ || request.id == kVisualTrajectoryMotifsCapability;
    input_summary_wanted_ = input_summary_wanted_ || request.id == kInputSummaryCapability;
  }
}

void CapabilityTracker::observe(const lumivar::OwnedEmission& emission) {
  if (failed()) return;
  switch (emission.kind()) {
    case lumivar::EmissionKind::Event:
      observe_event(emission.get<lumivar::NormalizedEvent>());
      return;
    case lumivar::EmissionKind::Frame:
      if (visual_wanted_) observe_frame(emission.get<lumivar::FrameArtifact>());
      return;
    case lumivar::EmissionKind::NativeEvidence:
      observe_native_evidence(emission.get<lumivar::NativeEvidenceRecord>());
      return;
    case lumivar::EmissionKind::InputValueEvidence:
      if (input_summary_wanted_) {
        bump(inputs_.values);
        const std::string& id = emission.get<lumivar::InputApplication>().input_id;
        if (!inputs_.distinct_inputs.contains(id)) inputs_.distinct_inputs.insert(id);
      }
      return;
    default:
      return;
  }
}

void CapabilityTracker::observe_event(const lumivar::NormalizedEvent& event) {
  using lumivar::EventKindTag;
  if (control_flow_wanted_) {
    ControlFlowCounters& c = control_flow_;
    switch (event.kind.tag) {
      case EventKindTag::InstructionDecoded: bump(c.instructions); break;
      case EventKindTag::BranchTaken: bump(c.branches); break;
      case EventKindTag::Call:
        bump(c.calls);
        bump(c.call_depth);
        c.max_call_depth = std::max(c.max_call_depth, c.call_depth);
        break;
      case EventKindTag::Return:
        bump(c.returns);
        if (c.call_depth > 0) --c.call_depth;
        break;
      case EventKindTag::Interrupt: bump(c.interrupts); break;
      case EventKindTag::Trap: bump(c.traps); break;
      default: break;
    }
  }
  if (visual_wanted_) {
    VisualCounters& v = visual_;
    switch (event.kind.tag) {
      case EventKindTag::FrameCompleted: bump(v.frame_events); break;
      case EventKindTag::InputSampled: bump(v.input_events); break;
      case EventKindTag::DisplayWrite: {
        bump(v.display_write_events);
        const auto display_writes = static_cast<std::uint64_t>(
            std::ranges::count_if(event.writes, [](const lumivar::StateWrite& write) {
              return write.location.space.tag == lumivar::StateSpaceTag::Display;
            }));
        bump(v.display_state_writes, display_writes);
        v.max_display_writes_per_event = std::max(v.max_display_writes_per_event, display_writes);
        break;
      }
      default: break;
    }
  }
}

void CapabilityTracker::observe_frame(const lumivar::FrameArtifact& artifact) {
  VisualCounters& v = visual_;
  bump(v.frame_artifacts);
  const lumivar::ByteString& payload = artifact.evidence.bytes;
  lumivar::Sha256Digest digest{};
  if (artifact.evidence.kind == lumivar::FrameEvidenceKind::Full) {
    digest = lumivar::sha256(payload);
    bump(v.full_artifacts);
  } else if (payload.size() == digest.size()) {
    std::ranges::copy(payload, digest.begin());
  } else {
    digest = lumivar::sha256(payload);
  }
  if (v.previous_frame_digest) {
    bump(*v.previous_frame_digest == digest ? v.repeated_frame_hashes : v.frame_hash_changes);
  }
  v.previous_frame_digest = digest;
}

bool CapabilityTracker::wanted_native_evidence(const lumivar::NativeEvidenceRecord& record) {
  const std::string& kind = record.native_event.kind;
  if (!lumivar::validate_identifier("capability ID", kind)) {
    failure_ = "CHIP-8 native evidence kind is not a canonical capability ID: " + kind;
    return false;
  }
  return std::ranges::any_of(requests_,
                             [&](const lumivar::CapabilityRequest& request) { return request.id == kind; });
}

void CapabilityTracker::observe_native_evidence(const lumivar::NativeEvidenceRecord& record) {
  if (!wanted_native_evidence(record)) return;
  const std::string& kind = record.native_event.kind;
  native_outputs_.insert_or_assign(kind, lumivar::CapabilityOutput{output_schema(kind), record.native_event.payload});
}

void CapabilityTracker::observe_native_evidence(lumivar::NativeEvidenceRecord&& record) {
  if (failed() || !wanted_native_evidence(record)) return;
  std::string kind = std::move(record.native_event.kind);
  lumivar::CapabilityOutput output{output_schema(kind), std::move(record.native_event.payload)};
  native_outputs_.insert_or_assign(std::move(kind), std::move(output));
}

lumivar::Result<CapabilityResults> CapabilityTracker::finish() const { return finish_of(*this); }

template <class Tracker>
lumivar::Result<CapabilityResults> CapabilityTracker::finish_of(Tracker& tracker) {
  CapabilityResults results;
  for (const lumivar::CapabilityRequest& request : tracker.requests_) {
    std::optional<lumivar::CapabilityOutput> output;
    if (request.id == kControlFlowMotifsCapability) {
      output = lumivar::CapabilityOutput{output_schema(request.id), control_flow_value(tracker.control_flow_)};
    } else if (request.id == kVisualTrajectoryMotifsCapability) {
      output = lumivar::CapabilityOutput{output_schema(request.id), visual_value(tracker.visual_)};
    } else if (request.id == kInputSummaryCapability) {
      output = lumivar::CapabilityOutput{output_schema(request.id), input_summary_value(tracker.inputs_)};
    } else if (auto stored = tracker.native_outputs_.find(request.id); stored != tracker.native_outputs_.end()) {
      output = std::move(stored->second);  // a copy when the tracker is const
    }
    if (!output) {
      results.receipts.push_back(receipt_without_output(
          request.id, request.required ? lumivar::CapabilityStatus::Failed : lumivar::CapabilityStatus::Unavailable,
          std::string(kNoNativeOutputMessage)));
      continue;
    }
    lumivar::Result<std::string> canonical = lumivar::canonical_json_bytes(output->value);
    if (!canonical) return std::unexpected(canonical.error());
    results.receipts.push_back(lumivar::CapabilityReceipt{.id = request.id,
                                                          .status = lumivar::CapabilityStatus::Fulfilled,
                                                          .output_schema = output->schema,
                                                          .logical_bytes = canonical->size(),
                                                          .message = std::nullopt});
    results.outputs.push_back(std::move(*output));
  }
  return results;
}

CapabilityResults CapabilityTracker::deliver() {
  std::optional<std::string> failure = failure_;
  if (!failure) {
    lumivar::Result<CapabilityResults> finished = finish_of(*this);
    if (finished) return std::move(*finished);
    failure = finished.error().message;
  }
  CapabilityResults results;
  for (const lumivar::CapabilityRequest& request : requests_) {
    results.receipts.push_back(receipt_without_output(request.id, lumivar::CapabilityStatus::Failed, failure));
  }
  return results;
}

std::vector<lumivar::CapabilityReceipt> unavailable_capability_receipts(
    const lumivar::PreparedObservation& observation) {
  std::vector<lumivar::CapabilityReceipt> receipts;
  for (const lumivar::PreparedCapability& capability : observation.capabilities) {
    if (!capability.requested || capability.status != lumivar::PreparedCapabilityStatus::Unavailable) continue;
    receipts.push_back(
        receipt_without_output(capability.id, lumivar::CapabilityStatus::Unavailable, capability.message));
  }
  return receipts;
}

}  // namespace chip8::bundle
