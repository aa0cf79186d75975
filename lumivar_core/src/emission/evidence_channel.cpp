#include "lumivar_core/emission/evidence_channel.hpp"

#include "lumivar_core/error/error.hpp"

namespace lumivar {

std::string_view spelling(EvidenceChannel channel) {
  switch (channel) {
    case EvidenceChannel::NormalizedEvents: return "normalized_events";
    case EvidenceChannel::Capabilities: return "capabilities";
    case EvidenceChannel::NativeEvidence: return "native_evidence";
    case EvidenceChannel::Frames: return "frames";
    case EvidenceChannel::Snapshots: return "snapshots";
    case EvidenceChannel::InputValueEvidence: return "input_value_evidence";
    case EvidenceChannel::Envelope: return "envelope";
  }
  fatal("evidence channel out of range");
}

std::string_view spelling(BudgetKind kind) {
  switch (kind) {
    case BudgetKind::NormalizedEvents: return "normalized_events";
    case BudgetKind::NormalizedBytes: return "normalized_bytes";
    case BudgetKind::CapabilityBytes: return "capability_bytes";
    case BudgetKind::NativeEvents: return "native_events";
    case BudgetKind::NativeBytes: return "native_bytes";
    case BudgetKind::FrameBytes: return "frame_bytes";
    case BudgetKind::SnapshotBytes: return "snapshot_bytes";
    case BudgetKind::InputValueEvents: return "input_value_events";
    case BudgetKind::InputValueBytes: return "input_value_bytes";
    case BudgetKind::TotalLogicalBytes: return "total_logical_bytes";
  }
  fatal("budget kind out of range");
}

std::string_view message_text(BudgetKind kind) {
  switch (kind) {
    case BudgetKind::NormalizedEvents: return "NormalizedEvents";
    case BudgetKind::NormalizedBytes: return "NormalizedBytes";
    case BudgetKind::CapabilityBytes: return "CapabilityBytes";
    case BudgetKind::NativeEvents: return "NativeEvents";
    case BudgetKind::NativeBytes: return "NativeBytes";
    case BudgetKind::FrameBytes: return "FrameBytes";
    case BudgetKind::SnapshotBytes: return "SnapshotBytes";
    case BudgetKind::InputValueEvents: return "InputValueEvents";
    case BudgetKind::InputValueBytes: return "InputValueBytes";
    case BudgetKind::TotalLogicalBytes: return "TotalLogicalBytes";
  }
  fatal("budget kind out of range");
}

}  // namespace lumivar
