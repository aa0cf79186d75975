#pragma once
// PreparedRunIdentity: one document naming exactly what a run executes (the
// artifact, the machine, the resolved configuration, schedule, live-input
// interface and execution controls) and the canonical structured bytes of its
// canonical value. Equal requests give byte-identical identities.

#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/configuration/machine_configuration.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/run_identity/input_interface.hpp"
#include "lumivar_core/run_identity/machine_identity.hpp"
#include "lumivar_core/run_identity/prepared_artifact_identity.hpp"
#include "lumivar_core/schedule/input_schedule.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

// The schema named inside the canonical value: "lumivar.prepared_run_identity" 1.0.0.
[[nodiscard]] SchemaRef prepared_run_identity_schema();

struct PreparedRunIdentity {
  PreparedArtifactIdentity artifact_identity;
  MachineIdentity machine_identity;
  PreparedConfiguration configuration;
  ResolvedInputSchedule resolved_input_schedule;
  PreparedInputInterface prepared_input_interface;
  PreparedExecutionControls execution_controls;
  ByteString canonical_bytes;  // canonical structured bytes of the canonical value

  friend bool operator==(const PreparedRunIdentity&, const PreparedRunIdentity&) = default;
};

// Members in document order, canonical_bytes as an array of integers.
[[nodiscard]] JsonValue to_json(const PreparedRunIdentity& identity);

// The value whose canonical structured bytes are the identity's: a map of
// "schema" and "fields", the six parts as {"name", "value"} maps in fixed order.
[[nodiscard]] StructuredValue prepared_run_identity_canonical_value(
    const PreparedArtifactIdentity& artifact_identity, const MachineIdentity& machine_identity,
    const PreparedConfiguration& configuration, const ResolvedInputSchedule& resolved_input_schedule,
    const PreparedInputInterface& input_interface, const PreparedExecutionControls& execution_controls);

// Checks every part (artifact identity, machine identity, prepared
// configuration, resolved schedule, input interface, prepared controls, in
// that order) and computes the canonical bytes.
[[nodiscard]] Result<PreparedRunIdentity> prepare_run_identity(PreparedArtifactIdentity artifact_identity,
                                                               MachineIdentity machine_identity,
                                                               PreparedConfiguration configuration,
                                                               ResolvedInputSchedule resolved_input_schedule,
                                                               PreparedInputInterface input_interface,
                                                               PreparedExecutionControls execution_controls);

// The part checks and canonical bytes of prepare_run_identity, from parts the
// caller keeps (nothing is copied).
[[nodiscard]] Result<ByteString> rebuild_prepared_run_identity_bytes(
    const PreparedArtifactIdentity& artifact_identity, const MachineIdentity& machine_identity,
    const PreparedConfiguration& configuration, const ResolvedInputSchedule& resolved_input_schedule,
    const PreparedInputInterface& input_interface, const PreparedExecutionControls& execution_controls);

// Rebuilds the identity from its parts (all part checks run again) and
// requires the stored canonical bytes to match the rebuilt ones.
[[nodiscard]] Result<void> check_prepared_run_identity(const PreparedRunIdentity& identity);

}  // namespace lumivar
