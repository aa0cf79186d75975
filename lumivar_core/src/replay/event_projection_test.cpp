#include "lumivar_core/replay/event_projection.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/encoding/hex_testing.hpp"
#include "lumivar_core/event/normalized_event_testing.hpp"

namespace lumivar {
namespace {

using testing::full_event;
using testing::minimal_event;

ByteString part(std::string_view text) {
  ByteString out;
  for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(text.size() >> (8 * i)));
  out.insert(out.end(), text.begin(), text.end());
  return out;
}

ByteString u64_be(std::uint64_t value) {
  ByteString out;
  for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}

ByteString concat(std::initializer_list<ByteString> pieces) {
  ByteString out;
  for (const ByteString& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

Sha256Digest projection_digest(std::initializer_list<NormalizedEvent> events) {
  EventProjection projection;
  for (const NormalizedEvent& event : events) {
    Result<CanonicalEventJson> encoded = encode_normalized_event(event);
    if (!encoded || !projection.absorb(event, *encoded)) ADD_FAILURE() << "absorb failed";
  }
  return projection.finish().digest;
}

NormalizedEvent snapshot_event(std::uint64_t byte_len, std::uint8_t digest_byte, std::string run_id = "r") {
  NormalizedEvent event = minimal_event(std::move(run_id));
  event.kind = EventKindTag::SnapshotCaptured;
  event.extensions.emplace(
      "lumivar.snapshot",
      JsonValue(JsonObject{
          {"state_schema", JsonValue(JsonObject{{"id", JsonValue("chip8.session.snapshot")}})},
          {"byte_len", JsonValue(byte_len)},
          {"digest", JsonValue(JsonObject{{"algorithm", JsonValue("sha256")},
                                          {"value", JsonValue(JsonArray{JsonValue(unsigned{digest_byte})})}})},
      }));
  return event;
}

TEST(EventProjection, EmptyProjectionHashesOnlyTheCount) {
  EventProjection projection;
  EventProjectionFingerprint fingerprint = projection.finish();
  EXPECT_EQ(fingerprint.schema, (SchemaRef{"lumivar.event_projection_fingerprint", {1, 0, 0}}));
  EXPECT_EQ(fingerprint.event_count, 0u);
  ByteString input = concat({part("lumivar.sha256.domain.v1"), part("lumivar.event_projection.v1"),
                             part("event_count"), u64_be(0)});
  EXPECT_BYTES_EQ(sha256(input), fingerprint.digest);
  EXPECT_TRUE(projection.finished());
}

TEST(EventProjection, HashesEachEventWithoutRunId) {
  NormalizedEvent event = minimal_event();
  std::string without_run_id =
      R"({"arch":"chip8","causes":[],"control_flow":null,"cycle_or_tick":null,"extensions":{},"frame":null,)"
      R"("instruction":null,"io":[],"kind":"run_started","machine_version":"mv","pc":null,"reads":[],)"
      R"("schema_version":{"major":1,"minor":0,"patch":0},"sequence":0,"step":0,"trap":null,"writes":[]})";
  ByteString input = concat({part("lumivar.sha256.domain.v1"), part("lumivar.event_projection.v1"),
                             part(without_run_id), part(without_run_id), part("event_count"), u64_be(2)});
  EventProjection projection;
  ASSERT_TRUE(projection.absorb(event).has_value());
  ASSERT_TRUE(projection.absorb(event).has_value());
  EXPECT_EQ(projection.event_count(), 2u);
  EventProjectionFingerprint fingerprint = projection.finish();
  EXPECT_EQ(fingerprint.event_count, 2u);
  EXPECT_BYTES_EQ(sha256(input), fingerprint.digest);
}

TEST(EventProjection, IndependentOfRunIdOnly) {
  Sha256Digest base = projection_digest({full_event("run-a"), minimal_event("run-a")});
  EXPECT_EQ(base, projection_digest({full_event("another run"), minimal_event("x")}));
  NormalizedEvent later = full_event("run-a");
  later.sequence += 1;
  EXPECT_NE(base, projection_digest({later, minimal_event("run-a")}));
  EXPECT_NE(base, projection_digest({minimal_event("run-a"), full_event("run-a")}));
  EXPECT_NE(base, projection_digest({full_event("run-a")}));
}

TEST(EventProjection, EncodedAndStructPathsAgree) {
  for (const NormalizedEvent& event : {minimal_event(), full_event(), snapshot_event(10, 1)}) {
    EventProjection from_struct;
    ASSERT_TRUE(from_struct.absorb(event).has_value());
    Result<CanonicalEventJson> encoded = encode_normalized_event(event);
    ASSERT_TRUE(encoded.has_value());
    EventProjection from_bytes;
    ASSERT_TRUE(from_bytes.absorb(event, *encoded).has_value());
    EXPECT_EQ(from_struct.finish(), from_bytes.finish());
  }
}

TEST(EventProjection, SnapshotCapturedLeavesOutDigestAndLength) {
  Sha256Digest base = projection_digest({snapshot_event(10, 1)});
  EXPECT_EQ(base, projection_digest({snapshot_event(20, 2, "other run")}));

  // What is left of the extension is still hashed.
  NormalizedEvent other_schema = snapshot_event(10, 1);
  other_schema.extensions["lumivar.snapshot"].as<JsonObject>()["state_schema"] = JsonValue("x");
  EXPECT_NE(base, projection_digest({other_schema}));

  // The same extension under another kind is hashed whole.
  NormalizedEvent not_snapshot = snapshot_event(10, 1);
  not_snapshot.kind = EventKindTag::FrameCompleted;
  NormalizedEvent not_snapshot_changed = snapshot_event(20, 2);
  not_snapshot_changed.kind = EventKindTag::FrameCompleted;
  EXPECT_NE(projection_digest({not_snapshot}), projection_digest({not_snapshot_changed}));

  // Already stripped by the caller: the same projection.
  NormalizedEvent stripped = snapshot_event(10, 1);
  JsonObject& members = stripped.extensions["lumivar.snapshot"].as<JsonObject>();
  members.erase("digest");
  members.erase("byte_len");
  EXPECT_EQ(base, projection_digest({stripped}));
}

TEST(EventProjection, NonFiniteEventIsRefusedAndNotCounted) {
  NormalizedEvent event = full_event();
  event.reads[0].value = JsonValue(std::numeric_limits<double>::infinity());
  EventProjection projection;
  Result<void> result = projection.absorb(event);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, "cannot convert value to canonical JSON: non-finite float");
  EXPECT_EQ(projection.event_count(), 0u);
  EXPECT_EQ(projection.finish().digest, projection_digest({}));
}

}  // namespace
}  // namespace lumivar
