#include "chip8_bundle/emulator_session/observation_mode.hpp"

namespace chip8::bundle {

namespace {

// Kinds the session emits itself, at run and frame boundaries, without
// looking at individual steps.
bool is_boundary_kind(const lumivar::EventKind& kind) {
  switch (kind.tag) {
    case lumivar::EventKindTag::RunStarted:
    case lumivar::EventKindTag::FrameCompleted:
    case lumivar::EventKindTag::SnapshotCaptured:
    case lumivar::EventKindTag::RunHalted:
    case lumivar::EventKindTag::RunCrashed:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool observation_needed(const lumivar::ObservationRequest& request) {
  if (request.normalized_events.state_diffs) return true;
  if (request.snapshots.capture.kind == lumivar::SnapshotCaptureKind::EverySteps) return true;
  const lumivar::EventSelection& selection = request.normalized_events.events;
  switch (selection.level) {
    case lumivar::EventSelectionLevel::None:
    case lumivar::EventSelectionLevel::Lifecycle:
      return false;
    case lumivar::EventSelectionLevel::Effects:
    case lumivar::EventSelectionLevel::Instructions:
    case lumivar::EventSelectionLevel::All:
      return true;
    case lumivar::EventSelectionLevel::Kinds:
      for (const lumivar::EventKind& kind : selection.kinds) {
        if (!is_boundary_kind(kind)) return true;
      }
      return false;
  }
  return false;
}

}  // namespace chip8::bundle
