#include "chip8_bundle/emulator_session/chip8_session.hpp"

namespace chip8::bundle {

// Session snapshots are not captured yet: every snapshot the policy asks for
// is skipped, and nothing is emitted for it.
lumivar::Result<std::optional<lumivar::ByteString>> Chip8Session::capture_snapshot_bytes(
    SessionLifecycle recorded) const {
  (void)recorded;
  return std::optional<lumivar::ByteString>();
}

}  // namespace chip8::bundle
