#pragma once
// Sessions for tests: a ROM, a configuration, limits, a key schedule and an
// observation request prepared the way prepare_run prepares them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/observation/observation_request.hpp"

namespace chip8::bundle::testing {

struct KeyChange {
  std::uint64_t ordinal = 0;
  std::uint64_t frame = 0;
  std::uint8_t key = 0;
  bool active = true;
};

struct RunSpec {
  std::vector<std::uint8_t> rom{};
  std::uint32_t cycles_per_frame = 4;
  std::uint64_t frame_limit = 3;
  std::optional<std::uint64_t> step_limit{};
  std::vector<KeyChange> schedule{};
  lumivar::ObservationRequest observation{};
  std::string quirks = "chip8";
  std::string run_id = "run-1";
};

inline std::string configuration_json(const RunSpec& run_spec) {
  return R"({"schema": {"id": "chip8.machine_configuration", "version": {"major": 2, "minor": 0, "patch": 0}},)"
         R"( "value": {"Map": {"quirks": {"Text": ")" +
         run_spec.quirks + R"("}, "cycles_per_frame": {"Unsigned": )" + std::to_string(run_spec.cycles_per_frame) + "}}}}";
}

inline std::string schedule_json(const std::vector<KeyChange>& changes) {
  std::string entries;
  for (const KeyChange& change : changes) {
    if (!entries.empty()) entries += ", ";
    entries += R"({"ordinal": )" + std::to_string(change.ordinal) +
               R"(, "coordinate": {"kind": "frame", "value": {"frame": )" + std::to_string(change.frame) +
               R"(}}, "input_id": "chip8.key.)" + "0123456789abcdef"[change.key] +
               R"(", "payload": {"schema": {"id": "chip8.input.key", "version": {"major": 1, "minor": 0, "patch": 0}},)"
               R"( "value": {"Bool": )" + (change.active ? "true" : "false") + "}}}";
  }
  return R"({"schema": {"id": "lumivar.input_schedule", "version": {"major": 1, "minor": 0, "patch": 0}}, "entries": [)" +
         entries + "]}";
}

inline std::string controls_json(const RunSpec& run_spec) {
  lumivar::ExecutionControls controls;
  controls.frame_limit = run_spec.frame_limit;
  controls.step_limit = run_spec.step_limit;
  return *lumivar::canonical_json_bytes(lumivar::to_json(controls));
}

inline PreparedRunRecord prepare(const RunSpec& run_spec) {
  const std::string configuration = configuration_json(run_spec);
  const std::string schedule = schedule_json(run_spec.schedule);
  const std::string controls = controls_json(run_spec);
  const std::string observation = *lumivar::canonical_json_bytes(lumivar::to_json(run_spec.observation));
  auto record = prepare_bundle_run(run_spec.rom, run_spec.run_id, {configuration, schedule, controls, observation});
  if (!record) {
    ADD_FAILURE() << "preparation failed: " << record.error().message;
    std::abort();
  }
  return std::move(*record);
}

// A session as execute_prepared creates it: its own contract, so no live keypad.
inline Chip8Session make_session(const RunSpec& run_spec) {
  const PreparedRunRecord record = prepare(run_spec);
  const Chip8MachineContract contract = build_machine_contract();
  auto session = create_session(record, *contract.live_inputs);
  if (!session) {
    ADD_FAILURE() << "session creation failed: " << session.error().message;
    std::abort();
  }
  return std::move(*session);
}

}  // namespace chip8::bundle::testing
