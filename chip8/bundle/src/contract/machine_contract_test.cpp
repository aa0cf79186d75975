#include "chip8_bundle/contract/machine_contract.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip8_bundle/contract/key_input_id.hpp"
#include "lumivar_core/configuration/machine_configuration.hpp"
#include "lumivar_core/observation/normalizer_catalog.hpp"

namespace chip8::bundle {
namespace {

using SV = lumivar::StructuredValue;

TEST(MachineContract, IdentityAndArtifactValues) {
  const Chip8MachineContract contract = build_machine_contract();
  const lumivar::MachineIdentity& machine = contract.run.machine;
  EXPECT_EQ(machine.machine_id, "chip8");
  EXPECT_EQ(machine.bundle_version, "0.1.0");
  EXPECT_EQ(machine.machine_version, "chip8-family-semantics.v1");
  EXPECT_EQ(machine.emulator_version, "chip8_core/0.1.0+lumivar-scheduled-input.v2.visual-ecology.v4");
  EXPECT_EQ(machine.contract_schema, (lumivar::SchemaRef{"lumivar.machine_contract", {1, 0, 0}}));
  EXPECT_TRUE(lumivar::check_machine_identity(machine));
  const lumivar::ArtifactContract& artifact = contract.run.artifact;
  EXPECT_EQ(artifact.schema, (lumivar::SchemaRef{"chip8.genome.raw-bytes", {1, 0, 0}}));
  EXPECT_EQ(artifact.encoding_extension, std::nullopt);
  EXPECT_EQ(artifact.min_length, 1u);
  EXPECT_EQ(artifact.max_length, 65024u);
  EXPECT_EQ(artifact.alignment, 1u);
  EXPECT_EQ(contract.coordinate_schemas,
            (std::vector<lumivar::SchemaRef>{{"lumivar.coordinate.frame", {1, 0, 0}}, {"lumivar.coordinate.step", {1, 0, 0}}}));
  EXPECT_TRUE(lumivar::check_normalizer_catalog(contract.normalizer_catalog));
  ASSERT_NE(contract.live_inputs, nullptr);
}

TEST(MachineContract, InputCatalogDeclaresTheSixteenKeys) {
  const lumivar::InputCatalog catalog = build_input_catalog();
  EXPECT_EQ(catalog.schema, (lumivar::SchemaRef{"lumivar.input_catalog", {1, 0, 0}}));
  ASSERT_EQ(catalog.inputs.size(), 16u);
  for (std::uint8_t key = 0; key < 16; ++key) {
    const lumivar::InputDeclaration& input = catalog.inputs[key];
    EXPECT_EQ(input.id, format_key_input_id(key));
    EXPECT_EQ(input.payload_schema, (lumivar::SchemaRef{"chip8.input.key", {1, 0, 0}}));
    EXPECT_EQ(input.coordinate_policy,
              (lumivar::CoordinatePolicy{{"lumivar.coordinate.frame", {1, 0, 0}}, lumivar::CoordinateBoundary::FrameStart}));
    EXPECT_EQ(input.application_schema, (lumivar::SchemaRef{"chip8.input.key.application", {1, 0, 0}}));
    EXPECT_EQ(input.schema_family, "lumivar.input.digital-key");
    EXPECT_EQ(input.delivery_modes, (lumivar::DeliveryModes{.scheduled = true, .live = true}));
  }
  EXPECT_EQ(catalog.inputs.front().id, "chip8.key.0");
  EXPECT_EQ(catalog.inputs.back().id, "chip8.key.f");
  EXPECT_TRUE(lumivar::check_input_catalog(catalog));
}

TEST(MachineContract, ConfigurationSchemaAndDefaults) {
  const lumivar::ConfigurationSchema schema = build_configuration_schema();
  EXPECT_EQ(schema.schema, (lumivar::SchemaRef{"chip8.machine_configuration", {2, 0, 0}}));
  ASSERT_EQ(schema.fields.size(), 3u);
  EXPECT_EQ(schema.fields[0].key, "quirks");
  EXPECT_EQ(schema.fields[0].label, "Quirks Preset");
  EXPECT_EQ(schema.fields[0].description, "Execution quirk preset used by the CHIP-8 core");
  EXPECT_EQ(schema.fields[1].key, "cycles_per_frame");
  EXPECT_EQ(schema.fields[1].label, "Cycles per frame");
  EXPECT_EQ(schema.fields[1].description, "Machine instructions executed per hardware frame");
  EXPECT_EQ(schema.fields[2].key, "machine_seed");
  EXPECT_EQ(schema.fields[2].label, "Machine seed");
  EXPECT_EQ(schema.fields[2].description, "Seed governing machine state evolution");
  auto defaults = lumivar::default_configuration(schema);
  ASSERT_TRUE(defaults) << defaults.error().message;
  lumivar::StructuredMap expected;
  expected.emplace("quirks", SV::text("chip8"));
  expected.emplace("cycles_per_frame", SV::unsigned_integer(12));
  expected.emplace("machine_seed", SV::unsigned_integer(0));
  EXPECT_EQ(defaults->value, SV::map(expected));
}

struct RangeCase {
  const char* key;
  SV value;
  bool accepted;
};

TEST(MachineContract, ConfigurationRanges) {
  const std::vector<RangeCase> cases = {
      {"cycles_per_frame", SV::unsigned_integer(0), false},
      {"cycles_per_frame", SV::unsigned_integer(1), true},
      {"cycles_per_frame", SV::unsigned_integer(4294967295), true},
      {"cycles_per_frame", SV::unsigned_integer(4294967296), false},
      {"machine_seed", SV::signed_integer(-1), false},
      {"machine_seed", SV::unsigned_integer(9223372036854775807u), true},
      {"machine_seed", SV::unsigned_integer(std::uint64_t{1} << 63), false},
      {"quirks", SV::text("xochip"), true},
      {"quirks", SV::text("Vip"), false},
  };
  const lumivar::ConfigurationSchema schema = build_configuration_schema();
  for (const RangeCase& c : cases) {
    lumivar::StructuredMap map;
    map.emplace(c.key, c.value);
    auto prepared = lumivar::prepare_configuration(lumivar::MachineConfiguration{schema.schema, SV::map(map)}, schema);
    if (c.accepted) {
      EXPECT_TRUE(prepared) << c.key << ": " << prepared.error().message;
    } else {
      ASSERT_FALSE(prepared) << c.key;
      EXPECT_EQ(prepared.error().message, "configuration field \"" + std::string(c.key) + "\" has an invalid value");
    }
  }
}

TEST(MachineContract, EmptyExecutionLimitCatalogRefusesEveryBundleLimit) {
  const Chip8MachineContract contract = build_machine_contract();
  EXPECT_EQ(contract.run.execution_limits.schema, (lumivar::SchemaRef{"lumivar.execution_limit_catalog", {1, 0, 0}}));
  EXPECT_TRUE(contract.run.execution_limits.limits.empty());
  const lumivar::ExecutionControls controls{
      1, std::nullopt,
      {lumivar::BundleExecutionLimit{"chip8.max_cycles", {{"lumivar.u64", {1, 0, 0}}, SV::unsigned_integer(5)}}}};
  auto prepared = lumivar::prepare_execution_controls(controls, contract.run.execution_limits);
  ASSERT_FALSE(prepared);
  EXPECT_EQ(prepared.error().message, "execution controls reference unsupported limit chip8.max_cycles");
}

}  // namespace
}  // namespace chip8::bundle
