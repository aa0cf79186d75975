#pragma once
// Snapshot envelopes: state bytes with the run, machine, sequence position and
// step they were taken at, and a final-state digest over their schema and
// bytes, so that a stored or replayed snapshot can be checked byte for byte
// without understanding the machine.

#include <cstdint>
#include <string>
#include <string_view>

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr std::string_view kSnapshotEnvelopeSchemaId = "lumivar.snapshot";
inline constexpr SchemaVersion kSnapshotEnvelopeSchemaVersion{1, 0, 0};
inline constexpr std::string_view kFinalStateDigestKind = "lumivar.final_state.v1";

// Members in document order.
struct SnapshotEnvelope {
  SchemaRef schema;        // always lumivar.snapshot 1.0.0
  SchemaRef state_schema;  // schema of the state bytes
  std::string run_id;
  std::string arch;  // the machine ID
  std::string machine_version;
  std::uint64_t sequence = 0;
  std::uint64_t step = 0;
  std::uint64_t byte_len = 0;  // length of bytes
  Sha256Digest digest{};       // final-state digest of state_schema and bytes
  ByteString bytes;

  friend bool operator==(const SnapshotEnvelope&, const SnapshotEnvelope&) = default;
};

// Domain-separated SHA-256 under "lumivar.final_state.v1" of the
// length-prefixed schema ID, the version as three raw big-endian 16-bit
// numbers and the length-prefixed state bytes.
[[nodiscard]] Sha256Digest final_state_digest(const SchemaRef& state_schema, ByteView bytes);

// Computes byte_len and digest.
[[nodiscard]] SnapshotEnvelope snapshot_envelope(SchemaRef state_schema, std::string run_id, std::string machine_id,
                                                 std::string machine_version, std::uint64_t sequence,
                                                 std::uint64_t step, ByteString bytes);

// The envelope schema, byte_len against the bytes, then the digest against
// the recomputed one, in this order.
[[nodiscard]] Result<void> validate_snapshot_envelope(const SnapshotEnvelope& envelope);

// The JSON form, members in byte order of keys; digest and bytes are arrays
// of integers.
void write_snapshot_envelope(JsonWriter& writer, const SnapshotEnvelope& envelope);

}  // namespace lumivar
