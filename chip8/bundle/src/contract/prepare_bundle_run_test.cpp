#include "chip8_bundle/contract/prepare_bundle_run.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/observation/observation_request.hpp"

namespace chip8::bundle {
namespace {

using SV = lumivar::StructuredValue;

const lumivar::ByteString kRom = {0x00, 0xE0, 0x12, 0x00};

constexpr std::string_view kConfiguration =
    R"({"schema": {"id": "chip8.machine_configuration", "version": {"major": 2, "minor": 0, "patch": 0}},)"
    R"( "value": {"Map": {"quirks": {"Text": "vip"}, "cycles_per_frame": {"Unsigned": 20}}}})";
// The same configuration with the map keys and the members in another order.
constexpr std::string_view kConfigurationReordered =
    R"({"value": {"Map": {"cycles_per_frame": {"Unsigned": 20}, "quirks": {"Text": "vip"}}},)"
    R"( "schema": {"version": {"patch": 0, "minor": 0, "major": 2}, "id": "chip8.machine_configuration"}})";

std::string schedule_json(const std::string& entries) {
  return R"({"schema": {"id": "lumivar.input_schedule", "version": {"major": 1, "minor": 0, "patch": 0}}, "entries": [)" +
         entries + "]}";
}

std::string key_entry(std::uint64_t ordinal, std::uint64_t frame, const std::string& id = "chip8.key.1") {
  return R"({"ordinal": )" + std::to_string(ordinal) + R"(, "coordinate": {"kind": "frame", "value": {"frame": )" +
         std::to_string(frame) + R"(}}, "input_id": ")" + id +
         R"(", "payload": {"schema": {"id": "chip8.input.key", "version": {"major": 1, "minor": 0, "patch": 0}},)"
         R"( "value": {"Bool": true}}})";
}

std::string observation_json(const lumivar::ObservationRequest& request) {
  return *lumivar::canonical_json_bytes(lumivar::to_json(request));
}

RunDocumentTexts all_null() { return {"null", "null", "null", "null"}; }

TEST(PrepareBundleRun, AllNullDocumentsSelectTheDefaults) {
  const Chip8MachineContract contract = build_machine_contract();
  auto record = prepare_bundle_run(contract, kRom, "run-1", all_null());
  ASSERT_TRUE(record) << record.error().message;
  const lumivar::ExecutionRequest& request = record->request;
  EXPECT_EQ(request.run_id, "run-1");
  EXPECT_EQ(request.machine_id, "chip8");
  EXPECT_EQ(request.artifact, kRom);
  EXPECT_EQ(request.configuration, *lumivar::default_configuration(build_configuration_schema()));
  EXPECT_EQ(request.input_schedule, lumivar::empty_input_schedule());
  EXPECT_EQ(request.execution_controls, lumivar::ExecutionControls{});
  EXPECT_EQ(request.observation, lumivar::default_observation_request());
  EXPECT_EQ(request.prepared_observation_id, record->prepared_observation.identity);
  EXPECT_EQ(request.prepared_run_identity, record->prepared_run.identity);
  EXPECT_EQ(record->artifact, kRom);
  EXPECT_EQ(record->prepared_run.identity.artifact_identity.canonical_value, kRom);
  EXPECT_TRUE(lumivar::check_execution_request(request));
  EXPECT_TRUE(lumivar::check_prepared_run(record->prepared_run));
  // Every CHIP-8 key is live, so the run's keypad state is registered.
  ASSERT_NE(record->live_keypad, nullptr);
  EXPECT_EQ(contract.live_inputs->find("run-1"), record->live_keypad);
  EXPECT_EQ(record->prepared_run.input_interface.live_inputs.size(), 16u);
}

TEST(PrepareBundleRun, IdentityBytesAreReproducible) {
  const std::string schedule = schedule_json(key_entry(2, 1) + ", " + key_entry(1, 0));
  const RunDocumentTexts documents{kConfiguration, schedule, "null", "null"};
  auto first = prepare_bundle_run(kRom, "run-1", documents);
  auto second = prepare_bundle_run(kRom, "run-1", documents);
  RunDocumentTexts reordered = documents;
  reordered.configuration = kConfigurationReordered;
  const std::string swapped_schedule = schedule_json(key_entry(1, 0) + ", " + key_entry(2, 1));
  reordered.input_schedule = swapped_schedule;
  auto third = prepare_bundle_run(kRom, "another-run", reordered);
  ASSERT_TRUE(first && second && third) << (first ? second ? third.error() : second.error() : first.error()).message;
  EXPECT_EQ(first->prepared_run.identity.canonical_bytes, second->prepared_run.identity.canonical_bytes);
  EXPECT_EQ(first->prepared_run.identity, third->prepared_run.identity);
  EXPECT_EQ(first->prepared_observation.identity, third->prepared_observation.identity);

  RunDocumentTexts other_frame = documents;
  const std::string moved = schedule_json(key_entry(2, 1) + ", " + key_entry(1, 3));
  other_frame.input_schedule = moved;
  EXPECT_NE(prepare_bundle_run(kRom, "run-1", other_frame)->prepared_run.identity.canonical_bytes,
            first->prepared_run.identity.canonical_bytes);
}

TEST(PrepareBundleRun, WhitespaceAroundDocumentsIsAccepted) {
  const std::string padded = " \t\r\n" + std::string(kConfiguration) + "\n  ";
  EXPECT_TRUE(prepare_bundle_run(kRom, "run", {padded, " null ", "\nnull\n", "null\t"}));
}

struct Failure {
  const char* name;
  RunDocumentTexts documents;
  std::string message;
  lumivar::ByteString rom = kRom;
  std::string run_id = "run";
};

TEST(PrepareBundleRun, FailuresInStepOrder) {
  lumivar::ObservationRequest bad_version;
  bad_version.schema_version = {2, 0, 0};
  const std::string bad_version_json = observation_json(bad_version);
  lumivar::ObservationRequest twice;
  twice.capabilities = {{"chip8.coverage", false, nullptr}, {"chip8.coverage", false, nullptr},
                        {"chip8.framebuffer", false, nullptr}, {"chip8.framebuffer", false, nullptr}};
  const std::string twice_json = observation_json(twice);
  const std::string array_configuration =
      R"({"schema": {"id": "chip8.machine_configuration", "version": {"major": 2, "minor": 0, "patch": 0}}, "value": {"Array": []}})";
  const std::string newer_configuration =
      R"({"schema": {"id": "chip8.machine_configuration", "version": {"major": 2, "minor": 0, "patch": 1}}, "value": {"Map": {}}})";
  const std::string repeated_ordinal = schedule_json(key_entry(1, 0) + ", " + key_entry(1, 2));
  const std::string undeclared = schedule_json(key_entry(1, 0, "chip8.key.10"));
  const std::string twice_limited =
      R"({"bundle_limits": [{"limit_id": "chip8.x", "value": {"schema": {"id": "s", "version": {"major": 1, "minor": 0, "patch": 0}}, "value": "Null"}},)"
      R"( {"limit_id": "chip8.x", "value": {"schema": {"id": "s", "version": {"major": 1, "minor": 0, "patch": 0}}, "value": "Null"}}]})";
  const std::string limited =
      R"({"bundle_limits": [{"limit_id": "chip8.x", "value": {"schema": {"id": "s", "version": {"major": 1, "minor": 0, "patch": 0}}, "value": "Null"}}]})";

  const std::vector<Failure> cases = {
      {"configuration text", {"null x", "[", "[", "["}, "configuration is invalid JSON: trailing characters at line 1 column 6"},
      {"configuration shape", {"{\"schema\": 1}", "null", "null", "null"},
       "configuration is invalid JSON: invalid type: integer `1`, expected struct SchemaRef at line 1 column 12"},
      {"schedule text", {"null", "nul", "null", "null"}, "input_schedule is invalid JSON: EOF while parsing a value at line 1 column 3"},
      {"controls text", {"null", "null", R"({"frame_limit": 1})", "["},
       "execution_controls is invalid JSON: missing field `bundle_limits` at line 1 column 18"},
      {"observation text", {"null", "null", "null", "{}"}, "observation is invalid JSON: missing field `schema_version` at line 1 column 2"},
      {"observation before configuration shape", {array_configuration, repeated_ordinal, "null", bad_version_json},
       "unsupported emission request schema 2.0.0; expected 2.1.0"},
      {"configuration shape before schedule", {array_configuration, repeated_ordinal, "null", "null"},
       "machine configuration value must be a string-keyed map"},
      {"schedule", {"null", repeated_ordinal, "null", "null"}, "input schedule repeats ordinal 1"},
      {"observation problems joined", {"null", "null", "null", twice_json},
       "observation request selects capability chip8.coverage more than once; observation request selects "
       "capability chip8.framebuffer more than once"},
      {"empty run ID", all_null(), "execution request has an empty run ID", kRom, " "},
      {"repeated bundle limit", {"null", "null", twice_limited, "null"}, "execution request repeats bundle limit chip8.x"},
      {"configuration schema version", {newer_configuration, "null", "null", "null"},
       "machine configuration schema chip8.machine_configuration 2.0.1 does not match declared schema "
       "chip8.machine_configuration 2.0.0"},
      {"empty ROM", all_null(), "artifact has 0 bytes; minimum is 1", {}},
      {"oversized ROM", all_null(), "artifact has 65025 bytes; maximum is 65024", lumivar::ByteString(65025, 0)},
      {"undeclared key", {"null", undeclared, "null", "null"}, "input schedule references undeclared input chip8.key.10"},
      {"bundle limit", {"null", "null", limited, "null"}, "execution controls reference unsupported limit chip8.x"},
  };
  for (const Failure& c : cases) {
    auto record = prepare_bundle_run(c.rom, c.run_id, c.documents);
    ASSERT_FALSE(record) << c.name;
    EXPECT_EQ(record.error().message, c.message) << c.name;
  }
}

}  // namespace
}  // namespace chip8::bundle
