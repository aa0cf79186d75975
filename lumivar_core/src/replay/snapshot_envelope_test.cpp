#include "lumivar_core/replay/snapshot_envelope.hpp"

#include <gtest/gtest.h>

#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/encoding/hex_testing.hpp"

namespace lumivar {
namespace {

const SchemaRef kStateSchema{"chip8.session.snapshot", {5, 0, 0}};

ByteString part(ByteView bytes) {
  ByteString out;
  for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bytes.size() >> (8 * i)));
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}
ByteString part(std::string_view text) { return part(as_bytes(text)); }

void append(ByteString& out, const ByteString& piece) { out.insert(out.end(), piece.begin(), piece.end()); }

TEST(FinalStateDigest, HashesSchemaVersionAndBytesWithDomainFraming) {
  ByteString state = {0xDE, 0xAD, 0x00};
  ByteString input;
  append(input, part("lumivar.sha256.domain.v1"));
  append(input, part("lumivar.final_state.v1"));
  append(input, part("chip8.session.snapshot"));
  append(input, {0x00, 0x05, 0x00, 0x00, 0x00, 0x00});
  append(input, part(state));
  EXPECT_BYTES_EQ(sha256(input), final_state_digest(kStateSchema, state));
}

TEST(FinalStateDigest, EveryInputMatters) {
  ByteString state = {1, 2, 3};
  Sha256Digest base = final_state_digest(kStateSchema, state);
  SchemaRef patched = kStateSchema;
  patched.version.patch = 1;
  SchemaRef renamed = kStateSchema;
  renamed.id = "chip8.session.snapshots";
  ByteString changed = {1, 2, 4};
  EXPECT_NE(base, final_state_digest(patched, state));
  EXPECT_NE(base, final_state_digest(renamed, state));
  EXPECT_NE(base, final_state_digest(kStateSchema, changed));
}

TEST(SnapshotEnvelope, BuildsLengthAndDigestAndGoldenJson) {
  SnapshotEnvelope envelope = snapshot_envelope(kStateSchema, "run-1", "chip8", "mv", 4, 99, {9, 8});
  EXPECT_EQ(envelope.schema, (SchemaRef{"lumivar.snapshot", {1, 0, 0}}));
  EXPECT_EQ(envelope.byte_len, 2u);
  EXPECT_EQ(envelope.digest, final_state_digest(kStateSchema, envelope.bytes));
  EXPECT_TRUE(validate_snapshot_envelope(envelope).has_value());

  envelope.digest = Sha256Digest{};
  envelope.digest[31] = 0xAB;
  JsonWriter writer;
  write_snapshot_envelope(writer, envelope);
  EXPECT_BYTES_EQ(
      R"({"arch":"chip8","byte_len":2,"bytes":[9,8],"digest":[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,171],)"
      R"("machine_version":"mv","run_id":"run-1","schema":{"id":"lumivar.snapshot","version":{"major":1,"minor":0,"patch":0}},)"
      R"("sequence":4,"state_schema":{"id":"chip8.session.snapshot","version":{"major":5,"minor":0,"patch":0}},"step":99})",
      writer.view());
}

TEST(SnapshotEnvelope, Validation) {
  SnapshotEnvelope good = snapshot_envelope(kStateSchema, "run-1", "chip8", "mv", 0, 0, {1, 2, 3});
  std::string good_digest = sha256_text(good.digest);

  SnapshotEnvelope wrong_schema = good;
  wrong_schema.schema.version = {1, 1, 0};
  SnapshotEnvelope long_declared = good;
  long_declared.byte_len = 4;
  long_declared.digest = Sha256Digest{};  // the length is examined first
  SnapshotEnvelope changed_byte = good;
  changed_byte.bytes[0] = 0xFF;
  SnapshotEnvelope changed_patch = good;
  changed_patch.state_schema.version.patch = 1;

  struct Case {
    const char* name;
    const SnapshotEnvelope& envelope;
    std::string message;
  };
  const Case cases[] = {
      {"schema", wrong_schema, "unsupported snapshot envelope schema lumivar.snapshot version 1.1.0"},
      {"length", long_declared, "snapshot declares 4 bytes but contains 3"},
      {"state byte", changed_byte,
       "snapshot digest mismatch: expected " + good_digest + ", computed " +
           sha256_text(final_state_digest(kStateSchema, changed_byte.bytes))},
      {"state schema patch", changed_patch,
       "snapshot digest mismatch: expected " + good_digest + ", computed " +
           sha256_text(final_state_digest(changed_patch.state_schema, good.bytes))},
  };
  for (const Case& c : cases) {
    Result<void> result = validate_snapshot_envelope(c.envelope);
    ASSERT_FALSE(result.has_value()) << c.name;
    EXPECT_EQ(result.error().message, c.message) << c.name;
  }
  EXPECT_EQ(good_digest.substr(0, 7), "sha256:");
  EXPECT_EQ(good_digest.size(), 7u + 64u);
}

}  // namespace
}  // namespace lumivar
