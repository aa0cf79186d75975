#pragma once
// Frame artifact envelopes: which run, machine, sequence position, step and
// frame a captured frame belongs to, and under which schema its bytes are read.
// The evidence is either a fingerprint of the frame or the frame itself.

#include <cstdint>
#include <string>
#include <string_view>

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr std::string_view kFrameArtifactSchemaId = "lumivar.frame_artifact";
inline constexpr SchemaVersion kFrameArtifactSchemaVersion{1, 0, 0};

enum class FrameEvidenceKind : std::uint8_t { Fingerprint = 0, Full = 1 };

// "fingerprint" or "full"
[[nodiscard]] std::string_view spelling(FrameEvidenceKind kind);

struct FrameEvidence {
  FrameEvidenceKind kind = FrameEvidenceKind::Fingerprint;
  ByteString bytes;  // a digest of the frame, or the frame's payload

  friend bool operator==(const FrameEvidence&, const FrameEvidence&) = default;
};

// Members in document order.
struct FrameArtifact {
  SchemaRef schema;                 // always lumivar.frame_artifact 1.0.0
  SchemaRef representation_schema;  // schema of the evidence bytes
  std::string run_id;
  std::string machine_id;
  std::string machine_version;
  std::uint64_t sequence = 0;  // normalized-event position the frame belongs to
  std::uint64_t step = 0;      // machine cycle counter when the frame was taken
  std::uint64_t frame = 0;     // frame index
  FrameEvidence evidence;

  friend bool operator==(const FrameArtifact&, const FrameArtifact&) = default;
};

[[nodiscard]] FrameArtifact frame_artifact_fingerprint(SchemaRef representation_schema, std::string run_id,
                                                       std::string machine_id, std::string machine_version,
                                                       std::uint64_t sequence, std::uint64_t step,
                                                       std::uint64_t frame, ByteString bytes);
[[nodiscard]] FrameArtifact frame_artifact_full(SchemaRef representation_schema, std::string run_id,
                                                std::string machine_id, std::string machine_version,
                                                std::uint64_t sequence, std::uint64_t step, std::uint64_t frame,
                                                ByteString bytes);

// The envelope schema, a non-blank representation schema ID and non-empty
// evidence bytes, in this order.
[[nodiscard]] Result<void> validate_frame_artifact(const FrameArtifact& artifact);

// The JSON form, members in byte order of keys; the evidence is externally
// tagged: {"fingerprint": {"bytes": [...]}} or {"full": {"bytes": [...]}}.
void write_frame_artifact(JsonWriter& writer, const FrameArtifact& artifact);

}  // namespace lumivar
