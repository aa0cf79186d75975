#include "chip8_bundle/trace/native_event.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace chip8::bundle {
namespace {

std::string payload_json(const NativeEvent& event) {
  auto bytes = lumivar::canonical_json_bytes(event.payload);
  EXPECT_TRUE(bytes.has_value());
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

TEST(NativeEvent, PayloadsNameTheMachineEventsFieldsInKeyOrder) {
  ObservedStep step;
  step.writes.push_back(MemoryWrite{.address = 0x300, .before = {1, 2}, .after = {3, 4}});
  struct Case {
    MachineEvent event;
    std::string kind;
    std::string payload;
  };
  const Case cases[] = {
      {MachineEvent::simple(MachineEvent::Kind::ClearScreen), "clear_screen", "{}"},
      {MachineEvent::jump(0x200, 0x2FE), "jump", R"({"from":512,"to":766})"},
      {MachineEvent::return_to(0x204), "return", R"({"to":516})"},
      {MachineEvent::draw(70, 3, 5, true), "draw", R"({"collision":true,"n":5,"x":70,"y":3})"},
      {MachineEvent::timer_set(9, 1), "timer_set", R"({"timer":"sound","value":9})"},
      {MachineEvent::timer_set(9, 0), "timer_set", R"({"timer":"delay","value":9})"},
      {MachineEvent::memory_write(0x300, 2), "memory_write", R"({"addr":768,"after":[3,4],"before":[1,2],"len":2})"},
      {MachineEvent::memory_write(0x400, 1), "memory_write", R"({"addr":1024,"len":1})"},
      {MachineEvent::simple(MachineEvent::Kind::ScrollLeft), "scroll_left", R"({"pixels":4})"},
      {MachineEvent::scroll_down(7), "scroll_down", R"({"rows":7})"},
      {MachineEvent::key_wait_resolved(12), "key_wait_resolved", R"({"key":12})"},
      {MachineEvent::invalid_opcode(0x206, 0xFFFF), "invalid_opcode", R"({"opcode":65535,"pc":518})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const NativeEvent native = native_event(step, c.event);
    EXPECT_EQ(native.schema, (lumivar::SchemaRef{"chip8.event", {1, 0, 0}}));
    EXPECT_EQ(native.kind, c.kind);
    EXPECT_EQ(payload_json(native), c.payload);
  }
}

}  // namespace
}  // namespace chip8::bundle
