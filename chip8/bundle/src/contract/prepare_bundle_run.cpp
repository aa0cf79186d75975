#include "chip8_bundle/contract/prepare_bundle_run.hpp"

#include <string>
#include <utility>

#include "lumivar_core/configuration/configuration_json.hpp"
#include "lumivar_core/observation/observation_request_json.hpp"
#include "lumivar_core/schedule/input_schedule_json.hpp"

namespace chip8::bundle {
namespace {

std::unexpected<lumivar::Error> invalid_json(std::string_view label, const lumivar::Error& error) {
  return lumivar::fail(std::string(label) + " is invalid JSON: " + error.message);
}

}  // namespace

lumivar::Result<PreparedRunRecord> prepare_bundle_run(const Chip8MachineContract& contract,
                                                      lumivar::ByteView artifact, std::string_view run_id,
                                                      const RunDocumentTexts& documents) {
  // The documents are read in parameter order, so the first unreadable one is
  // the one reported.
  auto given_configuration = lumivar::read_machine_configuration_document(documents.configuration);
  if (!given_configuration) return invalid_json("configuration", given_configuration.error());
  lumivar::MachineConfiguration configuration;
  if (*given_configuration) {
    configuration = std::move(**given_configuration);
  } else {
    auto defaults = lumivar::default_configuration(contract.run.configuration_schema);
    if (!defaults) return std::unexpected(defaults.error());
    configuration = std::move(*defaults);
  }
  auto input_schedule = lumivar::read_input_schedule_document(documents.input_schedule);
  if (!input_schedule) return invalid_json("input_schedule", input_schedule.error());
  auto execution_controls = lumivar::read_execution_controls_document(documents.execution_controls);
  if (!execution_controls) return invalid_json("execution_controls", execution_controls.error());
  auto observation = lumivar::read_observation_request_document(documents.observation);
  if (!observation) return invalid_json("observation", observation.error());

  PreparedRunRecord record;
  record.artifact.assign(artifact.begin(), artifact.end());
  lumivar::ExecutionRequest& request = record.request;
  request.run_id = std::string(run_id);
  request.machine_id = std::string(contract.machine_id());
  request.artifact = record.artifact;
  request.configuration = std::move(configuration);
  request.input_schedule = std::move(*input_schedule);
  request.observation = std::move(*observation);
  request.execution_controls = std::move(*execution_controls);
  if (auto checked = lumivar::check_observation_request(request.observation); !checked) {
    return std::unexpected(checked.error());
  }
  if (auto checked = lumivar::check_machine_configuration(request.configuration); !checked) {
    return std::unexpected(checked.error());
  }
  if (auto checked = lumivar::check_input_schedule(request.input_schedule); !checked) {
    return std::unexpected(checked.error());
  }

  auto prepared_observation = lumivar::prepare_observation_or_error(contract.normalizer_catalog,
                                                                    contract.run.input_catalog, request.observation);
  if (!prepared_observation) return std::unexpected(prepared_observation.error());
  request.prepared_observation_id = prepared_observation->identity;
  record.prepared_observation = std::move(*prepared_observation);

  if (auto checked = lumivar::check_execution_request(request); !checked) return std::unexpected(checked.error());
  if (request.machine_id != contract.machine_id()) {
    return lumivar::fail("execution request targets " + request.machine_id + "; bundle provides " +
                         std::string(contract.machine_id()));
  }
  auto prepared_run = lumivar::prepare_run(request.run_id, contract.run, record.artifact, request.configuration,
                                           request.input_schedule, request.execution_controls);
  if (!prepared_run) return std::unexpected(prepared_run.error());
  // The contract's live-input registry is the bundle's live-input capability.
  const bool has_live_input_capability = contract.live_inputs != nullptr;
  if (auto checked = lumivar::check_live_input_support(*prepared_run, has_live_input_capability); !checked) {
    return std::unexpected(checked.error());
  }
  request.prepared_run_identity = prepared_run->identity;
  record.prepared_run = std::move(*prepared_run);
  if (record.prepared_run.input_interface.declares_live_inputs()) {
    record.live_keypad = contract.live_inputs->register_run(record.request.run_id);
  }
  return record;
}

lumivar::Result<PreparedRunRecord> prepare_bundle_run(lumivar::ByteView artifact, std::string_view run_id,
                                                      const RunDocumentTexts& documents) {
  const Chip8MachineContract contract = build_machine_contract();
  return prepare_bundle_run(contract, artifact, run_id, documents);
}

}  // namespace chip8::bundle
