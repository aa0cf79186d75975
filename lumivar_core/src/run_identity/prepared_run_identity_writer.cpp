#include "lumivar_core/run_identity/prepared_run_identity_writer.hpp"

#include <variant>

namespace lumivar {
namespace {

// SchemaRef, SchemaVersion, TypedInputPayload, coordinates and bundle limits
// have their members in key order already, so their trees are written as is.

bool write_configuration(JsonWriter& writer, const PreparedConfiguration& configuration) {
  writer.begin_object();
  writer.key("schema");
  if (!writer.write_value(to_json(configuration.schema))) return false;
  writer.key("value");
  if (!writer.write_value(to_json(configuration.value))) return false;
  writer.key("canonical_bytes");
  writer.write_bytes(configuration.canonical_bytes);
  writer.end_object();
  return true;
}

bool write_artifact(JsonWriter& writer, const PreparedArtifactIdentity& artifact) {
  writer.begin_object();
  writer.key("schema");
  if (!writer.write_value(to_json(artifact.schema))) return false;
  writer.key("encoding");
  if (!writer.write_value(to_json(artifact.encoding))) return false;
  writer.key("canonical_value");
  writer.write_bytes(artifact.canonical_value);
  writer.end_object();
  return true;
}

bool write_machine(JsonWriter& writer, const MachineIdentity& machine) {
  writer.begin_object();
  writer.key("machine_id");
  writer.write_string(machine.machine_id);
  writer.key("bundle_version");
  writer.write_string(machine.bundle_version);
  writer.key("machine_version");
  writer.write_string(machine.machine_version);
  writer.key("emulator_version");
  writer.write_string(machine.emulator_version);
  writer.key("contract_schema");
  if (!writer.write_value(to_json(machine.contract_schema))) return false;
  writer.end_object();
  return true;
}

bool write_schedule(JsonWriter& writer, const ResolvedInputSchedule& schedule) {
  writer.begin_object();
  writer.key("schema");
  if (!writer.write_value(to_json(schedule.schema))) return false;
  writer.key("entries");
  writer.begin_array();
  for (const ScheduledInput& entry : schedule.entries) {
    writer.begin_object();
    writer.key("ordinal");
    writer.write_u64(entry.ordinal);
    writer.key("coordinate");
    if (!writer.write_value(to_json(entry.coordinate))) return false;
    writer.key("input_id");
    writer.write_string(entry.input_id);
    writer.key("payload");
    if (!writer.write_value(to_json(entry.payload))) return false;
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
  return true;
}

bool write_interface(JsonWriter& writer, const PreparedInputInterface& interface) {
  writer.begin_object();
  writer.key("live_inputs");
  writer.begin_object();
  for (const auto& [id, input] : interface.live_inputs) {
    writer.key(id);
    writer.begin_object();
    writer.key("input_id");
    writer.write_string(input.input_id);
    writer.key("payload_schema");
    if (!writer.write_value(to_json(input.payload_schema))) return false;
    writer.key("coordinate_policy");
    writer.begin_object();
    writer.key("schema");
    if (!writer.write_value(to_json(input.coordinate_policy.schema))) return false;
    writer.key("boundary");
    writer.write_string(boundary_json_text(input.coordinate_policy.boundary));
    writer.end_object();
    writer.end_object();
  }
  writer.end_object();
  writer.end_object();
  return true;
}

void write_optional_u64(JsonWriter& writer, const std::optional<std::uint64_t>& value) {
  if (value) writer.write_u64(*value); else writer.write_null();
}

bool write_controls(JsonWriter& writer, const PreparedExecutionControls& controls) {
  writer.begin_object();
  writer.key("frame_limit");
  write_optional_u64(writer, controls.frame_limit);
  writer.key("step_limit");
  write_optional_u64(writer, controls.step_limit);
  writer.key("bundle_limits");
  writer.begin_array();
  for (const BundleExecutionLimit& limit : controls.bundle_limits) {
    if (!writer.write_value(to_json(limit))) return false;
  }
  writer.end_array();
  writer.end_object();
  return true;
}

}  // namespace

bool write_json(JsonWriter& writer, const PreparedRunIdentity& identity) {
  writer.begin_object();
  writer.key("artifact_identity");
  if (!write_artifact(writer, identity.artifact_identity)) return false;
  writer.key("machine_identity");
  if (!write_machine(writer, identity.machine_identity)) return false;
  writer.key("configuration");
  if (!write_configuration(writer, identity.configuration)) return false;
  writer.key("resolved_input_schedule");
  if (!write_schedule(writer, identity.resolved_input_schedule)) return false;
  writer.key("prepared_input_interface");
  if (!write_interface(writer, identity.prepared_input_interface)) return false;
  writer.key("execution_controls");
  if (!write_controls(writer, identity.execution_controls)) return false;
  writer.key("canonical_bytes");
  writer.write_bytes(identity.canonical_bytes);
  writer.end_object();
  return true;
}

}  // namespace lumivar
