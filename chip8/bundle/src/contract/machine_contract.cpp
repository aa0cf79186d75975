#include "chip8_bundle/contract/machine_contract.hpp"

#include <string>

#include "chip8_bundle/contract/capability_catalog.hpp"
#include "chip8_bundle/contract/key_input_id.hpp"
#include "lumivar_core/identifier/identifier.hpp"

namespace chip8::bundle {
namespace {

void require_identifier(std::string_view kind_word, std::string_view text, const char* invariant) {
  if (!lumivar::validate_identifier(kind_word, text)) lumivar::fatal(invariant);
}

lumivar::MachineIdentity machine_identity() {
  return lumivar::MachineIdentity{std::string(kMachineId), std::string(kBundleVersion), std::string(kMachineVersion),
                                  std::string(kEmulatorVersion),
                                  lumivar::SchemaRef{std::string(kContractSchemaId), {1, 0, 0}}};
}

lumivar::ArtifactContract artifact_contract() {
  return lumivar::ArtifactContract{lumivar::SchemaRef{std::string(kArtifactSchemaId), {1, 0, 0}}, std::nullopt,
                                   kArtifactMinLength, kArtifactMaxLength, 1};
}

}  // namespace

lumivar::SchemaRef key_payload_schema() { return lumivar::SchemaRef{std::string(kKeyPayloadSchemaId), {1, 0, 0}}; }

lumivar::ConfigurationSchema build_configuration_schema() {
  lumivar::ChoiceDomain presets;
  for (const std::string_view variant : kVariants) presets.choices.emplace_back(variant);
  lumivar::ConfigurationSchema schema;
  schema.schema = lumivar::SchemaRef{std::string(kConfigurationSchemaId), kConfigurationSchemaVersion};
  schema.fields.push_back({"quirks", "Quirks Preset", "Execution quirk preset used by the CHIP-8 core",
                           std::move(presets), lumivar::JsonValue("chip8")});
  schema.fields.push_back({"cycles_per_frame", "Cycles per frame", "Machine instructions executed per hardware frame",
                           lumivar::IntegerDomain{1, 4294967295, 1}, lumivar::JsonValue(12)});
  schema.fields.push_back({"machine_seed", "Machine seed", "Seed governing machine state evolution",
                           lumivar::IntegerDomain{0, 9223372036854775807, 1}, lumivar::JsonValue(0)});
  return schema;
}

lumivar::InputCatalog build_input_catalog() {
  require_identifier("schema family ID", kKeySchemaFamily, "canonical CHIP-8 input family");
  require_identifier("schema family ID", kKeyApplicationSchemaId, "canonical CHIP-8 input application schema");
  lumivar::InputCatalog catalog{lumivar::input_catalog_schema(), {}};
  catalog.inputs.reserve(kKeyInputCount);
  for (std::uint8_t key = 0; key < kKeyInputCount; ++key) {
    std::string id = format_key_input_id(key);
    require_identifier("input ID", id, "canonical CHIP-8 key input ID");
    catalog.inputs.push_back(lumivar::InputDeclaration{
        std::move(id),
        key_payload_schema(),
        lumivar::CoordinatePolicy{lumivar::required_policy_schema(lumivar::CoordinateBoundary::FrameStart),
                                  lumivar::CoordinateBoundary::FrameStart},
        lumivar::SchemaRef{std::string(kKeyApplicationSchemaId), {1, 0, 0}},
        std::string(kKeySchemaFamily),
        lumivar::DeliveryModes{.scheduled = true, .live = true},
    });
  }
  return catalog;
}

Chip8MachineContract build_machine_contract() {
  Chip8MachineContract contract;
  contract.run.artifact = artifact_contract();
  contract.run.machine = machine_identity();
  contract.run.configuration_schema = build_configuration_schema();
  contract.run.input_catalog = build_input_catalog();
  contract.run.execution_limits = lumivar::ExecutionLimitCatalog{lumivar::execution_limit_catalog_schema(), {}};
  contract.normalizer_catalog = build_normalizer_catalog();
  contract.coordinate_schemas = {lumivar::required_policy_schema(lumivar::CoordinateBoundary::FrameStart),
                                 lumivar::required_policy_schema(lumivar::CoordinateBoundary::Step)};
  return contract;
}

}  // namespace chip8::bundle
