#pragma once
// The records of the emission stream that have no home of their own: the
// run-started and run-finished envelope records, native evidence records and
// the capability outputs delivered beside the stream.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/configuration/machine_configuration.hpp"
#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/normalizer_catalog.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/run_identity/prepared_run_identity.hpp"
#include "lumivar_core/schedule/execution_request.hpp"
#include "lumivar_core/schedule/input_schedule.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

// The execution request with the artifact replaced by its length. Members in
// document order.
struct RunStartedRecord {
  SchemaVersion schema_version;  // the request's
  std::string run_id;
  std::string machine_id;
  std::uint64_t artifact_length_bytes = 0;
  std::optional<ContentDigest> prepared_observation_id;
  std::optional<PreparedRunIdentity> prepared_run_identity;
  MachineConfiguration configuration;
  InputSchedule input_schedule;
  ObservationRequest observation;
  ExecutionControls execution_controls;

  friend bool operator==(const RunStartedRecord&, const RunStartedRecord&) = default;
};

[[nodiscard]] RunStartedRecord run_started_record(const ExecutionRequest& request);

// The JSON form, keys in byte order at every level.
[[nodiscard]] JsonValue to_json(const RunStartedRecord& record);

// The canonical JSON of the record written straight into the writer, the same
// bytes as the canonical JSON of to_json: the artifact and the identity's
// canonical bytes (most of the record) go out as byte arrays without becoming
// trees first. False for a non-finite float inside.
[[nodiscard]] bool write_run_started_record(JsonWriter& writer, const RunStartedRecord& record);

inline constexpr std::string_view kNativeEvidenceSchemaId = "lumivar.native_evidence";
inline constexpr SchemaVersion kNativeEvidenceSchemaVersion{1, 0, 0};

// One event of a machine's native vocabulary.
struct NativeEvent {
  SchemaRef schema;  // the machine's native event schema
  std::string kind;
  JsonValue payload;

  friend bool operator==(const NativeEvent&, const NativeEvent&) = default;
};

// Members in document order.
struct NativeEvidenceRecord {
  SchemaRef schema;  // always lumivar.native_evidence 1.0.0
  std::string run_id;
  std::string machine_id;
  std::string machine_version;
  std::uint64_t sequence = 0;  // the position the producer assigns
  std::uint64_t step = 0;      // the machine's step or cycle count when taken
  NativeEvent native_event;

  friend bool operator==(const NativeEvidenceRecord&, const NativeEvidenceRecord&) = default;
};

[[nodiscard]] NativeEvidenceRecord native_evidence_record(std::string run_id, std::string machine_id,
                                                          std::string machine_version, NativeEvent native_event,
                                                          std::uint64_t sequence, std::uint64_t step);

// The envelope schema, then a native event kind that is not blank.
[[nodiscard]] Result<void> check_native_evidence_record(const NativeEvidenceRecord& record);

// The JSON form, keys in byte order. False for a payload holding a
// non-finite float (the writer then holds partial output).
[[nodiscard]] bool write_native_evidence_record(JsonWriter& writer, const NativeEvidenceRecord& record);

// The session's run summary as the stream records it.
struct RunFinishedCommon {
  std::uint64_t cycles = 0;
  std::uint64_t frames = 0;
  std::string termination;
  bool boot_success = false;

  friend bool operator==(const RunFinishedCommon&, const RunFinishedCommon&) = default;
};

struct RunFinishedRecord {
  RunFinishedCommon common;

  friend bool operator==(const RunFinishedRecord&, const RunFinishedRecord&) = default;
};

// {"common":{"boot_success":..,"cycles":..,"frames":..,"termination":..}}
void write_run_finished_record(JsonWriter& writer, const RunFinishedRecord& record);

// A derived result of a requested capability.
struct CapabilityOutput {
  CapabilitySchema schema;  // the capability ID and the output's version
  JsonValue value;

  friend bool operator==(const CapabilityOutput&, const CapabilityOutput&) = default;
};

// {"schema":{"id":..,"version":..},"value":..}. False for a value holding a
// non-finite float (the writer then holds partial output).
[[nodiscard]] bool write_capability_output(JsonWriter& writer, const CapabilityOutput& output);

// The canonical JSON of one output: its logical size is this text's length.
[[nodiscard]] Result<std::string> capability_output_json(const CapabilityOutput& output);

}  // namespace lumivar
