#include "lumivar_core/schedule/input_schedule_json.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;

constexpr const char* kSchema = R"({"id": "lumivar.input_schedule", "version": {"major": 1, "minor": 0, "patch": 0}})";
constexpr const char* kKeyPayload =
    R"({"schema": {"id": "chip8.input.key", "version": {"major": 1, "minor": 0, "patch": 0}}, "value": {"Bool": true}})";

std::string schedule_text(const std::string& entries) {
  return std::string(R"({"schema": )") + kSchema + R"(, "entries": [)" + entries + "]}";
}

std::string entry_text(const std::string& coordinate, const std::string& input_id = "chip8.key.a") {
  return R"({"ordinal": 3, "coordinate": )" + coordinate + R"(, "input_id": ")" + input_id +
         R"(", "payload": )" + kKeyPayload + "}";
}

TEST(InputScheduleJson, NullIsTheEmptySchedule) {
  auto read = read_input_schedule_document("\tnull \r\n");
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(*read, empty_input_schedule());
}

TEST(InputScheduleJson, ReadsEntriesWithCoordinateMembersInEitherOrder) {
  const std::string text = schedule_text(entry_text(R"({"kind": "frame", "value": {"frame": 12}})") + ", " +
                                         entry_text(R"({"value": {"step": 7}, "kind": "step"})"));
  auto read = read_input_schedule_document(text);
  ASSERT_TRUE(read) << read.error().message;
  ASSERT_EQ(read->entries.size(), 2u);
  EXPECT_EQ(read->schema, input_schedule_schema());
  EXPECT_EQ(read->entries[0],
            (ScheduledInput{3, InputCoordinate::frame(12), "chip8.key.a",
                            TypedInputPayload{{"chip8.input.key", {1, 0, 0}}, SV::boolean(true)}}));
  EXPECT_EQ(read->entries[1].coordinate, InputCoordinate::step(7));
}

TEST(InputScheduleJson, WrittenFormReadsBack) {
  const InputSchedule schedule{
      input_schedule_schema(),
      {ScheduledInput{1, InputCoordinate::bundle_defined({"b.beat", {1, 2, 3}}, SV::text("x")), "a.b",
                      TypedInputPayload{{"p", {1, 0, 0}}, SV::signed_integer(-4)}},
       ScheduledInput{0, InputCoordinate::cycle(9), "a.c", TypedInputPayload{{"p", {1, 0, 0}}, SV::null()}},
       ScheduledInput{2, InputCoordinate::tick(5), "a.d", TypedInputPayload{{"p", {1, 0, 0}}, SV::null()}}}};
  auto text = canonical_json_bytes(to_json(schedule));
  ASSERT_TRUE(text);
  auto read = read_input_schedule_document(*text);
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(*read, schedule);
}

struct ReadFailure {
  std::string text;
  std::string message;
};

TEST(InputScheduleJson, ShapeErrors) {
  const std::vector<ReadFailure> cases = {
      {schedule_text(entry_text(R"({"kind": "beat", "value": {}})")),
       "unknown variant `beat`, expected one of `frame`, `step`, `cycle`, `tick`, `bundle_defined` at line 1 "
       "column 150"},
      {schedule_text(entry_text(R"({"kind": "frame"})")), "missing field `value` at line 1 column 152"},
      {schedule_text(entry_text(R"({"kind": "frame", "value": {"step": 1}})")),
       "unknown field `step`, expected `frame` at line 1 column 169"},
      {schedule_text(entry_text(R"({"value": {"frame": -1}, "kind": "frame"})")),
       "invalid value: integer `-1`, expected u64 at line 1 column 157"},
      {schedule_text(entry_text(R"({"kind": "frame", "value": {"frame": 1}})", "chip8.Key.a")),
       "input ID \"chip8.Key.a\" contains a character outside lowercase ASCII letters, digits, '_' and '-' at "
       "line 1 column 202"},
      {std::string(R"({"entries": []})"), "missing field `schema` at line 1 column 15"},
  };
  for (const ReadFailure& c : cases) {
    auto read = read_input_schedule_document(c.text);
    ASSERT_FALSE(read) << c.text;
    EXPECT_EQ(read.error().message, c.message) << c.text;
  }
}

}  // namespace
}  // namespace lumivar
