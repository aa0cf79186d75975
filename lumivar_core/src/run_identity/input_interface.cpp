#include "lumivar_core/run_identity/input_interface.hpp"

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {

JsonValue to_json(const PreparedLiveInput& input) {
  JsonObject object;
  object.emplace("input_id", input.input_id);
  object.emplace("payload_schema", to_json(input.payload_schema));
  object.emplace("coordinate_policy", to_json(input.coordinate_policy));
  return JsonValue(std::move(object));
}

JsonValue to_json(const PreparedInputInterface& interface) {
  JsonObject live_inputs;
  for (const auto& [id, input] : interface.live_inputs) live_inputs.emplace(id, to_json(input));
  JsonObject object;
  object.emplace("live_inputs", std::move(live_inputs));
  return JsonValue(std::move(object));
}

Result<PreparedInputInterface> prepare_input_interface(const InputCatalog& catalog) {
  if (auto checked = check_input_catalog(catalog); !checked) return std::unexpected(checked.error());
  PreparedInputInterface interface;
  for (const InputDeclaration& declaration : catalog.inputs) {
    if (!declaration.delivery_modes.live) continue;
    interface.live_inputs.emplace(
        declaration.id, PreparedLiveInput{declaration.id, declaration.payload_schema, declaration.coordinate_policy});
  }
  return interface;
}

Result<void> check_input_interface(const PreparedInputInterface& interface) {
  for (const auto& [key, input] : interface.live_inputs) {
    if (key != input.input_id) {
      return fail("prepared live-input map key " + key + " does not match entry " + input.input_id);
    }
    if (auto checked = check_schema_id(input.payload_schema, "prepared live-input payload"); !checked) return checked;
    if (auto checked = check_coordinate_policy(input.coordinate_policy); !checked) return checked;
  }
  return {};
}

}  // namespace lumivar
