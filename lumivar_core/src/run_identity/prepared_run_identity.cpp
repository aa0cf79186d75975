#include "lumivar_core/run_identity/prepared_run_identity.hpp"

#include <array>
#include <optional>
#include <string_view>
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

// The same bytes as the canonical encoding of the tree above, written
// straight from the parts. Each map's keys are listed in canonical order:
// by length, then bytewise (every key is shorter than 24 bytes, so its head
// is one byte).
template <std::size_t N>
consteval bool canonical_key_order(const std::array<std::string_view, N>& keys) {
  for (std::size_t i = 1; i < N; ++i) {
    const std::string_view a = keys[i - 1];
    const std::string_view b = keys[i];
    if (a.size() >= 24 || b.size() >= 24) return false;
    if (a.size() > b.size() || (a.size() == b.size() && !(a < b))) return false;
  }
  return true;
}

template <std::size_t N>
void begin_fixed_map(CborWriter& writer, const std::array<std::string_view, N>& keys) {
  writer.begin_map(N);
  static_cast<void>(keys);
}

constexpr std::array<std::string_view, 2> kSchemaKeys = {"id", "version"};
constexpr std::array<std::string_view, 3> kVersionKeys = {"major", "minor", "patch"};
constexpr std::array<std::string_view, 2> kTopKeys = {"fields", "schema"};
constexpr std::array<std::string_view, 2> kNamedFieldKeys = {"name", "value"};
constexpr std::array<std::string_view, 3> kArtifactKeys = {"schema", "encoding", "canonical_value"};
constexpr std::array<std::string_view, 2> kEncodingKeys = {"kind", "value"};
constexpr std::array<std::string_view, 5> kMachineKeys = {"machine_id", "bundle_version", "contract_schema",
                                                          "machine_version", "emulator_version"};
constexpr std::array<std::string_view, 2> kValueSchemaKeys = {"value", "schema"};
constexpr std::array<std::string_view, 2> kScheduleKeys = {"schema", "entries"};
constexpr std::array<std::string_view, 4> kEntryKeys = {"ordinal", "payload", "input_id", "coordinate"};
constexpr std::array<std::string_view, 3> kCoordinateKeys = {"kind", "value", "schema"};
constexpr std::array<std::string_view, 3> kLiveInputKeys = {"input_id", "payload_schema", "coordinate_policy"};
constexpr std::array<std::string_view, 2> kPolicyKeys = {"schema", "boundary"};
constexpr std::array<std::string_view, 3> kControlsKeys = {"step_limit", "frame_limit", "bundle_limits"};
constexpr std::array<std::string_view, 2> kLimitKeys = {"value", "limit_id"};
static_assert(canonical_key_order(kSchemaKeys) && canonical_key_order(kVersionKeys) &&
              canonical_key_order(kTopKeys) && canonical_key_order(kNamedFieldKeys) &&
              canonical_key_order(kArtifactKeys) && canonical_key_order(kEncodingKeys) &&
              canonical_key_order(kMachineKeys) && canonical_key_order(kValueSchemaKeys) &&
              canonical_key_order(kScheduleKeys) && canonical_key_order(kEntryKeys) &&
              canonical_key_order(kCoordinateKeys) && canonical_key_order(kLiveInputKeys) &&
              canonical_key_order(kPolicyKeys) && canonical_key_order(kControlsKeys) &&
              canonical_key_order(kLimitKeys));

void write_schema(CborWriter& w, const SchemaRef& schema) {
  begin_fixed_map(w, kSchemaKeys);
  w.write_text("id");
  w.write_text(schema.id);
  w.write_text("version");
  begin_fixed_map(w, kVersionKeys);
  w.write_text("major");
  w.write_unsigned(schema.version.major);
  w.write_text("minor");
  w.write_unsigned(schema.version.minor);
  w.write_text("patch");
  w.write_unsigned(schema.version.patch);
}

void write_optional_unsigned(CborWriter& w, const std::optional<std::uint64_t>& value) {
  if (value) {
    w.write_unsigned(*value);
  } else {
    w.write_null();
  }
}

// {"value": value, "schema": schema}; false for a non-finite float.
bool write_typed(CborWriter& w, const SchemaRef& schema, const StructuredValue& value) {
  begin_fixed_map(w, kValueSchemaKeys);
  w.write_text("value");
  if (!write_canonical_structured(w, value)) return false;
  w.write_text("schema");
  write_schema(w, schema);
  return true;
}

void begin_named_field(CborWriter& w, std::string_view name) {
  begin_fixed_map(w, kNamedFieldKeys);
  w.write_text("name");
  w.write_text(name);
  w.write_text("value");
}

void write_artifact(CborWriter& w, const PreparedArtifactIdentity& artifact) {
  begin_fixed_map(w, kArtifactKeys);
  w.write_text("schema");
  write_schema(w, artifact.schema);
  w.write_text("encoding");
  if (artifact.encoding.extension) {
    begin_fixed_map(w, kEncodingKeys);
    w.write_text("kind");
    w.write_text("extension");
    w.write_text("value");
    w.write_text(*artifact.encoding.extension);
  } else {
    w.begin_map(1);
    w.write_text("kind");
    w.write_text("raw_bytes");
  }
  w.write_text("canonical_value");
  w.write_bytes(artifact.canonical_value);
}

void write_machine(CborWriter& w, const MachineIdentity& machine) {
  begin_fixed_map(w, kMachineKeys);
  w.write_text("machine_id");
  w.write_text(machine.machine_id);
  w.write_text("bundle_version");
  w.write_text(machine.bundle_version);
  w.write_text("contract_schema");
  write_schema(w, machine.contract_schema);
  w.write_text("machine_version");
  w.write_text(machine.machine_version);
  w.write_text("emulator_version");
  w.write_text(machine.emulator_version);
}

bool write_coordinate(CborWriter& w, const InputCoordinate& coordinate) {
  const auto* bundle_defined = coordinate.get_if<BundleDefinedCoordinate>();
  w.begin_map(bundle_defined != nullptr ? 3 : 2);
  w.write_text("kind");
  w.write_text(coordinate_kind_text(coordinate));
  w.write_text("value");
  if (bundle_defined != nullptr) {
    if (!write_canonical_structured(w, bundle_defined->value)) return false;
    w.write_text("schema");
    write_schema(w, bundle_defined->schema);
    return true;
  }
  if (const auto* c = coordinate.get_if<FrameCoordinate>()) w.write_unsigned(c->frame);
  if (const auto* c = coordinate.get_if<StepCoordinate>()) w.write_unsigned(c->step);
  if (const auto* c = coordinate.get_if<CycleCoordinate>()) w.write_unsigned(c->cycle);
  if (const auto* c = coordinate.get_if<TickCoordinate>()) w.write_unsigned(c->tick);
  return true;
}

bool write_schedule(CborWriter& w, const ResolvedInputSchedule& schedule) {
  begin_fixed_map(w, kScheduleKeys);
  w.write_text("schema");
  write_schema(w, schedule.schema);
  w.write_text("entries");
  w.begin_array(schedule.entries.size());
  for (const ScheduledInput& entry : schedule.entries) {
    begin_fixed_map(w, kEntryKeys);
    w.write_text("ordinal");
    w.write_unsigned(entry.ordinal);
    w.write_text("payload");
    if (!write_typed(w, entry.payload.schema, entry.payload.value)) return false;
    w.write_text("input_id");
    w.write_text(entry.input_id);
    w.write_text("coordinate");
    if (!write_coordinate(w, entry.coordinate)) return false;
  }
  return true;
}

void write_interface(CborWriter& w, const PreparedInputInterface& interface) {
  w.begin_map(1);
  w.write_text("live_inputs");
  w.begin_array(interface.live_inputs.size());
  for (const auto& [id, input] : interface.live_inputs) {
    begin_fixed_map(w, kLiveInputKeys);
    w.write_text("input_id");
    w.write_text(input.input_id);
    w.write_text("payload_schema");
    write_schema(w, input.payload_schema);
    w.write_text("coordinate_policy");
    begin_fixed_map(w, kPolicyKeys);
    w.write_text("schema");
    write_schema(w, input.coordinate_policy.schema);
    w.write_text("boundary");
    w.write_text(boundary_json_text(input.coordinate_policy.boundary));
  }
}

bool write_controls(CborWriter& w, const PreparedExecutionControls& controls) {
  begin_fixed_map(w, kControlsKeys);
  w.write_text("step_limit");
  write_optional_unsigned(w, controls.step_limit);
  w.write_text("frame_limit");
  write_optional_unsigned(w, controls.frame_limit);
  w.write_text("bundle_limits");
  w.begin_array(controls.bundle_limits.size());
  for (const BundleExecutionLimit& limit : controls.bundle_limits) {
    begin_fixed_map(w, kLimitKeys);
    w.write_text("value");
    if (!write_typed(w, limit.value.schema, limit.value.value)) return false;
    w.write_text("limit_id");
    w.write_text(limit.limit_id);
  }
  return true;
}

// canonical_structured_bytes(prepared_run_identity_canonical_value(...)).
Result<ByteString> identity_canonical_bytes(const PreparedArtifactIdentity& artifact_identity,
                                            const MachineIdentity& machine_identity,
                                            const PreparedConfiguration& configuration,
                                            const ResolvedInputSchedule& resolved_input_schedule,
                                            const PreparedInputInterface& input_interface,
                                            const PreparedExecutionControls& execution_controls) {
  CborWriter w;
  // About what the parts take: the artifact's bytes, a little over a hundred
  // bytes per schedule entry and live input, and the fixed members.
  w.reserve(artifact_identity.canonical_value.size() +
            160 * (resolved_input_schedule.entries.size() + input_interface.live_inputs.size()) + 1024);
  begin_fixed_map(w, kTopKeys);
  w.write_text("fields");
  w.begin_array(6);
  begin_named_field(w, "artifact_identity");
  write_artifact(w, artifact_identity);
  begin_named_field(w, "machine_identity");
  write_machine(w, machine_identity);
  begin_named_field(w, "configuration");
  bool finite = write_typed(w, configuration.schema, configuration.value);
  if (finite) {
    begin_named_field(w, "resolved_input_schedule");
    finite = write_schedule(w, resolved_input_schedule);
  }
  if (finite) {
    begin_named_field(w, "prepared_input_interface");
    write_interface(w, input_interface);
    begin_named_field(w, "execution_controls");
    finite = write_controls(w, execution_controls);
  }
  if (!finite) return fail("canonical structured values reject non-finite floats");
  w.write_text("schema");
  write_schema(w, prepared_run_identity_schema());
  return w.take();
}

// The part checks of prepare_run_identity, then the canonical bytes.
Result<ByteString> checked_identity_bytes(const PreparedArtifactIdentity& artifact_identity,
                                          const MachineIdentity& machine_identity,
                                          const PreparedConfiguration& configuration,
                                          const ResolvedInputSchedule& resolved_input_schedule,
                                          const PreparedInputInterface& input_interface,
                                          const PreparedExecutionControls& execution_controls) {
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
  return identity_canonical_bytes(artifact_identity, machine_identity, configuration, resolved_input_schedule,
                                  input_interface, execution_controls);
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
  Result<ByteString> bytes = checked_identity_bytes(artifact_identity, machine_identity, configuration,
                                                    resolved_input_schedule, input_interface, execution_controls);
  if (!bytes) return std::unexpected(bytes.error());
  return PreparedRunIdentity{std::move(artifact_identity), std::move(machine_identity),
                             std::move(configuration),     std::move(resolved_input_schedule),
                             std::move(input_interface),   std::move(execution_controls),
                             std::move(*bytes)};
}

Result<ByteString> rebuild_prepared_run_identity_bytes(const PreparedArtifactIdentity& artifact_identity,
                                                       const MachineIdentity& machine_identity,
                                                       const PreparedConfiguration& configuration,
                                                       const ResolvedInputSchedule& resolved_input_schedule,
                                                       const PreparedInputInterface& input_interface,
                                                       const PreparedExecutionControls& execution_controls) {
  return checked_identity_bytes(artifact_identity, machine_identity, configuration, resolved_input_schedule,
                                input_interface, execution_controls);
}

Result<void> check_prepared_run_identity(const PreparedRunIdentity& identity) {
  Result<ByteString> rebuilt = checked_identity_bytes(
      identity.artifact_identity, identity.machine_identity, identity.configuration, identity.resolved_input_schedule,
      identity.prepared_input_interface, identity.execution_controls);
  if (!rebuilt) return std::unexpected(rebuilt.error());
  if (*rebuilt != identity.canonical_bytes) {
    return fail("prepared-run identity canonical bytes do not match envelope");
  }
  return {};
}

}  // namespace lumivar
