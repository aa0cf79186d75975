#include "lumivar_core/replay/snapshot_envelope.hpp"

#include <utility>

#include "lumivar_core/digest/domain_hasher.hpp"
#include "lumivar_core/event/json_members.hpp"

namespace lumivar {

Sha256Digest final_state_digest(const SchemaRef& state_schema, ByteView bytes) {
  DomainHasher hasher(kFinalStateDigestKind);
  hasher.add(std::string_view(state_schema.id));
  hasher.add_u16_be(state_schema.version.major);
  hasher.add_u16_be(state_schema.version.minor);
  hasher.add_u16_be(state_schema.version.patch);
  hasher.add(bytes);
  return hasher.finish();
}

SnapshotEnvelope snapshot_envelope(SchemaRef state_schema, std::string run_id, std::string machine_id,
                                   std::string machine_version, std::uint64_t sequence, std::uint64_t step,
                                   ByteString bytes) {
  Sha256Digest digest = final_state_digest(state_schema, bytes);
  std::uint64_t byte_len = bytes.size();
  return SnapshotEnvelope{
      .schema = SchemaRef{std::string(kSnapshotEnvelopeSchemaId), kSnapshotEnvelopeSchemaVersion},
      .state_schema = std::move(state_schema),
      .run_id = std::move(run_id),
      .arch = std::move(machine_id),
      .machine_version = std::move(machine_version),
      .sequence = sequence,
      .step = step,
      .byte_len = byte_len,
      .digest = digest,
      .bytes = std::move(bytes),
  };
}

Result<void> validate_snapshot_envelope(const SnapshotEnvelope& envelope) {
  if (envelope.schema.id != kSnapshotEnvelopeSchemaId || envelope.schema.version != kSnapshotEnvelopeSchemaVersion) {
    return fail("unsupported snapshot envelope schema " + envelope.schema.id + " version " +
                to_string(envelope.schema.version));
  }
  if (envelope.byte_len != envelope.bytes.size()) {
    return fail("snapshot declares " + std::to_string(envelope.byte_len) + " bytes but contains " +
                std::to_string(envelope.bytes.size()));
  }
  Sha256Digest computed = final_state_digest(envelope.state_schema, envelope.bytes);
  if (computed != envelope.digest) {
    return fail("snapshot digest mismatch: expected " + sha256_text(envelope.digest) + ", computed " +
                sha256_text(computed));
  }
  return {};
}

// arch, byte_len, bytes, digest, machine_version, run_id, schema, sequence,
// state_schema, step
void write_snapshot_envelope(JsonWriter& writer, const SnapshotEnvelope& envelope) {
  writer.begin_object();
  writer.key("arch");
  writer.write_string(envelope.arch);
  writer.key("byte_len");
  writer.write_u64(envelope.byte_len);
  writer.key("bytes");
  writer.write_bytes(envelope.bytes);
  writer.key("digest");
  writer.write_bytes(envelope.digest);
  writer.key("machine_version");
  writer.write_string(envelope.machine_version);
  writer.key("run_id");
  writer.write_string(envelope.run_id);
  writer.key("schema");
  write_schema_ref(writer, envelope.schema);
  writer.key("sequence");
  writer.write_u64(envelope.sequence);
  writer.key("state_schema");
  write_schema_ref(writer, envelope.state_schema);
  writer.key("step");
  writer.write_u64(envelope.step);
  writer.end_object();
}

}  // namespace lumivar
