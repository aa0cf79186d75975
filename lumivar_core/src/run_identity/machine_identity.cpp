#include "lumivar_core/run_identity/machine_identity.hpp"

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {

JsonValue to_json(const MachineIdentity& identity) {
  JsonObject object;
  object.emplace("machine_id", identity.machine_id);
  object.emplace("bundle_version", identity.bundle_version);
  object.emplace("machine_version", identity.machine_version);
  object.emplace("emulator_version", identity.emulator_version);
  object.emplace("contract_schema", to_json(identity.contract_schema));
  return JsonValue(std::move(object));
}

Result<void> check_machine_identity(const MachineIdentity& identity) {
  if (trim_unicode_white_space(identity.machine_id).empty()) return fail("machine identity has an empty machine ID");
  const std::pair<const std::string*, const char*> versions[] = {
      {&identity.bundle_version, "bundle"},
      {&identity.machine_version, "machine"},
      {&identity.emulator_version, "emulator"},
  };
  for (const auto& [version, word] : versions) {
    if (trim_unicode_white_space(*version).empty()) {
      return fail(std::string("machine identity has an empty ") + word + " version");
    }
  }
  return check_schema_id(identity.contract_schema, "machine contract identity");
}

}  // namespace lumivar
