#pragma once
// ExecutionRequest: everything a caller asks a bundle to run, gathered in one
// document. It is assembled in memory and only ever written as JSON (its
// fingerprint names the request a session was created for).

#include <optional>
#include <string>

#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/configuration/machine_configuration.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/run_identity/prepared_run_identity.hpp"
#include "lumivar_core/schedule/input_schedule.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr SchemaVersion kExecutionRequestSchemaVersion{1, 0, 0};

struct ExecutionRequest {
  SchemaVersion schema_version = kExecutionRequestSchemaVersion;
  std::string run_id;
  std::string machine_id;
  ByteString artifact;
  MachineConfiguration configuration;
  InputSchedule input_schedule;
  ObservationRequest observation;
  ExecutionControls execution_controls;
  std::optional<ContentDigest> prepared_observation_id;
  std::optional<PreparedRunIdentity> prepared_run_identity;

  friend bool operator==(const ExecutionRequest&, const ExecutionRequest&) = default;
};

// Members in document order; absent optionals are null, the artifact an array
// of integers.
[[nodiscard]] JsonValue to_json(const ExecutionRequest& request);

// In order: schema version, run ID, machine ID, configuration shape, schedule,
// observation request, bundle limits (unique IDs, valid typed values) and, when
// present, the prepared run identity and its machine ID.
[[nodiscard]] Result<void> check_execution_request(const ExecutionRequest& request);

}  // namespace lumivar
