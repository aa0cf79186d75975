#include "lumivar_core/schedule/execution_request.hpp"

#include <set>

#include "lumivar_core/configuration/contract_forms.hpp"
#include "lumivar_core/value/typed_structured_value.hpp"

namespace lumivar {

JsonValue to_json(const ExecutionRequest& request) {
  JsonObject object;
  object.emplace("schema_version", to_json(request.schema_version));
  object.emplace("run_id", request.run_id);
  object.emplace("machine_id", request.machine_id);
  object.emplace("artifact", byte_array_json(request.artifact));
  object.emplace("configuration", to_json(request.configuration));
  object.emplace("input_schedule", to_json(request.input_schedule));
  object.emplace("observation", to_json(request.observation));
  object.emplace("execution_controls", to_json(request.execution_controls));
  object.emplace("prepared_observation_id",
                 request.prepared_observation_id ? to_json(*request.prepared_observation_id) : JsonValue(nullptr));
  object.emplace("prepared_run_identity",
                 request.prepared_run_identity ? to_json(*request.prepared_run_identity) : JsonValue(nullptr));
  return JsonValue(std::move(object));
}

Result<void> check_execution_request(const ExecutionRequest& request) {
  if (request.schema_version != kExecutionRequestSchemaVersion) {
    return fail("unsupported execution-request schema " + to_string(request.schema_version) + "; expected " +
                to_string(kExecutionRequestSchemaVersion));
  }
  if (trim_unicode_white_space(request.run_id).empty()) return fail("execution request has an empty run ID");
  if (trim_unicode_white_space(request.machine_id).empty()) return fail("execution request has an empty machine ID");
  if (auto checked = check_machine_configuration(request.configuration); !checked) return checked;
  if (auto checked = check_input_schedule(request.input_schedule); !checked) return checked;
  if (auto checked = check_observation_request(request.observation); !checked) return checked;
  std::set<std::string, std::less<>> seen;
  for (const BundleExecutionLimit& limit : request.execution_controls.bundle_limits) {
    if (!seen.insert(limit.limit_id).second) {
      return fail("execution request repeats bundle limit " + limit.limit_id);
    }
    if (auto checked = validate_typed_structured_value(limit.value); !checked) return checked;
  }
  if (request.prepared_run_identity) {
    if (auto checked = check_prepared_run_identity(*request.prepared_run_identity); !checked) return checked;
    if (request.prepared_run_identity->machine_identity.machine_id != request.machine_id) {
      return fail("prepared run identity machine ID does not match the execution request");
    }
  }
  return {};
}

}  // namespace lumivar
