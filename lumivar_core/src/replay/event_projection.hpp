#pragma once
// The event projection: a running domain-separated hash over the normalized
// events of a run with their run_id left out, so that two runs of the same
// request can be compared event for event whatever their run IDs.
//
// Each event enters as one length-prefixed part holding its canonical JSON
// without the run_id member. The emission stream already holds that JSON, so
// absorbing an encoded event hashes it around the run_id member instead of
// writing the event a second time.

#include <cstdint>
#include <string_view>

#include "lumivar_core/digest/domain_hasher.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/event/normalized_event_json.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr std::string_view kEventProjectionKind = "lumivar.event_projection.v1";
inline constexpr std::string_view kEventProjectionFingerprintSchemaId = "lumivar.event_projection_fingerprint";
inline constexpr SchemaVersion kEventProjectionFingerprintSchemaVersion{1, 0, 0};
// The extension of a snapshot_captured event whose digest and byte_len are
// left out of the projection: they describe the captured bytes, not the run.
inline constexpr std::string_view kSnapshotExtensionKey = "lumivar.snapshot";

struct EventProjectionFingerprint {
  SchemaRef schema;
  std::uint64_t event_count = 0;
  Sha256Digest digest{};

  friend bool operator==(const EventProjectionFingerprint&, const EventProjectionFingerprint&) = default;
};

class EventProjection {
 public:
  // Begun, with no events absorbed.
  EventProjection();

  // Folds one event given with its canonical JSON and the range of its
  // run_id member (as written by encode_normalized_event for this very event).
  [[nodiscard]] Result<void> absorb(const NormalizedEvent& event, std::string_view canonical_json,
                                    ByteRange run_id_member);
  [[nodiscard]] Result<void> absorb(const NormalizedEvent& event, const CanonicalEventJson& encoded) {
    return absorb(event, encoded.json, encoded.run_id_member);
  }
  // Folds one event, writing its JSON first.
  [[nodiscard]] Result<void> absorb(const NormalizedEvent& event);

  // The length-prefixed text "event_count", the count as 8 big-endian bytes,
  // and the digest. Called once; the projection cannot absorb afterwards.
  [[nodiscard]] EventProjectionFingerprint finish();

  [[nodiscard]] std::uint64_t event_count() const { return event_count_; }
  [[nodiscard]] bool finished() const { return !hasher_.active(); }

 private:
  [[nodiscard]] Result<void> absorb_without_run_id(std::string_view before, std::string_view after);

  DomainHasher hasher_;
  std::uint64_t event_count_ = 0;
};

// True for a snapshot_captured event whose "lumivar.snapshot" extension still
// carries digest or byte_len: its projection is written from a copy without them.
[[nodiscard]] bool projection_strips_snapshot_members(const NormalizedEvent& event);

}  // namespace lumivar
