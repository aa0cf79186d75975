#include "lumivar_core/emission/emission_records.hpp"

#include <utility>

#include "lumivar_core/event/json_members.hpp"
#include "lumivar_core/event/normalized_event_json.hpp"
#include "lumivar_core/run_identity/input_interface.hpp"
#include "lumivar_core/run_identity/machine_identity.hpp"
#include "lumivar_core/run_identity/prepared_artifact_identity.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

RunStartedRecord run_started_record(const ExecutionRequest& request) {
  return RunStartedRecord{
      .schema_version = request.schema_version,
      .run_id = request.run_id,
      .machine_id = request.machine_id,
      .artifact_length_bytes = request.artifact.size(),
      .prepared_observation_id = request.prepared_observation_id,
      .prepared_run_identity = request.prepared_run_identity,
      .configuration = request.configuration,
      .input_schedule = request.input_schedule,
      .observation = request.observation,
      .execution_controls = request.execution_controls,
  };
}

JsonValue to_json(const RunStartedRecord& record) {
  // Written once per run: the tree keeps its members in byte order of keys.
  JsonObject object;
  object.emplace("schema_version", to_json(record.schema_version));
  object.emplace("run_id", record.run_id);
  object.emplace("machine_id", record.machine_id);
  object.emplace("artifact_length_bytes", record.artifact_length_bytes);
  object.emplace("prepared_observation_id",
                 record.prepared_observation_id ? to_json(*record.prepared_observation_id) : JsonValue());
  object.emplace("prepared_run_identity",
                 record.prepared_run_identity ? to_json(*record.prepared_run_identity) : JsonValue());
  object.emplace("configuration", to_json(record.configuration));
  object.emplace("input_schedule", to_json(record.input_schedule));
  object.emplace("observation", to_json(record.observation));
  object.emplace("execution_controls", to_json(record.execution_controls));
  return JsonValue(std::move(object));
}

namespace {

// Keys in byte order at every level, as canonical JSON has them.
[[nodiscard]] bool write_canonical_identity(JsonWriter& writer, const PreparedRunIdentity& identity) {
  writer.begin_object();
  writer.key("artifact_identity");
  writer.begin_object();
  writer.key("canonical_value");
  writer.write_bytes(identity.artifact_identity.canonical_value);
  writer.key("encoding");
  if (!writer.write_value(to_json(identity.artifact_identity.encoding))) return false;
  writer.key("schema");
  if (!writer.write_value(to_json(identity.artifact_identity.schema))) return false;
  writer.end_object();
  writer.key("canonical_bytes");
  writer.write_bytes(identity.canonical_bytes);
  writer.key("configuration");
  if (!writer.write_value(to_json(identity.configuration))) return false;
  writer.key("execution_controls");
  if (!writer.write_value(to_json(identity.execution_controls))) return false;
  writer.key("machine_identity");
  if (!writer.write_value(to_json(identity.machine_identity))) return false;
  writer.key("prepared_input_interface");
  if (!writer.write_value(to_json(identity.prepared_input_interface))) return false;
  writer.key("resolved_input_schedule");
  if (!writer.write_value(to_json(identity.resolved_input_schedule))) return false;
  writer.end_object();
  return true;
}

}  // namespace

bool write_run_started_record(JsonWriter& writer, const RunStartedRecord& record) {
  writer.begin_object();
  writer.key("artifact_length_bytes");
  writer.write_u64(record.artifact_length_bytes);
  writer.key("configuration");
  if (!writer.write_value(to_json(record.configuration))) return false;
  writer.key("execution_controls");
  if (!writer.write_value(to_json(record.execution_controls))) return false;
  writer.key("input_schedule");
  if (!writer.write_value(to_json(record.input_schedule))) return false;
  writer.key("machine_id");
  writer.write_string(record.machine_id);
  writer.key("observation");
  if (!writer.write_value(to_json(record.observation))) return false;
  writer.key("prepared_observation_id");
  if (record.prepared_observation_id) {
    if (!writer.write_value(to_json(*record.prepared_observation_id))) return false;
  } else {
    writer.write_null();
  }
  writer.key("prepared_run_identity");
  if (record.prepared_run_identity) {
    if (!write_canonical_identity(writer, *record.prepared_run_identity)) return false;
  } else {
    writer.write_null();
  }
  writer.key("run_id");
  writer.write_string(record.run_id);
  writer.key("schema_version");
  if (!writer.write_value(to_json(record.schema_version))) return false;
  writer.end_object();
  return true;
}

NativeEvidenceRecord native_evidence_record(std::string run_id, std::string machine_id, std::string machine_version,
                                            NativeEvent native_event, std::uint64_t sequence, std::uint64_t step) {
  return NativeEvidenceRecord{
      .schema = SchemaRef{std::string(kNativeEvidenceSchemaId), kNativeEvidenceSchemaVersion},
      .run_id = std::move(run_id),
      .machine_id = std::move(machine_id),
      .machine_version = std::move(machine_version),
      .sequence = sequence,
      .step = step,
      .native_event = std::move(native_event),
  };
}

Result<void> check_native_evidence_record(const NativeEvidenceRecord& record) {
  if (record.schema.id != kNativeEvidenceSchemaId || record.schema.version != kNativeEvidenceSchemaVersion) {
    return fail("unsupported native-evidence envelope schema " + record.schema.id + " " +
                to_string(record.schema.version));
  }
  if (trim_unicode_white_space(record.native_event.kind).empty()) {
    return fail("native-evidence event kind cannot be empty");
  }
  return {};
}

// machine_id, machine_version, native_event {kind, payload, schema}, run_id,
// schema, sequence, step
bool write_native_evidence_record(JsonWriter& writer, const NativeEvidenceRecord& record) {
  writer.begin_object();
  writer.key("machine_id");
  writer.write_string(record.machine_id);
  writer.key("machine_version");
  writer.write_string(record.machine_version);
  writer.key("native_event");
  writer.begin_object();
  writer.key("kind");
  writer.write_string(record.native_event.kind);
  writer.key("payload");
  if (!writer.write_value(record.native_event.payload)) return false;
  writer.key("schema");
  write_schema_ref(writer, record.native_event.schema);
  writer.end_object();
  writer.key("run_id");
  writer.write_string(record.run_id);
  writer.key("schema");
  write_schema_ref(writer, record.schema);
  writer.key("sequence");
  writer.write_u64(record.sequence);
  writer.key("step");
  writer.write_u64(record.step);
  writer.end_object();
  return true;
}

void write_run_finished_record(JsonWriter& writer, const RunFinishedRecord& record) {
  writer.begin_object();
  writer.key("common");
  writer.begin_object();
  writer.key("boot_success");
  writer.write_bool(record.common.boot_success);
  writer.key("cycles");
  writer.write_u64(record.common.cycles);
  writer.key("frames");
  writer.write_u64(record.common.frames);
  writer.key("termination");
  writer.write_string(record.common.termination);
  writer.end_object();
  writer.end_object();
}

bool write_capability_output(JsonWriter& writer, const CapabilityOutput& output) {
  writer.begin_object();
  writer.key("schema");
  writer.begin_object();
  writer.key("id");
  writer.write_string(output.schema.id);
  writer.key("version");
  write_schema_version(writer, output.schema.version);
  writer.end_object();
  writer.key("value");
  if (!writer.write_value(output.value)) return false;
  writer.end_object();
  return true;
}

Result<std::string> capability_output_json(const CapabilityOutput& output) {
  JsonWriter writer(JsonStyle::canonical);
  if (!write_capability_output(writer, output)) return fail(std::string(kNonFiniteCanonicalJsonMessage));
  return writer.take();
}

}  // namespace lumivar
