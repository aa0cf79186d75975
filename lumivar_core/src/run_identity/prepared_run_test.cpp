#include "lumivar_core/run_identity/prepared_run.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_structured_bytes.hpp"
#include "lumivar_core/run_identity/run_contract_testing.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;
using testing::kTestKeySchema;
using testing::kTestLimitSchema;
using testing::test_configuration;
using testing::test_key_entry;
using testing::test_limit;
using testing::test_run_contract;

const ByteString kRom = {0x12, 0x00, 0xA2, 0x2A};

InputSchedule schedule_of(std::vector<ScheduledInput> entries) {
  return InputSchedule{input_schedule_schema(), std::move(entries)};
}

Result<PreparedRun> prepare(const ExecutionControls& controls = {}, const InputSchedule& schedule = empty_input_schedule(),
                            std::string_view run_id = "run-1", ByteView rom = kRom) {
  return prepare_run(run_id, test_run_contract(), rom, test_configuration({}), schedule, controls);
}

struct ArtifactCase {
  std::uint64_t min_length, max_length, alignment;
  std::size_t artifact_length;
  std::string message;  // empty: accepted
};

TEST(ArtifactContract, LengthAndAlignmentChecks) {
  const std::vector<ArtifactCase> cases = {
      {2, 4, 1, 2, ""},
      {2, 4, 1, 4, ""},
      {2, 4, 1, 1, "artifact has 1 bytes; minimum is 2"},
      {2, 4, 1, 5, "artifact has 5 bytes; maximum is 4"},
      {0, 8, 2, 3, "artifact length 3 is not aligned to 2 bytes"},
      {0, 8, 2, 0, ""},
      {5, 4, 1, 4, "artifact minimum length exceeds maximum length"},
      {0, 4, 0, 7, "artifact alignment must be non-zero"},
  };
  for (const ArtifactCase& c : cases) {
    const ArtifactContract contract{{"a", {1, 0, 0}}, std::nullopt, c.min_length, c.max_length, c.alignment};
    const ByteString artifact(c.artifact_length, 0xAB);
    auto identity = prepare_artifact_identity(contract, artifact);
    if (c.message.empty()) {
      ASSERT_TRUE(identity) << identity.error().message;
      EXPECT_EQ(identity->canonical_value, artifact);
      EXPECT_EQ(identity->encoding, ArtifactEncoding{});
    } else {
      ASSERT_FALSE(identity) << c.message;
      EXPECT_EQ(identity.error().message, c.message);
    }
  }
}

TEST(ArtifactContract, IdentitySchemaAndExtensionChecks) {
  const ByteString one(1, 0);
  EXPECT_EQ(prepare_artifact_identity({{" ", {1, 0, 0}}, std::nullopt, 0, 4, 1}, one).error().message,
            "artifact identity has an empty schema ID");
  EXPECT_EQ(prepare_artifact_identity({{"a", {1, 0, 0}}, std::string("  "), 0, 4, 1}, one).error().message,
            "artifact encoding extension must not be empty");
  auto with_extension = prepare_artifact_identity({{"a", {1, 0, 0}}, std::string("ch8"), 0, 4, 1}, one);
  ASSERT_TRUE(with_extension);
  EXPECT_EQ(to_json(with_extension->encoding).as<JsonObject>().at("extension"), JsonValue("ch8"));
  EXPECT_EQ(to_json(ArtifactEncoding{}), JsonValue("raw_bytes"));
}

TEST(MachineIdentity, CheckFailuresInOrder) {
  const MachineIdentity valid = test_run_contract().machine;
  EXPECT_TRUE(check_machine_identity(valid));
  struct Case {
    void (*change)(MachineIdentity&);
    std::string message;
  };
  const std::vector<Case> cases = {
      {[](MachineIdentity& m) { m.machine_id = " "; m.bundle_version = ""; }, "machine identity has an empty machine ID"},
      {[](MachineIdentity& m) { m.bundle_version = ""; }, "machine identity has an empty bundle version"},
      {[](MachineIdentity& m) { m.machine_version = "\t"; }, "machine identity has an empty machine version"},
      {[](MachineIdentity& m) { m.emulator_version = ""; }, "machine identity has an empty emulator version"},
      {[](MachineIdentity& m) { m.contract_schema.id = ""; }, "machine contract identity has an empty schema ID"},
  };
  for (const Case& c : cases) {
    MachineIdentity identity = valid;
    c.change(identity);
    EXPECT_EQ(check_machine_identity(identity).error().message, c.message);
  }
}

TEST(InputInterface, HoldsOnlyLiveInputsInIdOrder) {
  auto interface = prepare_input_interface(test_run_contract().input_catalog);
  ASSERT_TRUE(interface) << interface.error().message;
  ASSERT_EQ(interface->live_inputs.size(), 1u);
  EXPECT_EQ(interface->live_inputs.begin()->first, "test.key.b");
  EXPECT_EQ(interface->live_inputs.begin()->second.payload_schema, testing::kTestKeySchema);

  InputCatalog scheduled_only = test_run_contract().input_catalog;
  scheduled_only.inputs[0].delivery_modes.live = false;
  auto empty = prepare_input_interface(scheduled_only);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->declares_live_inputs());
  EXPECT_EQ(to_json(*empty), JsonValue(JsonObject{{"live_inputs", JsonObject{}}}));
}

TEST(InputInterface, CheckFailures) {
  const PreparedInputInterface valid = *prepare_input_interface(test_run_contract().input_catalog);
  PreparedInputInterface renamed = valid;
  renamed.live_inputs.begin()->second.input_id = "test.key.c";
  EXPECT_EQ(check_input_interface(renamed).error().message,
            "prepared live-input map key test.key.b does not match entry test.key.c");
  PreparedInputInterface blank = valid;
  blank.live_inputs.begin()->second.payload_schema.id = "";
  EXPECT_EQ(check_input_interface(blank).error().message, "prepared live-input payload has an empty schema ID");
  PreparedInputInterface bad_policy = valid;
  bad_policy.live_inputs.begin()->second.coordinate_policy.schema.id = "";
  EXPECT_EQ(check_input_interface(bad_policy).error().message, "coordinate policy has an empty schema ID");
}

TEST(PreparedRun, PreparationResolvesEveryPart) {
  auto run = prepare(ExecutionControls{10, 500, {test_limit("test.limit.b", 2), test_limit("test.limit.a", 1)}},
                     schedule_of({test_key_entry(4, 3, false), test_key_entry(1, 2, true, "test.key.b")}));
  ASSERT_TRUE(run) << run.error().message;
  EXPECT_EQ(run->run_id, "run-1");
  EXPECT_EQ(run->machine_id, "testmachine");
  EXPECT_EQ(run->configuration.value.as<StructuredMap>().size(), 3u);
  ASSERT_EQ(run->input_schedule.entries.size(), 2u);
  EXPECT_EQ(run->input_schedule.entries[0].ordinal, 1u);
  EXPECT_EQ(run->execution_controls.bundle_limits[0].limit_id, "test.limit.a");
  EXPECT_EQ(run->identity.configuration, run->configuration);
  EXPECT_EQ(run->identity.resolved_input_schedule, run->input_schedule);
  EXPECT_EQ(run->identity.artifact_identity.canonical_value, kRom);
  EXPECT_TRUE(check_prepared_run(*run));
  EXPECT_TRUE(check_live_input_support(*run, true));
  EXPECT_EQ(check_live_input_support(*run, false).error().message,
            "prepared run declares live inputs but the bundle exposes no live-input capability");
}

TEST(PreparedRun, PreparationFailuresInStepOrder) {
  RunContract contract = test_run_contract();
  contract.machine.machine_id = "";
  // The run ID comes first, the machine identity before the artifact.
  EXPECT_EQ(prepare_run(" ", contract, ByteString{}, test_configuration({}), empty_input_schedule(), {})
                .error().message,
            "prepared run has an empty run ID");
  EXPECT_EQ(prepare_run("r", contract, ByteString{}, test_configuration({}), empty_input_schedule(), {})
                .error().message,
            "machine identity has an empty machine ID");
  EXPECT_EQ(prepare({}, empty_input_schedule(), "r", ByteString{}).error().message, "artifact has 0 bytes; minimum is 1");
  StructuredMap unknown;
  unknown.emplace("zz", SV::null());
  EXPECT_EQ(prepare_run("r", test_run_contract(), kRom, test_configuration(unknown),
                        schedule_of({test_key_entry(1, 0, true, "nope")}), {})
                .error().message,
            "machine configuration contains unknown field \"zz\"");
  EXPECT_EQ(prepare(ExecutionControls{{}, {}, {test_limit("x.y", 1)}}, schedule_of({test_key_entry(1, 0, true, "nope")}))
                .error().message,
            "input schedule references undeclared input nope");
  EXPECT_EQ(prepare(ExecutionControls{{}, {}, {test_limit("x.y", 1)}}).error().message,
            "execution controls reference unsupported limit x.y");
}

TEST(PreparedRunIdentity, IdenticalInputsGiveIdenticalBytes) {
  const ExecutionControls controls{10, std::nullopt, {test_limit("test.limit.a", 1), test_limit("test.limit.b", 2)}};
  const InputSchedule schedule = schedule_of({test_key_entry(2, 0, true), test_key_entry(1, 0, false)});
  auto first = prepare(controls, schedule);
  auto second = prepare(controls, schedule);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->identity, second->identity);

  // The run ID is not part of the identity; bundle limits are sorted first.
  auto other_run = prepare(controls, schedule, "another-run");
  ExecutionControls reversed = controls;
  std::swap(reversed.bundle_limits[0], reversed.bundle_limits[1]);
  auto reordered = prepare(reversed, schedule);
  InputSchedule swapped_entries = schedule;
  std::swap(swapped_entries.entries[0], swapped_entries.entries[1]);
  auto entries_reordered = prepare(controls, swapped_entries);
  ASSERT_TRUE(other_run && reordered && entries_reordered);
  EXPECT_EQ(other_run->identity.canonical_bytes, first->identity.canonical_bytes);
  EXPECT_EQ(reordered->identity.canonical_bytes, first->identity.canonical_bytes);
  EXPECT_EQ(entries_reordered->identity.canonical_bytes, first->identity.canonical_bytes);
}

TEST(PreparedRunIdentity, EveryResolvedInputChangesTheBytes) {
  const ExecutionControls controls{10, std::nullopt, {}};
  const InputSchedule schedule = schedule_of({test_key_entry(2, 0, true)});
  const ByteString base = prepare(controls, schedule)->identity.canonical_bytes;
  StructuredMap slow;
  slow.emplace("mode", SV::text("slow"));
  const std::vector<ByteString> variants = {
      prepare(ExecutionControls{std::nullopt, std::nullopt, {}}, schedule)->identity.canonical_bytes,
      prepare(ExecutionControls{10, 0, {}}, schedule)->identity.canonical_bytes,
      prepare(ExecutionControls{10, std::nullopt, {test_limit("test.limit.a", 0)}}, schedule)->identity.canonical_bytes,
      prepare(controls, schedule_of({test_key_entry(3, 0, true)}))->identity.canonical_bytes,
      prepare(controls, schedule_of({test_key_entry(2, 1, true)}))->identity.canonical_bytes,
      prepare(controls, schedule, "run-1", ByteString{0x12})->identity.canonical_bytes,
      prepare_run("run-1", test_run_contract(), kRom, test_configuration(slow), schedule, controls)
          ->identity.canonical_bytes,
  };
  for (std::size_t i = 0; i < variants.size(); ++i) EXPECT_NE(variants[i], base) << "variant " << i;
}

TEST(PreparedRunIdentity, CanonicalValueLayout) {
  auto run = prepare(ExecutionControls{10, std::nullopt, {test_limit("test.limit.a", 7)}},
                     schedule_of({test_key_entry(2, 5, true)}));
  ASSERT_TRUE(run);
  auto schema = [](std::string id) {
    StructuredMap version{{"major", SV::unsigned_integer(1)}, {"minor", SV::unsigned_integer(0)},
                          {"patch", SV::unsigned_integer(0)}};
    return SV::map({{"id", SV::text(std::move(id))}, {"version", SV::map(version)}});
  };
  auto field = [](std::string name, SV value) {
    return SV::map({{"name", SV::text(std::move(name))}, {"value", std::move(value)}});
  };
  const SV expected = SV::map({
      {"schema", schema("lumivar.prepared_run_identity")},
      {"fields",
       SV::array({
           field("artifact_identity", SV::map({{"schema", schema("test.rom")},
                                               {"encoding", SV::map({{"kind", SV::text("raw_bytes")}})},
                                               {"canonical_value", SV::bytes(kRom)}})),
           field("machine_identity", SV::map({{"machine_id", SV::text("testmachine")},
                                              {"bundle_version", SV::text("1.0.0")},
                                              {"machine_version", SV::text("semantics.v1")},
                                              {"emulator_version", SV::text("emulator/1")},
                                              {"contract_schema", schema("test.contract")}})),
           field("configuration", SV::map({{"schema", schema("test.configuration")},
                                           {"value", SV::map({{"mode", SV::text("fast")},
                                                              {"count", SV::unsigned_integer(4)},
                                                              {"seed", SV::unsigned_integer(0)}})}})),
           field("resolved_input_schedule",
                 SV::map({{"schema", schema("lumivar.input_schedule")},
                          {"entries", SV::array({SV::map({
                                          {"ordinal", SV::unsigned_integer(2)},
                                          {"coordinate", SV::map({{"kind", SV::text("frame")},
                                                                  {"value", SV::unsigned_integer(5)}})},
                                          {"input_id", SV::text("test.key.a")},
                                          {"payload", SV::map({{"schema", schema("test.key")},
                                                               {"value", SV::boolean(true)}})},
                                      })})}})),
           field("prepared_input_interface",
                 SV::map({{"live_inputs",
                           SV::array({SV::map({{"input_id", SV::text("test.key.b")},
                                               {"payload_schema", schema("test.key")},
                                               {"coordinate_policy",
                                                SV::map({{"schema", schema("lumivar.coordinate.frame")},
                                                         {"boundary", SV::text("frame_start")}})}})})}})),
           field("execution_controls",
                 SV::map({{"frame_limit", SV::unsigned_integer(10)},
                          {"step_limit", SV::null()},
                          {"bundle_limits",
                           SV::array({SV::map({{"limit_id", SV::text("test.limit.a")},
                                               {"value", SV::map({{"schema", schema("test.limit.u64")},
                                                                  {"value", SV::unsigned_integer(7)}})}})})}})),
       })},
  });
  const PreparedRunIdentity& identity = run->identity;
  EXPECT_EQ(prepared_run_identity_canonical_value(identity.artifact_identity, identity.machine_identity,
                                                  identity.configuration, identity.resolved_input_schedule,
                                                  identity.prepared_input_interface, identity.execution_controls),
            expected);
  EXPECT_EQ(identity.canonical_bytes, *canonical_structured_bytes(expected));
}

// The bytes are written straight from the parts; they must stay those of the
// canonical value for every shape a part can take, and refuse what the
// canonical value refuses.
TEST(PreparedRunIdentity, BytesMatchTheCanonicalValueForEveryPartShape) {
  PreparedRunIdentity identity = prepare()->identity;
  identity.artifact_identity.encoding.extension = "gz";
  StructuredMap nested;
  nested.emplace("zeta", SV::floating(-0.0));
  nested.emplace("a", SV::array({SV::signed_integer(-3), SV::text("x"), SV::bytes({1, 2}), SV::null()}));
  nested.emplace("longer_key_than_the_others", SV::floating(2.5));
  StructuredMap configuration;
  configuration.emplace("mode", SV::text("slow"));
  configuration.emplace("nested", SV::map(nested));
  identity.configuration.value = SV::map(configuration);
  identity.configuration.canonical_bytes = *canonical_structured_bytes(identity.configuration.value);
  const SchemaRef coordinate_schema{"test.coordinate", {2, 1, 3}};
  identity.resolved_input_schedule.entries = {
      test_key_entry(1, 0, true),
      ScheduledInput{4, InputCoordinate::step(9), "test.key.b", TypedInputPayload{kTestKeySchema, SV::map(nested)}},
      ScheduledInput{7, InputCoordinate::bundle_defined(coordinate_schema, SV::map(nested)), "test.key.a",
                     TypedInputPayload{kTestKeySchema, SV::unsigned_integer(300)}},
      ScheduledInput{8, InputCoordinate::cycle(70000), "test.key.a", TypedInputPayload{kTestKeySchema, SV::null()}},
      ScheduledInput{9, InputCoordinate::tick(5000000000), "test.key.a",
                     TypedInputPayload{kTestKeySchema, SV::boolean(false)}},
  };
  identity.execution_controls = PreparedExecutionControls{
      std::nullopt, 123456, {test_limit("a.limit", 1), BundleExecutionLimit{"b.limit", {kTestLimitSchema, SV::map(nested)}}}};
  auto direct = [](const PreparedRunIdentity& id) {
    return rebuild_prepared_run_identity_bytes(id.artifact_identity, id.machine_identity, id.configuration,
                                               id.resolved_input_schedule, id.prepared_input_interface,
                                               id.execution_controls);
  };
  auto through_tree = [](const PreparedRunIdentity& id) {
    return canonical_structured_bytes(prepared_run_identity_canonical_value(
        id.artifact_identity, id.machine_identity, id.configuration, id.resolved_input_schedule,
        id.prepared_input_interface, id.execution_controls));
  };
  ASSERT_TRUE(direct(identity));
  EXPECT_EQ(*direct(identity), *through_tree(identity));

  PreparedRunIdentity no_live_inputs = identity;
  no_live_inputs.prepared_input_interface.live_inputs.clear();
  EXPECT_EQ(*direct(no_live_inputs), *through_tree(no_live_inputs));

  PreparedRunIdentity infinite_limit = identity;
  infinite_limit.execution_controls.bundle_limits[0].value.value = SV::floating(std::numeric_limits<double>::infinity());
  EXPECT_EQ(direct(infinite_limit).error().message, through_tree(infinite_limit).error().message);
  EXPECT_EQ(direct(infinite_limit).error().message, "canonical structured values reject non-finite floats");
}

TEST(PreparedRunIdentity, CheckRefusesTamperedBytesAndParts) {
  const PreparedRunIdentity identity = prepare()->identity;
  EXPECT_TRUE(check_prepared_run_identity(identity));
  PreparedRunIdentity tampered = identity;
  tampered.canonical_bytes[tampered.canonical_bytes.size() / 2] ^= 0x01;
  EXPECT_EQ(check_prepared_run_identity(tampered).error().message,
            "prepared-run identity canonical bytes do not match envelope");
  PreparedRunIdentity unsorted = identity;
  unsorted.execution_controls.bundle_limits = {test_limit("b.b", 1), test_limit("a.a", 1)};
  EXPECT_EQ(check_prepared_run_identity(unsorted).error().message, "prepared bundle limits must be sorted and unique");
  PreparedRunIdentity bad_configuration = identity;
  bad_configuration.configuration.canonical_bytes.clear();
  EXPECT_EQ(check_prepared_run_identity(bad_configuration).error().message,
            "prepared configuration canonical bytes do not match value");
}

TEST(PreparedRun, CheckFailures) {
  const PreparedRun run = *prepare(ExecutionControls{10, std::nullopt, {}});
  PreparedRun blank_id = run;
  blank_id.run_id = "\n";
  EXPECT_EQ(check_prepared_run(blank_id).error().message, "prepared run has an empty run ID");

  // A resolved configuration that differs from the identity's, consistent in itself.
  PreparedRun other_configuration = run;
  StructuredMap slow;
  slow.emplace("mode", SV::text("slow"));
  other_configuration.configuration =
      *prepare_configuration(test_configuration(slow), test_run_contract().configuration_schema);
  EXPECT_EQ(check_prepared_run(other_configuration).error().message,
            "prepared run identity does not match resolved execution state");

  PreparedRun other_limits = run;
  other_limits.execution_controls.frame_limit = 11;
  EXPECT_EQ(check_prepared_run(other_limits).error().message,
            "prepared run identity does not match resolved execution state");

  PreparedRun other_machine = run;
  other_machine.machine_id = "chip8";
  EXPECT_EQ(check_prepared_run(other_machine).error().message,
            "prepared run machine ID does not match machine identity");
}

}  // namespace
}  // namespace lumivar
