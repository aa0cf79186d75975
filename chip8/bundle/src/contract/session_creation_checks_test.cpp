#include "chip8_bundle/contract/session_creation_checks.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"

namespace chip8::bundle {
namespace {

const lumivar::ByteString kRom = {0x00, 0xE0, 0x12, 0x00};
constexpr std::uint64_t kRomFnv1a = 0xe375c27c8d02e1f7;  // FNV-1a 64 of kRom
// A ROM whose FNV-1a hash is a valid machine_seed (below 2^63).
const lumivar::ByteString kSmallHashRom = {0x44, 0x20};
constexpr std::uint64_t kSmallHashRomFnv1a = 0x08fe9007b598e3e9;

std::string schedule_json(std::uint64_t frame) {
  return R"({"schema": {"id": "lumivar.input_schedule", "version": {"major": 1, "minor": 0, "patch": 0}}, "entries": [)"
         R"({"ordinal": 4, "coordinate": {"kind": "frame", "value": {"frame": )" +
         std::to_string(frame) +
         R"(}}, "input_id": "chip8.key.c", "payload": {"schema": {"id": "chip8.input.key", "version": {"major": 1,)"
         R"( "minor": 0, "patch": 0}}, "value": {"Bool": true}}}]})";
}

std::string configuration_json(std::uint64_t seed) {
  return R"({"schema": {"id": "chip8.machine_configuration", "version": {"major": 2, "minor": 0, "patch": 0}},)"
         R"( "value": {"Map": {"quirks": {"Text": "schip"}, "machine_seed": {"Unsigned": )" +
         std::to_string(seed) + "}}}}";
}

constexpr std::string_view kTenFrames = R"({"frame_limit": 10, "step_limit": 500, "bundle_limits": []})";

class SessionCreationChecks : public ::testing::Test {
 protected:
  PreparedRunRecord prepare(const std::string& schedule = schedule_json(9), std::string_view controls = kTenFrames,
                            const std::string& configuration = "null", const lumivar::ByteString& rom = kRom) {
    auto record = prepare_bundle_run(contract_, rom, "run-1", {configuration, schedule, controls, "null"});
    if (!record) throw std::runtime_error(record.error().message);
    return std::move(*record);
  }
  lumivar::Result<SessionParameters> check(const PreparedRunRecord& record) {
    return check_session_creation(record.artifact, record.prepared_run, record.request, record.prepared_observation,
                                  *contract_.live_inputs);
  }

  Chip8MachineContract contract_ = build_machine_contract();
};

TEST_F(SessionCreationChecks, PreparedRecordYieldsSessionParameters) {
  const PreparedRunRecord record = prepare();
  auto parameters = check(record);
  ASSERT_TRUE(parameters) << parameters.error().message;
  EXPECT_EQ(parameters->configuration.preset_name, "chip8");
  EXPECT_EQ(parameters->configuration.cycles_per_frame, 12u);
  EXPECT_EQ(parameters->frame_limit, 10u);
  EXPECT_EQ(parameters->step_limit, 500u);
  EXPECT_EQ(parameters->schedule, (std::vector<ScheduledKeyInput>{{4, 9, 12, true}}));
  EXPECT_EQ(parameters->live_keypad, record.live_keypad);
  EXPECT_EQ(parameters->effective_seed, kRomFnv1a);
}

TEST_F(SessionCreationChecks, SeedEqualToTheRomHashGivesZero) {
  const PreparedRunRecord record =
      prepare(schedule_json(0), kTenFrames, configuration_json(kSmallHashRomFnv1a), kSmallHashRom);
  auto parameters = check(record);
  ASSERT_TRUE(parameters) << parameters.error().message;
  EXPECT_EQ(parameters->effective_seed, 0u);
  EXPECT_EQ(parameters->configuration.preset_name, "schip");
}

TEST_F(SessionCreationChecks, AContractWithoutTheRunHasNoLiveKeypad) {
  const PreparedRunRecord record = prepare();
  const Chip8MachineContract fresh = build_machine_contract();
  auto parameters = check_session_creation(record.artifact, record.prepared_run, record.request,
                                           record.prepared_observation, *fresh.live_inputs);
  ASSERT_TRUE(parameters) << parameters.error().message;
  EXPECT_EQ(parameters->live_keypad, nullptr);
}

TEST_F(SessionCreationChecks, FrameLimitBoundsTheSchedule) {
  auto outside = check(prepare(schedule_json(10)));
  ASSERT_FALSE(outside);
  EXPECT_EQ(outside.error().message, "CHIP-8 input chip8.key.c targets frame 10, outside frame limit 10");
  auto unlimited = check(prepare(lumivar::canonical_json_bytes(lumivar::to_json(lumivar::empty_input_schedule())).value(),
                                 "null"));
  ASSERT_FALSE(unlimited);
  EXPECT_EQ(unlimited.error().message, "CHIP-8 publication execution requires an explicit frame_limit");
}

struct Mismatch {
  const char* name;
  void (*change)(PreparedRunRecord&, const PreparedRunRecord& other);
  std::string message;
};

TEST_F(SessionCreationChecks, MismatchesInCheckOrder) {
  const PreparedRunRecord base = prepare();
  // A valid record of another request, for swapping parts in.
  const PreparedRunRecord other = prepare(schedule_json(3));
  const std::vector<Mismatch> cases = {
      {"request invalid", [](PreparedRunRecord& r, const PreparedRunRecord&) { r.request.run_id = ""; r.prepared_run.run_id = ""; },
       "execution request has an empty run ID"},
      {"prepared run invalid",
       [](PreparedRunRecord& r, const PreparedRunRecord&) { r.prepared_run.machine_id = "chip9"; },
       "prepared run machine ID does not match machine identity"},
      {"prepared observation invalid",
       [](PreparedRunRecord& r, const PreparedRunRecord&) { r.prepared_observation.input_value_ids = {"b", "a"}; },
       "prepared input-value IDs must be sorted and unique"},
      {"run ID", [](PreparedRunRecord& r, const PreparedRunRecord&) { r.request.run_id = "run-2"; },
       "CHIP-8 prepared run ID does not match the execution request"},
      {"machine",
       [](PreparedRunRecord& r, const PreparedRunRecord&) {
         r.request.prepared_run_identity.reset();
         r.request.machine_id = "chip9";
       },
       "CHIP-8 prepared run targets the wrong machine"},
      {"observation ID absent",
       [](PreparedRunRecord& r, const PreparedRunRecord&) { r.request.prepared_observation_id.reset(); },
       "CHIP-8 prepared observation does not match the execution request"},
      {"observation request",
       [](PreparedRunRecord& r, const PreparedRunRecord&) { r.request.observation.budgets.max_frame_bytes = 1; },
       "CHIP-8 prepared observation does not match the execution request"},
      {"run identity",
       [](PreparedRunRecord& r, const PreparedRunRecord& o) { r.request.prepared_run_identity = o.prepared_run.identity; },
       "CHIP-8 prepared run identity does not match the execution request"},
  };
  for (const Mismatch& c : cases) {
    PreparedRunRecord record = base;
    c.change(record, other);
    auto checked = check(record);
    ASSERT_FALSE(checked) << c.name;
    EXPECT_EQ(checked.error().message, c.message) << c.name;
  }
  // A request without a prepared run identity is not compared with one.
  PreparedRunRecord without_identity = base;
  without_identity.request.prepared_run_identity.reset();
  EXPECT_TRUE(check(without_identity));
}

}  // namespace
}  // namespace chip8::bundle
