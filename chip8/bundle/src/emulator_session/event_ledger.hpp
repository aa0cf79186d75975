#pragma once
// The session's record of the normalized events it emitted: the sequence the
// next one receives and the event projection they fold into.

#include <cstdint>

#include "lumivar_core/replay/event_projection.hpp"

namespace chip8::bundle {

struct EventLedger {
  std::uint64_t next_sequence = 0;
  lumivar::EventProjection projection;
  bool projection_active = true;  // the projection has not been finished

  // Sequence 0 and a new, active projection: the state of a fresh session.
  void restart() {
    next_sequence = 0;
    projection = lumivar::EventProjection();
    projection_active = true;
  }

  // Finishes the projection once; an empty one takes its place, inactive.
  lumivar::EventProjectionFingerprint finish_projection() {
    lumivar::EventProjectionFingerprint fingerprint = projection.finish();
    projection = lumivar::EventProjection();
    projection_active = false;
    return fingerprint;
  }
};

}  // namespace chip8::bundle
