#include "chip8_bundle/contract/session_creation_checks.hpp"

#include <utility>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_core/machine/cpu.hpp"

namespace chip8::bundle {

lumivar::Result<SessionParameters> check_session_creation(lumivar::ByteView artifact,
                                                          const lumivar::PreparedRun& prepared_run,
                                                          const lumivar::ExecutionRequest& request,
                                                          const lumivar::PreparedObservation& prepared_observation,
                                                          const LiveInputRegistry& live_inputs) {
  if (auto checked = lumivar::check_execution_request(request); !checked) return std::unexpected(checked.error());
  if (auto checked = lumivar::check_prepared_run(prepared_run); !checked) return std::unexpected(checked.error());
  if (auto checked = lumivar::check_prepared_observation(prepared_observation); !checked) {
    return std::unexpected(checked.error());
  }
  if (prepared_run.run_id != request.run_id) {
    return lumivar::fail("CHIP-8 prepared run ID does not match the execution request");
  }
  if (request.machine_id != prepared_run.machine_id || request.machine_id != kMachineId) {
    return lumivar::fail("CHIP-8 prepared run targets the wrong machine");
  }
  if (request.prepared_observation_id != prepared_observation.identity ||
      request.observation != prepared_observation.request) {
    return lumivar::fail("CHIP-8 prepared observation does not match the execution request");
  }
  if (request.prepared_run_identity && *request.prepared_run_identity != prepared_run.identity) {
    return lumivar::fail("CHIP-8 prepared run identity does not match the execution request");
  }
  auto configuration = parse_chip8_configuration(prepared_run.configuration.value);
  if (!configuration) return std::unexpected(configuration.error());
  const lumivar::PreparedExecutionControls& controls = prepared_run.execution_controls;
  if (!controls.frame_limit) {
    return lumivar::fail("CHIP-8 publication execution requires an explicit frame_limit");
  }
  auto schedule = resolve_key_schedule(prepared_run.input_schedule.entries, *controls.frame_limit);
  if (!schedule) return std::unexpected(schedule.error());
  std::shared_ptr<LiveKeypadState> live_keypad = live_inputs.find(prepared_run.run_id);
  const std::uint64_t seed = effective_seed(artifact, configuration->machine_seed);
  return SessionParameters{std::move(*configuration), *controls.frame_limit, controls.step_limit,
                           std::move(*schedule),      std::move(live_keypad),  seed};
}

}  // namespace chip8::bundle
