#pragma once
// Run preparation: a caller's request (artifact, configuration, schedule,
// controls) resolved against a bundle's contract into a prepared run that
// carries its PreparedRunIdentity and the resolved state beside it.

#include <string>
#include <string_view>

#include "lumivar_core/configuration/configuration_schema.hpp"
#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/configuration/machine_configuration.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/run_identity/input_interface.hpp"
#include "lumivar_core/run_identity/machine_identity.hpp"
#include "lumivar_core/run_identity/prepared_artifact_identity.hpp"
#include "lumivar_core/run_identity/prepared_run_identity.hpp"
#include "lumivar_core/schedule/input_catalog.hpp"
#include "lumivar_core/schedule/input_schedule.hpp"
#include "lumivar_core/value/byte_string.hpp"

namespace lumivar {

// What a bundle supplies to run preparation.
struct RunContract {
  ArtifactContract artifact;
  MachineIdentity machine;
  ConfigurationSchema configuration_schema;
  InputCatalog input_catalog;
  ExecutionLimitCatalog execution_limits;
};

// The resolved state is kept beside the identity and always agrees with it.
struct PreparedRun {
  std::string run_id;
  PreparedRunIdentity identity;
  PreparedConfiguration configuration;
  ResolvedInputSchedule input_schedule;
  PreparedInputInterface input_interface;
  PreparedExecutionControls execution_controls;
  std::string machine_id;

  friend bool operator==(const PreparedRun&, const PreparedRun&) = default;
};

// In order: a non-empty run ID, the machine identity, the artifact, the
// configuration, the schedule, the live-input interface, the controls, the
// identity; the assembled run passes check_prepared_run before it is returned.
[[nodiscard]] Result<PreparedRun> prepare_run(std::string_view run_id, const RunContract& contract, ByteView artifact,
                                              const MachineConfiguration& configuration,
                                              const InputSchedule& input_schedule,
                                              const ExecutionControls& execution_controls);

// A prepared run read back: every resolved part, the identity, the identity
// rebuilt from the resolved state, and the machine ID.
[[nodiscard]] Result<void> check_prepared_run(const PreparedRun& run);

// A run whose interface declares live inputs can only be used by a bundle that
// offers a live-input capability.
[[nodiscard]] Result<void> check_live_input_support(const PreparedRun& run, bool bundle_has_live_input_capability);

}  // namespace lumivar
