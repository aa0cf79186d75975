#include "lumivar_core/replay/event_projection.hpp"

#include <limits>
#include <string>

namespace lumivar {

EventProjection::EventProjection() : hasher_(kEventProjectionKind) {}

bool projection_strips_snapshot_members(const NormalizedEvent& event) {
  if (event.kind.tag != EventKindTag::SnapshotCaptured) return false;
  auto extension = event.extensions.find(kSnapshotExtensionKey);
  if (extension == event.extensions.end()) return false;
  const JsonObject* members = extension->second.get_if<JsonObject>();
  return members != nullptr && (members->contains("digest") || members->contains("byte_len"));
}

Result<void> EventProjection::absorb(const NormalizedEvent& event, std::string_view canonical_json,
                                     ByteRange run_id_member) {
  if (projection_strips_snapshot_members(event)) return absorb(event);
  return absorb_without_run_id(canonical_json.substr(0, run_id_member.begin),
                               canonical_json.substr(run_id_member.end));
}

Result<void> EventProjection::absorb(const NormalizedEvent& event) {
  Result<CanonicalEventJson> encoded;
  if (projection_strips_snapshot_members(event)) {
    NormalizedEvent copy = event;
    JsonObject& members = copy.extensions.find(kSnapshotExtensionKey)->second.as<JsonObject>();
    members.erase("digest");
    members.erase("byte_len");
    encoded = encode_normalized_event(copy);
  } else {
    encoded = encode_normalized_event(event);
  }
  if (!encoded) return std::unexpected(encoded.error());
  return absorb_without_run_id(encoded->before_run_id(), encoded->after_run_id());
}

Result<void> EventProjection::absorb_without_run_id(std::string_view before, std::string_view after) {
  if (!hasher_.active()) fatal("event projection absorbed an event after it was finished");
  // Checked before hashing so a refused event leaves the hash untouched.
  if (event_count_ == std::numeric_limits<std::uint64_t>::max()) {
    return fail("event projection record count overflow");
  }
  // One length-prefixed part, assembled from the two pieces around run_id.
  hasher_.add_u64_be(before.size() + after.size());
  hasher_.add_raw(as_bytes(before));
  hasher_.add_raw(as_bytes(after));
  ++event_count_;
  return {};
}

EventProjectionFingerprint EventProjection::finish() {
  if (!hasher_.active()) fatal("event projection finished twice");
  hasher_.add(std::string_view("event_count"));
  hasher_.add_u64_be(event_count_);
  return EventProjectionFingerprint{
      .schema = SchemaRef{std::string(kEventProjectionFingerprintSchemaId), kEventProjectionFingerprintSchemaVersion},
      .event_count = event_count_,
      .digest = hasher_.finish(),
  };
}

}  // namespace lumivar
