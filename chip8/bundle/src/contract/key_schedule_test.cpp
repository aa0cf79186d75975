#include "chip8_bundle/contract/key_schedule.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace chip8::bundle {
namespace {

using lumivar::InputCoordinate;
using lumivar::ScheduledInput;
using SV = lumivar::StructuredValue;

ScheduledInput entry(std::uint64_t ordinal, std::string id, InputCoordinate coordinate, SV value = SV::boolean(true)) {
  return ScheduledInput{ordinal, std::move(coordinate), std::move(id),
                        lumivar::TypedInputPayload{{"chip8.input.key", {1, 0, 0}}, std::move(value)}};
}

TEST(KeySchedule, KeepsScheduleOrder) {
  const std::vector<ScheduledInput> entries = {entry(1, "chip8.key.f", InputCoordinate::frame(9)),
                                               entry(2, "chip8.key.0", InputCoordinate::frame(0), SV::boolean(false))};
  auto schedule = resolve_key_schedule(entries, 10);
  ASSERT_TRUE(schedule) << schedule.error().message;
  EXPECT_EQ(*schedule, (std::vector<ScheduledKeyInput>{{1, 9, 15, true}, {2, 0, 0, false}}));
}

struct ScheduleFailure {
  ScheduledInput entry;
  std::string message;
};

TEST(KeySchedule, EntryChecksInOrder) {
  const std::vector<ScheduleFailure> cases = {
      {entry(1, "chip8.key.zz", InputCoordinate::step(0)), "CHIP-8 input chip8.key.zz must use a frame coordinate"},
      {entry(1, "chip8.key.zz", InputCoordinate::frame(10)),
       "CHIP-8 input chip8.key.zz targets frame 10, outside frame limit 10"},
      {entry(1, "chip8.key.zz", InputCoordinate::frame(9), SV::text("x")), "unsupported CHIP-8 input ID chip8.key.zz"},
      {entry(1, "chip8.key.3", InputCoordinate::frame(9), SV::unsigned_integer(1)),
       "CHIP-8 input chip8.key.3 payload must be boolean"},
  };
  for (const ScheduleFailure& c : cases) {
    const std::vector<ScheduledInput> entries = {entry(0, "chip8.key.1", InputCoordinate::frame(0)), c.entry};
    auto schedule = resolve_key_schedule(entries, 10);
    ASSERT_FALSE(schedule) << c.message;
    EXPECT_EQ(schedule.error().message, c.message);
  }
  EXPECT_EQ(resolve_key_schedule(std::vector{entry(0, "chip8.key.1", InputCoordinate::frame(0))}, 0).error().message,
            "CHIP-8 input chip8.key.1 targets frame 0, outside frame limit 0");
}

TEST(KeySchedule, JsonFormReadsBack) {
  const ScheduledKeyInput input{7, 3, 12, true};
  auto text = lumivar::canonical_json_bytes(to_json(input));
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, R"({"active":true,"frame":3,"key":12,"ordinal":7})");
  auto read = lumivar::read_required_document<ScheduledKeyInput>(*text, read_scheduled_key_input);
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(*read, input);
  auto bad_key = lumivar::read_required_document<ScheduledKeyInput>(
      R"({"ordinal": 1, "frame": 0, "key": 16, "active": false})", read_scheduled_key_input);
  ASSERT_FALSE(bad_key);
  EXPECT_EQ(bad_key.error().message, "CHIP-8 key must be between 0 and 15 at line 1 column 36");
}

}  // namespace
}  // namespace chip8::bundle
