#include "lumivar_core/event/normalized_event_json.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "lumivar_core/encoding/hex_testing.hpp"
#include "lumivar_core/event/normalized_event_testing.hpp"

namespace lumivar {
namespace {

using testing::full_event;
using testing::minimal_event;

constexpr std::string_view kMinimalJson =
    R"({"arch":"chip8","causes":[],"control_flow":null,"cycle_or_tick":null,"extensions":{},"frame":null,)"
    R"("instruction":null,"io":[],"kind":"run_started","machine_version":"mv","pc":null,"reads":[],)"
    R"("run_id":"r","schema_version":{"major":1,"minor":0,"patch":0},"sequence":0,"step":0,"trap":null,)"
    R"("writes":[]})";

constexpr std::string_view kFullJson =
    R"({"arch":"chip8","causes":[{"evidence":null,"relation":"control","source_sequence":3},)"
    R"({"evidence":"e","relation":{"extension":"timing"},"source_sequence":4}],)"
    R"("control_flow":{"from":{"space":"program","value":512},"kind":"branch","taken":true,)"
    R"("to":{"space":"program","value":564}},"cycle_or_tick":42,"extensions":{"a":[true],"z":1},"frame":3,)"
    R"("instruction":{"bytes":[18,52],"decoded":"JP 0x234","encoding":"chip8.opcode"},)"
    R"("io":[{"channel":"keypad","direction":"input","port":"keypad_in","value":{"input_id":"k","ordinal":1}}],)"
    R"("kind":"branch_taken","machine_version":"mv","pc":{"space":"program","value":512},)"
    R"("reads":[{"location":{"address":null,"name":"v0","space":"register","width_bits":8},"value":5}],)"
    R"("run_id":"run-1","schema_version":{"major":1,"minor":0,"patch":0},"sequence":7,"step":42,)"
    R"("trap":{"code":"x","fatal":false,"message":"m"},)"
    R"("writes":[{"after":true,"before":null,"location":{"address":{"space":"memory","value":16},)"
    R"("name":null,"space":{"extension":"chip8.audio"},"width_bits":null}}]})";

TEST(NormalizedEventJson, GoldenVectors) {
  Result<CanonicalEventJson> minimal = encode_normalized_event(minimal_event());
  ASSERT_TRUE(minimal.has_value());
  EXPECT_BYTES_EQ(kMinimalJson, minimal->json);

  Result<CanonicalEventJson> full = encode_normalized_event(full_event());
  ASSERT_TRUE(full.has_value());
  EXPECT_BYTES_EQ(kFullJson, full->json);
}

TEST(NormalizedEventJson, RunIdRangeCutsExactlyTheMember) {
  // A run ID needing escapes shows that the range follows the written text.
  for (std::string run_id : {"r", "run-1", "a\"b\\c\x01", ""}) {
    Result<CanonicalEventJson> encoded = encode_normalized_event(full_event(run_id));
    ASSERT_TRUE(encoded.has_value());
    std::string cut = std::string(encoded->before_run_id()) + std::string(encoded->after_run_id());
    std::string expected(kFullJson);
    std::string member = R"(,"run_id":"run-1")";
    expected.erase(expected.find(member), member.size());
    EXPECT_BYTES_EQ(expected, cut) << "run ID " << run_id;
    EXPECT_EQ(encoded->json.substr(encoded->run_id_member.begin, 10), R"(,"run_id":)");
  }
}

TEST(NormalizedEventJson, EnumerationSpellings) {
  struct Case {
    StateSpace space;
    std::string_view json;
  };
  const Case spaces[] = {
      {StateSpaceTag::Register, R"("register")"},     {StateSpaceTag::Memory, R"("memory")"},
      {StateSpaceTag::Stack, R"("stack")"},           {StateSpaceTag::Timer, R"("timer")"},
      {StateSpaceTag::Display, R"("display")"},       {StateSpaceTag::Input, R"("input")"},
      {StateSpaceTag::Output, R"("output")"},         {StateSpaceTag::Randomness, R"("randomness")"},
      {StateSpace::extension_member("chip8.audio"), R"({"extension":"chip8.audio"})"},
  };
  for (const Case& c : spaces) {
    JsonWriter writer;
    write_state_space(writer, c.space);
    EXPECT_EQ(writer.view(), c.json);
  }
  EXPECT_EQ(spelling(ControlFlowKind::Next), "next");
  EXPECT_EQ(spelling(ControlFlowKind::Branch), "branch");
  EXPECT_EQ(spelling(ControlFlowKind::Call), "call");
  EXPECT_EQ(spelling(ControlFlowKind::Return), "return");
  EXPECT_EQ(spelling(ControlFlowKind::Interrupt), "interrupt");
  EXPECT_EQ(spelling(ControlFlowKind::Trap), "trap");
  EXPECT_EQ(spelling(IoDirection::Input), "input");
  EXPECT_EQ(spelling(IoDirection::Output), "output");
  EXPECT_EQ(spelling(IoChannelTag::Display), "display");
  EXPECT_EQ(spelling(IoChannelTag::Keypad), "keypad");
  EXPECT_EQ(spelling(IoChannelTag::Sound), "sound");
  EXPECT_EQ(spelling(IoChannelTag::Timer), "timer");
  EXPECT_EQ(spelling(IoChannelTag::Collision), "collision");
  EXPECT_EQ(spelling(IoChannelTag::Randomness), "randomness");
  EXPECT_EQ(spelling(CausalRelationTag::Data), "data");
  EXPECT_EQ(spelling(CausalRelationTag::Control), "control");
  EXPECT_EQ(spelling(CausalRelationTag::Input), "input");

  JsonWriter writer;
  write_event_kind(writer, EventKind::extension_kind("chip8.internal_state_changed"));
  EXPECT_EQ(writer.view(), R"({"extension":"chip8.internal_state_changed"})");
}

TEST(NormalizedEventJson, NonFiniteValueIsRefused) {
  const double kBad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (double bad : kBad) {
    NormalizedEvent in_read = full_event();
    in_read.reads[0].value = JsonValue(bad);
    NormalizedEvent in_write = full_event();
    in_write.writes[0].before = JsonValue(JsonArray{JsonValue(bad)});
    NormalizedEvent in_io = full_event();
    in_io.io[0].value = JsonValue(bad);
    NormalizedEvent in_extension = full_event();
    in_extension.extensions.emplace("b", JsonValue(bad));
    for (const NormalizedEvent& event : {in_read, in_write, in_io, in_extension}) {
      Result<CanonicalEventJson> encoded = encode_normalized_event(event);
      ASSERT_FALSE(encoded.has_value());
      EXPECT_EQ(encoded.error().message, "cannot convert value to canonical JSON: non-finite float");
    }
  }
}

}  // namespace
}  // namespace lumivar
