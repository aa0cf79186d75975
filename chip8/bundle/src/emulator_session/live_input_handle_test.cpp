#include "chip8_bundle/emulator_session/live_input_handle.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "chip8_bundle/emulator_session/session_testing.hpp"

namespace chip8::bundle {
namespace {

lumivar::TypedInputPayload key_payload(lumivar::StructuredValue value) {
  return lumivar::TypedInputPayload{key_payload_schema(), std::move(value)};
}

TEST(LiveInputHandle, KeyChangesReachTheSessionAtTheNextFrame) {
  const Chip8MachineContract contract = build_machine_contract();
  testing::RunSpec run_spec;
  run_spec.rom = {0x12, 0x00};
  auto record = prepare_bundle_run(contract, run_spec.rom, "live-run",
                                   {"null", "null", testing::controls_json(run_spec), "null"});
  ASSERT_TRUE(record) << record.error().message;
  LiveInputHandle handle(record->prepared_run.input_interface, record->live_keypad);
  auto session = create_session(*record, *contract.live_inputs);
  ASSERT_TRUE(session);
  ASSERT_TRUE(session->step());

  auto pressed = handle.apply("chip8.key.3", key_payload(lumivar::StructuredValue::boolean(true)));
  ASSERT_TRUE(pressed) << pressed.error().message;
  EXPECT_EQ(pressed->instance_id, 0u);
  EXPECT_EQ(pressed->input_id, "chip8.key.3");
  EXPECT_EQ(pressed->coordinate, lumivar::InputCoordinate::frame(0));  // the frame last started
  EXPECT_EQ(session->emulator().machine().keypad_mask, 0u);
  ASSERT_TRUE(session->step());
  EXPECT_EQ(session->emulator().machine().keypad_mask, 0x0008);

  auto released = handle.apply("chip8.key.3", key_payload(lumivar::StructuredValue::boolean(false)));
  ASSERT_TRUE(released);
  EXPECT_EQ(released->instance_id, 1u);
  EXPECT_EQ(released->coordinate, lumivar::InputCoordinate::frame(1));
  EXPECT_EQ(record->live_keypad->read()->mask, 0u);
}

TEST(LiveInputHandle, Refusals) {
  const PreparedRunRecord record = testing::prepare(testing::RunSpec{.rom = {0x12, 0x00}});
  LiveInputHandle handle(record.prepared_run.input_interface, record.live_keypad);
  struct Case {
    const char* input_id;
    lumivar::TypedInputPayload payload;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"chip8.key.g", key_payload(lumivar::StructuredValue::boolean(true)),
       "CHIP-8 live input \"chip8.key.g\" is not declared"},
      {"chip8.key.1", {{"chip8.input.key", {1, 1, 0}}, lumivar::StructuredValue::boolean(true)},
       "CHIP-8 live input \"chip8.key.1\" expects payload schema \"chip8.input.key\" 1.0.0, got \"chip8.input.key\" 1.1.0"},
      {"chip8.key.1", key_payload(lumivar::StructuredValue::unsigned_integer(1)), "CHIP-8 key payload must be boolean"},
  };
  for (const Case& c : cases) {
    auto refused = handle.apply(c.input_id, c.payload);
    ASSERT_FALSE(refused) << c.input_id;
    EXPECT_EQ(refused.error().message, c.message);
  }
  EXPECT_EQ(record.live_keypad->read()->mask, 0u);
}

TEST(LiveInputHandle, PoisonedKeypadIsUnavailableToBothSides) {
  const Chip8MachineContract contract = build_machine_contract();
  std::shared_ptr<LiveKeypadState> keypad = contract.live_inputs->register_run("run-1");
  const PreparedRunRecord record = testing::prepare(testing::RunSpec{.rom = {0x12, 0x00}});
  auto session = create_session(record, *contract.live_inputs);
  ASSERT_TRUE(session);
  LiveInputHandle handle(record.prepared_run.input_interface, keypad);
  EXPECT_THROW((void)keypad->with_lock([](LiveKeypad&) { throw std::runtime_error("interrupted"); }),
               std::runtime_error);

  auto applied = handle.apply("chip8.key.1", key_payload(lumivar::StructuredValue::boolean(true)));
  ASSERT_FALSE(applied);
  EXPECT_EQ(applied.error().message, "CHIP-8 live-input state is unavailable");
  auto stepped = session->step();
  ASSERT_FALSE(stepped);
  EXPECT_EQ(stepped.error().message, "CHIP-8 live-input state is unavailable");
  EXPECT_EQ(session->lifecycle(), SessionLifecycle::Terminal);
  auto reset = session->reset();
  ASSERT_FALSE(reset);
  EXPECT_EQ(reset.error().message, "CHIP-8 live-input state is unavailable");
  EXPECT_EQ(session->emulator().cycle_count(), 0u);  // the machine was restored all the same
}

}  // namespace
}  // namespace chip8::bundle
