#pragma once
// The checks that bind an execution request to the prepared run and prepared
// observation it claims to execute, and the CHIP-8 session parameters they
// yield. Building the machine and the session from them is the session's part.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "chip8_bundle/contract/chip8_configuration.hpp"
#include "chip8_bundle/contract/key_schedule.hpp"
#include "chip8_bundle/contract/live_input_registry.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"
#include "lumivar_core/run_identity/prepared_run.hpp"
#include "lumivar_core/schedule/execution_request.hpp"
#include "lumivar_core/value/byte_string.hpp"

namespace chip8::bundle {

// Everything a session is created from besides the ROM and the documents.
struct SessionParameters {
  Chip8MachineConfiguration configuration;
  std::uint64_t frame_limit = 0;
  std::optional<std::uint64_t> step_limit;
  std::vector<ScheduledKeyInput> schedule;    // in schedule order
  std::shared_ptr<LiveKeypadState> live_keypad;  // null: no live keypad for this run ID
  std::uint64_t effective_seed = 0;  // FNV-1a of the ROM XOR machine_seed
};

// In order: the request, the prepared run and the prepared observation pass
// their own checks; run ID, machine, observation and run identity agree; the
// configuration parses; a frame limit is set; the key schedule resolves within
// it; the live keypad is looked up; the effective seed is computed. The first
// failure is the result.
[[nodiscard]] lumivar::Result<SessionParameters> check_session_creation(
    lumivar::ByteView artifact, const lumivar::PreparedRun& prepared_run, const lumivar::ExecutionRequest& request,
    const lumivar::PreparedObservation& prepared_observation, const LiveInputRegistry& live_inputs);

}  // namespace chip8::bundle
