#include "chip8_bundle/normalizer/native_adapter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "lumivar_core/event/normalized_event_json.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace chip8::bundle {
namespace {

using lumivar::JsonValue;
using lumivar::NormalizedEvent;
using lumivar::Result;

NativeRecord sample_record() {
  return NativeRecord{
      .machine_id = "chip8",
      .machine_version = "chip8-family-semantics.v1",
      .run_id = "run-1",
      .step = 7,
      .cycle_or_tick = 12,
      .frame = 3,
      .pc = lumivar::SpaceAddress{"program", 0x204},
      .instruction = lumivar::EncodedValue{"chip8.instruction.word16", {0x12, 0x34}, "JP 0x234"},
  };
}

JsonValue parse(const std::string& text) {
  Result<JsonValue> parsed = lumivar::parse_json(text);
  if (!parsed) ADD_FAILURE() << "bad test payload " << text << ": " << parsed.error().message;
  return parsed.value_or(JsonValue());
}

NativeEvent native(std::string kind, const std::string& payload) {
  return NativeEvent{lumivar::SchemaRef{"chip8.event", {1, 0, 0}}, std::move(kind), parse(payload)};
}

// The extension's text for a payload: the payload as a structured value, in
// its tagged JSON form ({"Map":{"to":{"Unsigned":518}}}).
std::string tagged(const std::string& payload) {
  auto structured = lumivar::structured_value_from_json(parse(payload));
  if (!structured) return "conversion failed: " + structured.error().message;
  auto bytes = lumivar::canonical_json_bytes(lumivar::to_json(*structured));
  return bytes ? std::string(bytes->begin(), bytes->end()) : "encoding failed";
}

std::string encoded(const NormalizedEvent& event) {
  Result<lumivar::CanonicalEventJson> json = lumivar::encode_normalized_event(event);
  if (!json) return "encoding failed: " + json.error().message;
  return json->json;
}

// ---------------------------------------------------------------------------
// Validation

struct RejectCase {
  std::string kind;
  std::string payload;  // JSON text
  std::string message;
  std::string machine_id = "chip8";
  std::string machine_version = "chip8-family-semantics.v1";
  lumivar::SchemaRef schema = {"chip8.event", {1, 0, 0}};
};

TEST(NativeAdapter, RejectsWithTheFirstFailingCheck) {
  const std::vector<RejectCase> cases = {
      // Machine, version and schema come before the kind and the payload, in this order.
      {.kind = "teleport", .payload = "5",
       .message = R"(CHIP-8 adapter cannot normalize foreign architecture MachineId("chip9"))",
       .machine_id = "chip9", .machine_version = "v0", .schema = {"x", {9, 9, 9}}},
      {.kind = "jump", .payload = R"({"from":1,"to":2})",
       .message = R"(CHIP-8 adapter cannot normalize foreign architecture MachineId("a\"b\\"))",
       .machine_id = "a\"b\\"},
      {.kind = "jump", .payload = R"({"from":1,"to":2})",
       .message = R"(CHIP-8 adapter cannot normalize foreign architecture MachineId(""))", .machine_id = ""},
      {.kind = "teleport", .payload = "5",
       .message = R"(CHIP-8 adapter cannot normalize machine version VersionStamp("chip8-family-semantics.v2"))",
       .machine_version = "chip8-family-semantics.v2", .schema = {"x", {9, 9, 9}}},
      {.kind = "teleport", .payload = "5",
       .message = "unsupported CHIP-8 native event schema chip8.events version 1.0.0",
       .schema = {"chip8.events", {1, 0, 0}}},
      {.kind = "jump", .payload = R"({"from":1,"to":2})",
       .message = "unsupported CHIP-8 native event schema chip8.event version 1.0.1",
       .schema = {"chip8.event", {1, 0, 1}}},
      // Kind.
      {"teleport", "{}", R"(unsupported CHIP-8 native event kind "teleport")"},
      {"Jump", R"({"from":1,"to":2})", R"(unsupported CHIP-8 native event kind "Jump")"},
      {"", "{}", R"(unsupported CHIP-8 native event kind "")"},
      // Member-less kinds.
      {"clear_screen", "[]", "CHIP-8 clear_screen event payload must be an object"},
      {"stack_pop", "null", "CHIP-8 stack_pop event payload must be an object"},
      {"key_wait_entered", R"({"key":1})", "CHIP-8 key_wait_entered event payload must contain exactly []"},
      // Exact member names, listed in the kind's member order; a non-object lists them too.
      {"jump", "5", R"(CHIP-8 jump event payload must contain exactly ["from", "to"])"},
      {"call", R"({"from":1})", R"(CHIP-8 call event payload must contain exactly ["from", "to"])"},
      {"return", R"({"to":1,"from":2})", R"(CHIP-8 return event payload must contain exactly ["to"])"},
      {"draw", R"({"n":1,"x":2,"y":3})",
       R"(CHIP-8 draw event payload must contain exactly ["x", "y", "n", "collision"])"},
      {"timer_set", R"({"value":1})", R"(CHIP-8 timer_set event payload must contain exactly ["timer", "value"])"},
      {"scroll_left", R"({"rows":4})", R"(CHIP-8 scroll_left event payload must contain exactly ["pixels"])"},
      {"scroll_up", R"({"pixels":4})", R"(CHIP-8 scroll_up event payload must contain exactly ["rows"])"},
      {"invalid_opcode", R"({"opcode":1})",
       R"(CHIP-8 invalid_opcode event payload must contain exactly ["pc", "opcode"])"},
      {"key_wait_resolved", "{}", R"(CHIP-8 key_wait_resolved event payload must contain exactly ["key"])"},
      // Unsigned members: negative, fractional, whole floats, strings, booleans; members checked in listed order.
      {"draw", R"({"collision":1,"n":-1,"x":1,"y":2})", R"(CHIP-8 draw event requires unsigned "n")"},
      {"draw", R"({"collision":1,"n":1,"x":"1","y":2})", R"(CHIP-8 draw event requires unsigned "x")"},
      {"draw", R"({"collision":true,"n":1,"x":1,"y":1.5})", R"(CHIP-8 draw event requires unsigned "y")"},
      {"scroll_right", R"({"pixels":4.0})", R"(CHIP-8 scroll_right event requires unsigned "pixels")"},
      {"jump", R"({"from":true,"to":2})", R"(CHIP-8 jump event requires unsigned "from")"},
      {"return", R"({"to":-1})", R"(CHIP-8 return event requires unsigned "to")"},
      {"scroll_down", R"({"rows":null})", R"(CHIP-8 scroll_down event requires unsigned "rows")"},
      // Bytes and words.
      {"draw", R"({"collision":true,"n":1,"x":256,"y":2})", R"(CHIP-8 draw "x" exceeds 8 bits)"},
      {"scroll_up", R"({"rows":18446744073709551615})", R"(CHIP-8 scroll_up "rows" exceeds 8 bits)"},
      {"jump", R"({"from":65535,"to":65536})", R"(CHIP-8 jump "to" exceeds 16 bits)"},
      {"invalid_opcode", R"({"opcode":65536,"pc":65536})", R"(CHIP-8 invalid_opcode "pc" exceeds 16 bits)"},
      {"timer_set", R"({"timer":"delay","value":256})", R"(CHIP-8 timer_set "value" exceeds 8 bits)"},
      // Booleans, timers, pixels, keys.
      {"draw", R"({"collision":1,"n":1,"x":1,"y":2})", R"(CHIP-8 draw event requires boolean "collision")"},
      {"timer_set", R"({"timer":0,"value":-1})", R"(CHIP-8 timer_set event requires string "timer")"},
      {"timer_set", R"({"timer":"Delay","value":-1})", R"(unsupported CHIP-8 timer "Delay")"},
      {"timer_set", R"({"timer":"bu\"zz","value":1})", R"(unsupported CHIP-8 timer "bu\"zz")"},
      {"scroll_left", R"({"pixels":8})", "CHIP-8 scroll_left event must move exactly 4 pixels"},
      {"scroll_right", R"({"pixels":0})", "CHIP-8 scroll_right event must move exactly 4 pixels"},
      {"scroll_right", R"({"pixels":260})", R"(CHIP-8 scroll_right "pixels" exceeds 8 bits)"},
      {"key_wait_resolved", R"({"key":16})", "CHIP-8 key 16 is outside 0..=15"},
      {"key_wait_resolved", R"({"key":256})", R"(CHIP-8 key_wait_resolved "key" exceeds 8 bits)"},
      // memory_write has its own shapes and messages.
      {"memory_write", "[1]", "CHIP-8 memory_write payload must be an object"},
      {"memory_write", R"({"addr":1,"before":[0],"len":1})",
       "CHIP-8 memory_write payload must contain exactly addr/len or addr/len/before/after"},
      {"memory_write", R"({"addr":1})",
       "CHIP-8 memory_write payload must contain exactly addr/len or addr/len/before/after"},
      {"memory_write", R"({"addr":1,"after":[0],"before":[0],"len":1,"x":0})",
       "CHIP-8 memory_write payload must contain exactly addr/len or addr/len/before/after"},
      {"memory_write", R"({"addr":-1,"len":65536})", R"(CHIP-8 memory_write event requires unsigned "addr")"},
      {"memory_write", R"({"addr":1,"len":65536})", R"(CHIP-8 memory_write "len" exceeds 16 bits)"},
      {"memory_write", R"({"addr":1,"after":5,"before":{},"len":1})",
       R"(CHIP-8 memory_write "before" must be a byte array)"},
      {"memory_write", R"({"addr":1,"after":"ab","before":[0],"len":1})",
       R"(CHIP-8 memory_write "after" must be a byte array)"},
      {"memory_write", R"({"addr":1,"after":[1,2],"before":[0],"len":1})",
       R"(CHIP-8 memory_write "after" must contain exactly 1 bytes)"},
      {"memory_write", R"({"addr":1,"after":[0],"before":[0],"len":2})",
       R"(CHIP-8 memory_write "before" must contain exactly 2 bytes)"},
      {"memory_write", R"({"addr":1,"after":[0,-1],"before":[0,256],"len":2})",
       R"(CHIP-8 memory_write "before" must contain exactly 2 bytes)"},
      {"memory_write", R"({"addr":1,"after":[0,1.0],"before":[0,255],"len":2})",
       R"(CHIP-8 memory_write "after" must contain exactly 2 bytes)"},
      {"memory_write", R"({"addr":1,"after":["1"],"before":[1],"len":1})",
       R"(CHIP-8 memory_write "after" must contain exactly 1 bytes)"},
  };
  for (const RejectCase& c : cases) {
    NativeRecord record = sample_record();
    record.machine_id = c.machine_id;
    record.machine_version = c.machine_version;
    NativeEvent event = native(c.kind, c.payload);
    event.schema = c.schema;
    Result<NormalizedEvent> result = normalize_native_event(record, event);
    ASSERT_FALSE(result.has_value()) << c.kind << " " << c.payload;
    EXPECT_EQ(result.error().message, c.message) << c.kind << " " << c.payload;
  }
}

// ---------------------------------------------------------------------------
// Mapping

// The members that differ between kinds, as canonical JSON text. Every event
// of sample_record() shares the rest.
struct Members {
  std::string control_flow = "null";
  std::string io = "[]";
  std::string kind;
  std::string trap = "null";
  std::string writes = "[]";
};

std::string expected_json(const Members& m, const std::string& payload) {
  return R"({"arch":"chip8","causes":[],"control_flow":)" + m.control_flow +
         R"(,"cycle_or_tick":12,"extensions":{"chip8.native":)" + tagged(payload) +
         R"(},"frame":3,"instruction":{"bytes":[18,52],"decoded":"JP 0x234","encoding":"chip8.instruction.word16"},)"
         R"("io":)" + m.io + R"(,"kind":)" + m.kind +
         R"(,"machine_version":"chip8-family-semantics.v1","pc":{"space":"program","value":516},"reads":[],)"
         R"("run_id":"run-1","schema_version":{"major":1,"minor":0,"patch":0},"sequence":0,"step":7,"trap":)" +
         m.trap + R"(,"writes":)" + m.writes + "}";
}

std::string display_out(const std::string& value) {
  return R"({"channel":"display","direction":"output","port":"display_out","value":)" + value + "}";
}

struct MapCase {
  std::string kind;
  std::string payload;  // canonical JSON text
  Members members;
};

TEST(NativeAdapter, MapsEachKindToOneNormalizedEvent) {
  const std::vector<MapCase> cases = {
      {"jump", R"({"from":512,"to":1024})",
       {.control_flow = R"({"from":{"space":"program","value":512},"kind":"branch","taken":true,)"
                        R"("to":{"space":"program","value":1024}})",
        .kind = R"("branch_taken")"}},
      {"call", R"({"from":65535,"to":0})",
       {.control_flow = R"({"from":{"space":"program","value":65535},"kind":"call","taken":true,)"
                        R"("to":{"space":"program","value":0}})",
        .kind = R"("call")"}},
      // A return comes from the step's own program counter.
      {"return", R"({"to":518})",
       {.control_flow = R"({"from":{"space":"program","value":516},"kind":"return","taken":true,)"
                        R"("to":{"space":"program","value":518}})",
        .kind = R"("return")"}},
      {"stack_push", "{}", {.kind = R"("stack_changed")"}},
      {"stack_pop", "{}", {.kind = R"("stack_changed")"}},
      {"draw", R"({"collision":true,"n":5,"x":10,"y":255})",
       {.io = "[" + display_out(R"({"collision":true,"n":5,"x":10,"y":255})") +
              R"(,{"channel":"collision","direction":"output","port":"collision_out","value":true}])",
        .kind = R"("display_write")"}},
      {"draw", R"({"collision":false,"n":0,"x":0,"y":0})",
       {.io = "[" + display_out(R"({"collision":false,"n":0,"x":0,"y":0})") +
              R"(,{"channel":"collision","direction":"output","port":"collision_out","value":false}])",
        .kind = R"("display_write")"}},
      {"clear_screen", "{}", {.io = "[" + display_out("{}") + "]", .kind = R"("display_write")"}},
      {"scroll_down", R"({"rows":3})", {.io = "[" + display_out(R"({"rows":3})") + "]", .kind = R"("display_write")"}},
      {"scroll_left", R"({"pixels":4})", {.io = "[" + display_out(R"({"pixels":4})") + "]",
       .kind = R"("display_write")"}},
      {"hires_enabled", "{}", {.io = "[" + display_out("{}") + "]", .kind = R"("display_write")"}},
      {"timer_set", R"({"timer":"delay","value":60})",
       {.io = R"([{"channel":"timer","direction":"output","port":"timer_out","value":60}])",
        .kind = R"("timer_changed")",
        .writes = R"([{"after":60,"before":null,)"
                  R"("location":{"address":null,"name":"delay","space":"timer","width_bits":null}}])"}},
      {"timer_set", R"({"timer":"sound","value":0})",
       {.io = R"([{"channel":"sound","direction":"output","port":"sound_out","value":0}])",
        .kind = R"("timer_changed")",
        .writes = R"([{"after":0,"before":null,)"
                  R"("location":{"address":null,"name":"sound","space":"timer","width_bits":null}}])"}},
      {"memory_write", R"({"addr":768,"len":3})",
       {.kind = R"("memory_write")",
        .writes = R"([{"after":null,"before":null,"location":{"address":{"space":"memory","value":768},)"
                  R"("name":null,"space":"memory","width_bits":24}}])"}},
      {"memory_write", R"({"addr":65535,"after":[1,255],"before":[0,0],"len":2})",
       {.kind = R"("memory_write")",
        .writes = R"([{"after":[1,255],"before":null,"location":{"address":{"space":"memory","value":65535},)"
                  R"("name":null,"space":"memory","width_bits":16}}])"}},
      // The width is given only while len * 8 stays below 65536.
      {"memory_write", R"({"addr":0,"len":8191})",
       {.kind = R"("memory_write")",
        .writes = R"([{"after":null,"before":null,"location":{"address":{"space":"memory","value":0},)"
                  R"("name":null,"space":"memory","width_bits":65528}}])"}},
      {"memory_write", R"({"addr":0,"len":8192})",
       {.kind = R"("memory_write")",
        .writes = R"([{"after":null,"before":null,"location":{"address":{"space":"memory","value":0},)"
                  R"("name":null,"space":"memory","width_bits":null}}])"}},
      {"memory_write", R"({"addr":0,"after":[],"before":[],"len":0})",
       {.kind = R"("memory_write")",
        .writes = R"([{"after":[],"before":null,"location":{"address":{"space":"memory","value":0},)"
                  R"("name":null,"space":"memory","width_bits":0}}])"}},
      {"invalid_opcode", R"({"opcode":255,"pc":512})",
       {.kind = R"("trap")",
        .trap = R"({"code":"chip8.invalid_opcode.00ff","fatal":true,"message":"invalid CHIP-8 opcode 0x00ff"})"}},
      {"invalid_opcode", R"({"opcode":64206,"pc":512})",
       {.kind = R"("trap")",
        .trap = R"({"code":"chip8.invalid_opcode.face","fatal":true,"message":"invalid CHIP-8 opcode 0xface"})"}},
      {"key_wait_entered", "{}", {.kind = R"({"extension":"chip8.key_wait_entered"})"}},
      {"key_wait_resolved", R"({"key":15})",
       {.io = R"([{"channel":"keypad","direction":"input","port":"keypad_in","value":{"key":15}}])",
        .kind = R"("input_sampled")"}},
  };
  const NativeRecord record = sample_record();
  for (const MapCase& c : cases) {
    NativeEvent event = native(c.kind, c.payload);
    Result<NormalizedEvent> result = normalize_native_event(record, event);
    ASSERT_TRUE(result.has_value()) << c.kind << " " << c.payload << ": " << result.error().message;
    EXPECT_EQ(encoded(*result), expected_json(c.members, c.payload)) << c.kind << " " << c.payload;
  }
}

TEST(NativeAdapter, CarriesAbsentCommonFieldsAsAbsent) {
  // A record without cycle, frame, pc or instruction: a return then has no origin.
  NativeRecord record = sample_record();
  record.cycle_or_tick.reset();
  record.frame.reset();
  record.pc.reset();
  record.instruction.reset();
  Result<NormalizedEvent> result = normalize_native_event(record, native("return", R"({"to":518})"));
  ASSERT_TRUE(result.has_value()) << result.error().message;
  EXPECT_EQ(encoded(*result),
            R"({"arch":"chip8","causes":[],"control_flow":{"from":null,"kind":"return","taken":true,)"
            R"("to":{"space":"program","value":518}},"cycle_or_tick":null,"extensions":{"chip8.native":{"Map":{"to":{"Unsigned":518}}}},)"
            R"("frame":null,"instruction":null,"io":[],"kind":"return",)"
            R"("machine_version":"chip8-family-semantics.v1","pc":null,"reads":[],"run_id":"run-1",)"
            R"("schema_version":{"major":1,"minor":0,"patch":0},"sequence":0,"step":7,"trap":null,"writes":[]})");
}

}  // namespace
}  // namespace chip8::bundle
