#include "lumivar_core/replay/frame_artifact.hpp"

#include <utility>

#include "lumivar_core/event/json_members.hpp"

namespace lumivar {

namespace {

FrameArtifact make_frame_artifact(FrameEvidenceKind kind, SchemaRef representation_schema, std::string run_id,
                                  std::string machine_id, std::string machine_version, std::uint64_t sequence,
                                  std::uint64_t step, std::uint64_t frame, ByteString bytes) {
  return FrameArtifact{
      .schema = SchemaRef{std::string(kFrameArtifactSchemaId), kFrameArtifactSchemaVersion},
      .representation_schema = std::move(representation_schema),
      .run_id = std::move(run_id),
      .machine_id = std::move(machine_id),
      .machine_version = std::move(machine_version),
      .sequence = sequence,
      .step = step,
      .frame = frame,
      .evidence = FrameEvidence{kind, std::move(bytes)},
  };
}

}  // namespace

std::string_view spelling(FrameEvidenceKind kind) {
  switch (kind) {
    case FrameEvidenceKind::Fingerprint: return "fingerprint";
    case FrameEvidenceKind::Full: return "full";
  }
  fatal("frame evidence kind out of range");
}

FrameArtifact frame_artifact_fingerprint(SchemaRef representation_schema, std::string run_id, std::string machine_id,
                                         std::string machine_version, std::uint64_t sequence, std::uint64_t step,
                                         std::uint64_t frame, ByteString bytes) {
  return make_frame_artifact(FrameEvidenceKind::Fingerprint, std::move(representation_schema), std::move(run_id),
                             std::move(machine_id), std::move(machine_version), sequence, step, frame,
                             std::move(bytes));
}

FrameArtifact frame_artifact_full(SchemaRef representation_schema, std::string run_id, std::string machine_id,
                                  std::string machine_version, std::uint64_t sequence, std::uint64_t step,
                                  std::uint64_t frame, ByteString bytes) {
  return make_frame_artifact(FrameEvidenceKind::Full, std::move(representation_schema), std::move(run_id),
                             std::move(machine_id), std::move(machine_version), sequence, step, frame,
                             std::move(bytes));
}

Result<void> validate_frame_artifact(const FrameArtifact& artifact) {
  if (artifact.schema.id != kFrameArtifactSchemaId || artifact.schema.version != kFrameArtifactSchemaVersion) {
    return fail("unsupported frame-artifact envelope schema " + artifact.schema.id + " " +
                to_string(artifact.schema.version));
  }
  if (schema_id_is_empty(artifact.representation_schema.id)) {
    return fail("frame representation schema cannot be empty");
  }
  if (artifact.evidence.bytes.empty()) return fail("frame artifact evidence cannot be empty");
  return {};
}

// evidence, frame, machine_id, machine_version, representation_schema, run_id,
// schema, sequence, step
void write_frame_artifact(JsonWriter& writer, const FrameArtifact& artifact) {
  writer.begin_object();
  writer.key("evidence");
  writer.begin_object();
  writer.key(spelling(artifact.evidence.kind));
  writer.begin_object();
  writer.key("bytes");
  writer.write_bytes(artifact.evidence.bytes);
  writer.end_object();
  writer.end_object();
  writer.key("frame");
  writer.write_u64(artifact.frame);
  writer.key("machine_id");
  writer.write_string(artifact.machine_id);
  writer.key("machine_version");
  writer.write_string(artifact.machine_version);
  writer.key("representation_schema");
  write_schema_ref(writer, artifact.representation_schema);
  writer.key("run_id");
  writer.write_string(artifact.run_id);
  writer.key("schema");
  write_schema_ref(writer, artifact.schema);
  writer.key("sequence");
  writer.write_u64(artifact.sequence);
  writer.key("step");
  writer.write_u64(artifact.step);
  writer.end_object();
}

}  // namespace lumivar
