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
  // Every state space through a read's location: the plain ones as strings,
  // the extension as a one-member object.
  const std::string_view spaces[] = {R"("register")", R"("memory")", R"("stack")",      R"("timer")",
                                     R"("display")",  R"("input")",  R"("output")",     R"("randomness")",
                                     R"({"extension":"chip8.audio"})"};
  for (std::size_t i = 0; i < std::size(spaces); ++i) {
    NormalizedEvent event = minimal_event();
    StateSpace space = static_cast<StateSpaceTag>(i);
    if (space.is_extension()) space = StateSpace::extension_member("chip8.audio");
    event.reads.push_back(StateRead{StateLocation{space, std::nullopt, std::nullopt, std::nullopt}, std::nullopt});
    std::string expected = R"("reads":[{"location":{"address":null,"name":null,"space":)" + std::string(spaces[i]) +
                           R"(,"width_bits":null},"value":null}])";
    EXPECT_NE(encode_normalized_event(event)->json.find(expected), std::string::npos) << spaces[i];
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

  NormalizedEvent extension_kind = minimal_event();
  extension_kind.kind = EventKind::extension_kind("chip8.internal_state_changed");
  EXPECT_NE(encode_normalized_event(extension_kind)->json.find(
                R"("kind":{"extension":"chip8.internal_state_changed"},)"),
            std::string::npos);
}

TEST(NormalizedEventJson, StringsAndValuesAreEscapedAndFormattedLikeTheWriter) {
  NormalizedEvent event = minimal_event("quote\"back\\slash\ncontrol\x1f");
  event.arch = "\xc3\xa9\x7f";  // copied as is
  event.extensions.emplace("k\"ey", JsonValue(JsonArray{JsonValue(-5), JsonValue(1.5), JsonValue(1e16),
                                                         JsonValue("t\tab"), JsonValue(JsonObject{{"b", 1}, {"a", 2}})}));
  Result<CanonicalEventJson> encoded = encode_normalized_event(event);
  ASSERT_TRUE(encoded.has_value());
  EXPECT_TRUE(encoded->json.starts_with("{\"arch\":\"\xc3\xa9\x7f\","));
  EXPECT_NE(encoded->json.find(R"("extensions":{"k\"ey":[-5,1.5,1e+16,"t\tab",{"a":2,"b":1}]})"), std::string::npos);
  EXPECT_NE(encoded->json.find(R"(,"run_id":"quote\"back\\slash\ncontrol\u001f",)"), std::string::npos);
  EXPECT_EQ(encoded->json.substr(encoded->run_id_member.begin, encoded->run_id_member.size()),
            R"(,"run_id":"quote\"back\\slash\ncontrol\u001f")");
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
