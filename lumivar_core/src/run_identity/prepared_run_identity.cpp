#include "lumivar_core/run_identity/prepared_run_identity.hpp"

#include <optional>
#include <utility>

#include "lumivar_core/configuration/contract_forms.hpp"
#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

namespace lumivar {
namespace {

StructuredValue text(std::string s) { return StructuredValue::text(std::move(s)); }

StructuredValue optional_unsigned(const std::optional<std::uint64_t>& value) {
  return value ? StructuredValue::unsigned_integer(*value) : StructuredValue::null();
}

StructuredValue artifact_value(const PreparedArtifactIdentity& artifact) {
  StructuredMap encoding;
  if (artifact.encoding.extension) {
    encoding.emplace("kind", text("extension"));
    encoding.emplace("value", text(*artifact.encoding.extension));
  } else {
    encoding.emplace("kind", text("raw_bytes"));
  }
  StructuredMap map;
  map.emplace("schema", schema_structured_value(artifact.schema));
  map.emplace("encoding", StructuredValue::map(std::move(encoding)));
  map.emplace("canonical_value", StructuredValue::bytes(artifact.canonical_value));
  return StructuredValue::map(std::move(map));
}

StructuredValue machine_value(const MachineIdentity& machine) {
  StructuredMap map;
  map.emplace("machine_id", text(machine.machine_id));
  map.emplace("bundle_version", text(machine.bundle_version));
  map.emplace("machine_version", text(machine.machine_version));
  map.emplace("emulator_version", text(machine.emulator_version));
  map.emplace("contract_schema", schema_structured_value(machine.contract_schema));
  return StructuredValue::map(std::move(map));
}

// The prepared configuration's own canonical_bytes are derived from its value
// and are left out.
StructuredValue configuration_value(const PreparedConfiguration& configuration) {
  StructuredMap map;
  map.emplace("schema", schema_structured_value(configuration.schema));
  map.emplace("value", configuration.value);
  return StructuredValue::map(std::move(map));
}

StructuredValue schedule_value(const ResolvedInputSchedule& schedule) {
  StructuredArray entries;
  entries.reserve(schedule.entries.size());
  for (const ScheduledInput& entry : schedule.entries) {
    StructuredMap map;
    map.emplace("ordinal", StructuredValue::unsigned_integer(entry.ordinal));
    map.emplace("coordinate", coordinate_structured_value(entry.coordinate));
    map.emplace("input_id", text(entry.input_id));
    map.emplace("payload", payload_structured_value(entry.payload));
    entries.push_back(StructuredValue::map(std::move(map)));
  }
  StructuredMap map;
  map.emplace("schema", schema_structured_value(schedule.schema));
  map.emplace("entries", StructuredValue::array(std::move(entries)));
  return StructuredValue::map(std::move(map));
}

StructuredValue interface_value(const PreparedInputInterface& interface) {
  StructuredArray live_inputs;
  live_inputs.reserve(interface.live_inputs.size());
  for (const auto& [id, input] : interface.live_inputs) {
    StructuredMap map;
    map.emplace("input_id", text(input.input_id));
    map.emplace("payload_schema", schema_structured_value(input.payload_schema));
    map.emplace("coordinate_policy", policy_structured_value(input.coordinate_policy));
    live_inputs.push_back(StructuredValue::map(std::move(map)));
  }
  StructuredMap map;
  map.emplace("live_inputs", StructuredValue::array(std::move(live_inputs)));
  return StructuredValue::map(std::move(map));
}

StructuredValue controls_value(const PreparedExecutionControls& controls) {
  StructuredArray limits;
  limits.reserve(controls.bundle_limits.size());
  for (const BundleExecutionLimit& limit : controls.bundle_limits) {
    StructuredMap typed;
    typed.emplace("schema", schema_structured_value(limit.value.schema));
    typed.emplace("value", limit.value.value);
    StructuredMap map;
    map.emplace("limit_id", text(limit.limit_id));
    map.emplace("value", StructuredValue::map(std::move(typed)));
    limits.push_back(StructuredValue::map(std::move(map)));
  }
  StructuredMap map;
  map.emplace("frame_limit", optional_unsigned(controls.frame_limit));
  map.emplace("step_limit", optional_unsigned(controls.step_limit));
  map.emplace("bundle_limits", StructuredValue::array(std::move(limits)));
  return StructuredValue::map(std::move(map));
}

StructuredValue named_field(std::string name, StructuredValue value) {
  StructuredMap map;
  map.emplace("name", text(std::move(name)));
  map.emplace("value", std::move(value));
  return StructuredValue::map(std::move(map));
}

}  // namespace

SchemaRef prepared_run_identity_schema() { return SchemaRef{"lumivar.prepared_run_identity", {1, 0, 0}}; }

JsonValue to_json(const PreparedRunIdentity& identity) {
  JsonObject object;
  object.emplace("artifact_identity", to_json(identity.artifact_identity));
  object.emplace("machine_identity", to_json(identity.machine_identity));
  object.emplace("configuration", to_json(identity.configuration));
  object.emplace("resolved_input_schedule", to_json(identity.resolved_input_schedule));
  object.emplace("prepared_input_interface", to_json(identity.prepared_input_interface));
  object.emplace("execution_controls", to_json(identity.execution_controls));
  object.emplace("canonical_bytes", byte_array_json(identity.canonical_bytes));
  return JsonValue(std::move(object));
}

StructuredValue prepared_run_identity_canonical_value(
    const PreparedArtifactIdentity& artifact_identity, const MachineIdentity& machine_identity,
    const PreparedConfiguration& configuration, const ResolvedInputSchedule& resolved_input_schedule,
    const PreparedInputInterface& input_interface, const PreparedExecutionControls& execution_controls) {
  // "fields" is an array, so its order survives the key sorting of the
  // canonical encoding.
  StructuredArray fields;
  fields.reserve(6);
  fields.push_back(named_field("artifact_identity", artifact_value(artifact_identity)));
  fields.push_back(named_field("machine_identity", machine_value(machine_identity)));
  fields.push_back(named_field("configuration", configuration_value(configuration)));
  fields.push_back(named_field("resolved_input_schedule", schedule_value(resolved_input_schedule)));
  fields.push_back(named_field("prepared_input_interface", interface_value(input_interface)));
  fields.push_back(named_field("execution_controls", controls_value(execution_controls)));
  StructuredMap map;
  map.emplace("schema", schema_structured_value(prepared_run_identity_schema()));
  map.emplace("fields", StructuredValue::array(std::move(fields)));
  return StructuredValue::map(std::move(map));
}

Result<PreparedRunIdentity> prepare_run_identity(PreparedArtifactIdentity artifact_identity,
                                                 MachineIdentity machine_identity,
                                                 PreparedConfiguration configuration,
                                                 ResolvedInputSchedule resolved_input_schedule,
                                                 PreparedInputInterface input_interface,
                                                 PreparedExecutionControls execution_controls) {
  if (auto checked = check_artifact_identity(artifact_identity); !checked) return std::unexpected(checked.error());
  if (auto checked = check_machine_identity(machine_identity); !checked) return std::unexpected(checked.error());
  if (auto checked = check_prepared_configuration(configuration); !checked) return std::unexpected(checked.error());
  if (auto checked = check_resolved_input_schedule(resolved_input_schedule); !checked) {
    return std::unexpected(checked.error());
  }
  if (auto checked = check_input_interface(input_interface); !checked) return std::unexpected(checked.error());
  if (auto checked = check_prepared_execution_controls(execution_controls); !checked) {
    return std::unexpected(checked.error());
  }
  Result<ByteString> bytes = canonical_structured_bytes(prepared_run_identity_canonical_value(
      artifact_identity, machine_identity, configuration, resolved_input_schedule, input_interface,
      execution_controls));
  if (!bytes) return std::unexpected(bytes.error());
  return PreparedRunIdentity{std::move(artifact_identity), std::move(machine_identity),
                             std::move(configuration),     std::move(resolved_input_schedule),
                             std::move(input_interface),   std::move(execution_controls),
                             std::move(*bytes)};
}

Result<void> check_prepared_run_identity(const PreparedRunIdentity& identity) {
  Result<PreparedRunIdentity> rebuilt =
      prepare_run_identity(identity.artifact_identity, identity.machine_identity, identity.configuration,
                           identity.resolved_input_schedule, identity.prepared_input_interface,
                           identity.execution_controls);
  if (!rebuilt) return std::unexpected(rebuilt.error());
  if (rebuilt->canonical_bytes != identity.canonical_bytes) {
    return fail("prepared-run identity canonical bytes do not match envelope");
  }
  return {};
}

}  // namespace lumivar
