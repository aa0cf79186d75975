#include "chip8_bundle/trace/native_event.hpp"

#include <utility>

#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

namespace {

using lumivar::JsonArray;
using lumivar::JsonObject;
using lumivar::JsonValue;

JsonValue number(std::uint64_t value) { return JsonValue(value); }

JsonArray byte_array(const std::vector<std::uint8_t>& bytes) {
  JsonArray array;
  array.reserve(bytes.size());
  for (const std::uint8_t b : bytes) array.emplace_back(std::uint64_t{b});
  return array;
}

JsonObject payload_of(const ObservedStep& step, const MachineEvent& event) {
  using Kind = MachineEvent::Kind;
  switch (event.kind) {
    case Kind::ClearScreen:
    case Kind::KeyWaitEntered:
    case Kind::StackPush:
    case Kind::StackPop:
    case Kind::HiresEnabled:
    case Kind::LoresEnabled:
      return {};
    case Kind::Jump:
    case Kind::Call:
      return {{"from", number(event.from)}, {"to", number(event.to)}};
    case Kind::Return:
      return {{"to", number(event.to)}};
    case Kind::Draw:
      return {{"collision", JsonValue(event.collision)},
              {"n", number(event.n)},
              {"x", number(event.x)},
              {"y", number(event.y)}};
    case Kind::KeyWaitResolved:
      return {{"key", number(event.key)}};
    case Kind::TimerSet:
      return {{"timer", JsonValue(event.timer == 0 ? "delay" : "sound")}, {"value", number(event.value)}};
    case Kind::MemoryWrite: {
      JsonObject payload{{"addr", number(event.address)}, {"len", number(event.length)}};
      for (const MemoryWrite& write : step.writes) {
        if (write.address != event.address) continue;
        payload.emplace("after", byte_array(write.after));
        payload.emplace("before", byte_array(write.before));
        break;
      }
      return payload;
    }
    case Kind::ScrollDown:
    case Kind::ScrollUp:
      return {{"rows", number(event.rows)}};
    case Kind::ScrollRight:
    case Kind::ScrollLeft:
      return {{"pixels", number(4)}};
    case Kind::InvalidOpcode:
      return {{"opcode", number(event.opcode)}, {"pc", number(event.pc)}};
  }
  lumivar::fatal("machine event kind out of range");
}

}  // namespace

NativeEvent native_event(const ObservedStep& step, const MachineEvent& event) {
  return NativeEvent{
      .schema = lumivar::SchemaRef{std::string(kNativeEventSchemaId), kNativeEventSchemaVersion},
      .kind = std::string(machine_event_name(event.kind)),
      .payload = JsonValue(payload_of(step, event)),
  };
}

}  // namespace chip8::bundle
