#include "lumivar_core/run_identity/prepared_run.hpp"

#include <utility>

#include "lumivar_core/value/schema.hpp"

namespace lumivar {
namespace {

Result<void> check_run_id(std::string_view run_id) {
  if (trim_unicode_white_space(run_id).empty()) return fail("prepared run has an empty run ID");
  return {};
}

}  // namespace

Result<PreparedRun> prepare_run(std::string_view run_id, const RunContract& contract, ByteView artifact,
                                const MachineConfiguration& configuration, const InputSchedule& input_schedule,
                                const ExecutionControls& execution_controls) {
  if (auto checked = check_run_id(run_id); !checked) return std::unexpected(checked.error());
  if (auto checked = check_machine_identity(contract.machine); !checked) return std::unexpected(checked.error());
  Result<PreparedArtifactIdentity> artifact_identity = prepare_artifact_identity(contract.artifact, artifact);
  if (!artifact_identity) return std::unexpected(artifact_identity.error());
  Result<PreparedConfiguration> prepared_configuration =
      prepare_configuration(configuration, contract.configuration_schema);
  if (!prepared_configuration) return std::unexpected(prepared_configuration.error());
  Result<ResolvedInputSchedule> resolved_schedule = resolve_input_schedule(input_schedule, contract.input_catalog);
  if (!resolved_schedule) return std::unexpected(resolved_schedule.error());
  Result<PreparedInputInterface> input_interface = prepare_input_interface(contract.input_catalog);
  if (!input_interface) return std::unexpected(input_interface.error());
  Result<PreparedExecutionControls> prepared_controls =
      prepare_execution_controls(execution_controls, contract.execution_limits);
  if (!prepared_controls) return std::unexpected(prepared_controls.error());
  Result<PreparedRunIdentity> identity =
      prepare_run_identity(std::move(*artifact_identity), contract.machine, *prepared_configuration,
                           *resolved_schedule, *input_interface, *prepared_controls);
  if (!identity) return std::unexpected(identity.error());
  PreparedRun run{std::string(run_id),
                  std::move(*identity),
                  std::move(*prepared_configuration),
                  std::move(*resolved_schedule),
                  std::move(*input_interface),
                  std::move(*prepared_controls),
                  contract.machine.machine_id};
  // check_prepared_run(run) holds by construction: the run ID was checked
  // above, the parts passed the identity's own checks, the identity holds
  // copies of the very parts the run holds and its bytes were just written
  // from them, and both machine IDs come from contract.machine. Running it
  // would only rebuild the identity bytes a second time.
  return run;
}

Result<void> check_prepared_run(const PreparedRun& run) {
  if (auto checked = check_run_id(run.run_id); !checked) return checked;
  if (auto checked = check_prepared_configuration(run.configuration); !checked) return checked;
  if (auto checked = check_resolved_input_schedule(run.input_schedule); !checked) return checked;
  if (auto checked = check_input_interface(run.input_interface); !checked) return checked;
  if (auto checked = check_prepared_execution_controls(run.execution_controls); !checked) return checked;
  if (auto checked = check_prepared_run_identity(run.identity); !checked) return checked;
  // Resolved parts equal to the identity's rebuild exactly what
  // check_prepared_run_identity just rebuilt and compared.
  const PreparedRunIdentity& identity = run.identity;
  const bool same_parts = run.configuration == identity.configuration &&
                          run.input_schedule == identity.resolved_input_schedule &&
                          run.input_interface == identity.prepared_input_interface &&
                          run.execution_controls == identity.execution_controls;
  if (!same_parts) {
    Result<ByteString> rebuilt =
        rebuild_prepared_run_identity_bytes(identity.artifact_identity, identity.machine_identity, run.configuration,
                                            run.input_schedule, run.input_interface, run.execution_controls);
    if (!rebuilt) return std::unexpected(rebuilt.error());
    return fail("prepared run identity does not match resolved execution state");
  }
  if (run.machine_id != run.identity.machine_identity.machine_id) {
    return fail("prepared run machine ID does not match machine identity");
  }
  return {};
}

Result<void> check_live_input_support(const PreparedRun& run, bool bundle_has_live_input_capability) {
  if (run.input_interface.declares_live_inputs() && !bundle_has_live_input_capability) {
    return fail("prepared run declares live inputs but the bundle exposes no live-input capability");
  }
  return {};
}

}  // namespace lumivar
