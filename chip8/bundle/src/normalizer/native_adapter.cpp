#include "chip8_bundle/normalizer/native_adapter.hpp"

#include "lumivar_core/value/structured_value.hpp"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "lumivar_core/error/message.hpp"

namespace chip8::bundle {

namespace {

using lumivar::EventKind;
using lumivar::EventKindTag;
using lumivar::JsonArray;
using lumivar::JsonObject;
using lumivar::JsonValue;
using lumivar::NormalizedEvent;
using lumivar::Result;

inline constexpr lumivar::SchemaVersion kNormalizedSchemaVersion{1, 0, 0};
inline constexpr std::string_view kKeyWaitEnteredKind = "chip8.key_wait_entered";

enum class NativeKind : std::uint8_t {
  Jump,
  Call,
  Return,
  Draw,
  TimerSet,
  ScrollUp,
  ScrollDown,
  ScrollLeft,
  ScrollRight,
  MemoryWrite,
  InvalidOpcode,
  KeyWaitResolved,
  ClearScreen,
  StackPush,
  StackPop,
  HiresEnabled,
  LoresEnabled,
  KeyWaitEntered,
};

// Payload member names in the order messages list them.
constexpr std::array<std::string_view, 2> kFromTo = {"from", "to"};
constexpr std::array<std::string_view, 1> kTo = {"to"};
constexpr std::array<std::string_view, 4> kDraw = {"x", "y", "n", "collision"};
constexpr std::array<std::string_view, 2> kTimerSet = {"timer", "value"};
constexpr std::array<std::string_view, 1> kRows = {"rows"};
constexpr std::array<std::string_view, 1> kPixels = {"pixels"};
constexpr std::array<std::string_view, 2> kInvalidOpcode = {"pc", "opcode"};
constexpr std::array<std::string_view, 1> kKey = {"key"};

struct KindRule {
  std::string_view name;
  NativeKind kind;
  // The exact member names; empty for the member-less kinds. memory_write has
  // two allowed shapes and is checked on its own.
  std::span<const std::string_view> members;
};

constexpr std::array<KindRule, 18> kKinds = {{
    {"draw", NativeKind::Draw, kDraw},
    {"jump", NativeKind::Jump, kFromTo},
    {"call", NativeKind::Call, kFromTo},
    {"return", NativeKind::Return, kTo},
    {"memory_write", NativeKind::MemoryWrite, {}},
    {"timer_set", NativeKind::TimerSet, kTimerSet},
    {"clear_screen", NativeKind::ClearScreen, {}},
    {"stack_push", NativeKind::StackPush, {}},
    {"stack_pop", NativeKind::StackPop, {}},
    {"key_wait_entered", NativeKind::KeyWaitEntered, {}},
    {"key_wait_resolved", NativeKind::KeyWaitResolved, kKey},
    {"scroll_up", NativeKind::ScrollUp, kRows},
    {"scroll_down", NativeKind::ScrollDown, kRows},
    {"scroll_left", NativeKind::ScrollLeft, kPixels},
    {"scroll_right", NativeKind::ScrollRight, kPixels},
    {"hires_enabled", NativeKind::HiresEnabled, {}},
    {"lores_enabled", NativeKind::LoresEnabled, {}},
    {"invalid_opcode", NativeKind::InvalidOpcode, kInvalidOpcode},
}};

const KindRule* find_kind(std::string_view name) {
  for (const KindRule& rule : kKinds) {
    if (rule.name == name) return &rule;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Messages, built only on failure.

std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string out;
  out.reserve(size);
  for (std::string_view part : parts) out.append(part);
  return out;
}

// ["x", "y"], or [] for no names.
std::string member_list(std::span<const std::string_view> names) {
  std::string out = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out.append(", ");
    out.append(lumivar::quoted(names[i]));
  }
  out.push_back(']');
  return out;
}

std::unexpected<lumivar::Error> exact_members_error(std::string_view kind, std::span<const std::string_view> names) {
  return lumivar::fail(concat({"CHIP-8 ", kind, " event payload must contain exactly ", member_list(names)}));
}

std::unexpected<lumivar::Error> byte_array_error(std::string_view member, std::uint64_t len) {
  const std::string count = std::to_string(len);
  return lumivar::fail(concat({"CHIP-8 memory_write ", lumivar::quoted(member), " must contain exactly ", count,
                               " bytes"}));
}

// ---------------------------------------------------------------------------
// Payload checks.

// The checked members the mapping needs.
struct CheckedPayload {
  std::uint64_t first = 0;   // from, to (return), value (timer_set), addr, pc
  std::uint64_t second = 0;  // to, len, opcode
  bool collision = false;
  bool sound_timer = false;          // timer_set names the sound timer
  const JsonArray* after = nullptr;  // memory_write's `after` bytes, when present
};

// The values of a payload's members by their position in the kind's member
// list; no payload has more than four.
using MemberValues = std::array<const JsonValue*, 4>;

// Whether `object` has exactly the member names `names`; if so, values[i] is
// the value of names[i]. One pass over the object comparing against the few
// names: cheaper than a tree lookup per name, and this runs for every event.
bool match_members(const JsonObject& object, std::span<const std::string_view> names, MemberValues& values) {
  if (object.size() != names.size()) return false;
  for (const auto& [key, value] : object) {
    std::size_t i = 0;
    while (i < names.size() && names[i] != key) ++i;
    if (i == names.size()) return false;
    values[i] = &value;
  }
  return true;
}

// An unsigned member of at most `bits` bits. JSON floats are refused even when
// whole: the trace writes its numbers as integers, and a float would enter the
// normalized event as a float.
Result<std::uint64_t> unsigned_value(std::string_view kind, std::string_view member, const JsonValue& value,
                                     unsigned bits) {
  const std::uint64_t* number = value.get_if<std::uint64_t>();
  if (number == nullptr) {
    return lumivar::fail(concat({"CHIP-8 ", kind, " event requires unsigned ", lumivar::quoted(member)}));
  }
  if (*number >> bits != 0) {
    const std::string_view limit = bits == 8 ? " exceeds 8 bits" : " exceeds 16 bits";
    return lumivar::fail(concat({"CHIP-8 ", kind, " ", lumivar::quoted(member), limit}));
  }
  return *number;
}

Result<std::uint64_t> byte_value(std::string_view kind, std::string_view member, const JsonValue& value) {
  return unsigned_value(kind, member, value, 8);
}

Result<std::uint64_t> word_value(std::string_view kind, std::string_view member, const JsonValue& value) {
  return unsigned_value(kind, member, value, 16);
}

// `before` or `after`: an array of exactly `len` integers 0 to 255.
Result<const JsonArray*> byte_array_value(std::string_view member, const JsonValue& value, std::uint64_t len) {
  const JsonArray* array = value.get_if<JsonArray>();
  if (array == nullptr) {
    return lumivar::fail(concat({"CHIP-8 memory_write ", lumivar::quoted(member), " must be a byte array"}));
  }
  if (array->size() != len) return byte_array_error(member, len);
  for (const JsonValue& element : *array) {
    const std::uint64_t* byte = element.get_if<std::uint64_t>();
    if (byte == nullptr || *byte > 0xFF) return byte_array_error(member, len);
  }
  return array;
}

Result<CheckedPayload> check_memory_write(const JsonValue& payload) {
  const JsonObject* object = payload.get_if<JsonObject>();
  if (object == nullptr) return lumivar::fail("CHIP-8 memory_write payload must be an object");
  // Either the first two names alone or all four.
  constexpr std::array<std::string_view, 4> kMembers = {"addr", "len", "before", "after"};
  const bool with_bytes = object->size() == kMembers.size();
  MemberValues values{};
  if (!match_members(*object, std::span(kMembers).first(with_bytes ? 4 : 2), values)) {
    return lumivar::fail("CHIP-8 memory_write payload must contain exactly addr/len or addr/len/before/after");
  }
  CheckedPayload checked;
  Result<std::uint64_t> addr = word_value("memory_write", "addr", *values[0]);
  if (!addr) return std::unexpected(std::move(addr.error()));
  Result<std::uint64_t> len = word_value("memory_write", "len", *values[1]);
  if (!len) return std::unexpected(std::move(len.error()));
  checked.first = *addr;
  checked.second = *len;
  if (with_bytes) {
    Result<const JsonArray*> before = byte_array_value("before", *values[2], *len);
    if (!before) return std::unexpected(std::move(before.error()));
    Result<const JsonArray*> after = byte_array_value("after", *values[3], *len);
    if (!after) return std::unexpected(std::move(after.error()));
    checked.after = *after;
  }
  return checked;
}

Result<CheckedPayload> check_payload(const KindRule& rule, const JsonValue& payload) {
  if (rule.kind == NativeKind::MemoryWrite) return check_memory_write(payload);
  const JsonObject* object = payload.get_if<JsonObject>();
  if (rule.members.empty()) {
    if (object == nullptr) return lumivar::fail(concat({"CHIP-8 ", rule.name, " event payload must be an object"}));
    if (!object->empty()) return exact_members_error(rule.name, rule.members);
    return CheckedPayload{};
  }
  MemberValues values{};
  if (object == nullptr || !match_members(*object, rule.members, values)) {
    return exact_members_error(rule.name, rule.members);
  }

  // Members are checked in the order the kind lists them.
  const std::string_view kind = rule.name;
  CheckedPayload checked;
  switch (rule.kind) {
    case NativeKind::Jump:
    case NativeKind::Call:
    case NativeKind::InvalidOpcode: {
      Result<std::uint64_t> first = word_value(kind, rule.members[0], *values[0]);
      if (!first) return std::unexpected(std::move(first.error()));
      Result<std::uint64_t> second = word_value(kind, rule.members[1], *values[1]);
      if (!second) return std::unexpected(std::move(second.error()));
      checked.first = *first;
      checked.second = *second;
      return checked;
    }
    case NativeKind::Return: {
      Result<std::uint64_t> to = word_value(kind, "to", *values[0]);
      if (!to) return std::unexpected(std::move(to.error()));
      checked.first = *to;
      return checked;
    }
    case NativeKind::Draw: {
      for (std::size_t i = 0; i < 3; ++i) {  // x, y, n
        Result<std::uint64_t> value = byte_value(kind, rule.members[i], *values[i]);
        if (!value) return std::unexpected(std::move(value.error()));
      }
      const bool* collision = values[3]->get_if<bool>();
      if (collision == nullptr) return lumivar::fail("CHIP-8 draw event requires boolean \"collision\"");
      checked.collision = *collision;
      return checked;
    }
    case NativeKind::TimerSet: {
      const std::string* timer = values[0]->get_if<std::string>();
      if (timer == nullptr) return lumivar::fail("CHIP-8 timer_set event requires string \"timer\"");
      if (*timer != "delay" && *timer != "sound") {
        return lumivar::fail(concat({"unsupported CHIP-8 timer ", lumivar::quoted(*timer)}));
      }
      Result<std::uint64_t> value = byte_value(kind, "value", *values[1]);
      if (!value) return std::unexpected(std::move(value.error()));
      checked.first = *value;
      checked.sound_timer = *timer == "sound";
      return checked;
    }
    case NativeKind::ScrollUp:
    case NativeKind::ScrollDown: {
      Result<std::uint64_t> rows = byte_value(kind, "rows", *values[0]);
      if (!rows) return std::unexpected(std::move(rows.error()));
      return checked;
    }
    case NativeKind::ScrollLeft:
    case NativeKind::ScrollRight: {
      Result<std::uint64_t> pixels = byte_value(kind, "pixels", *values[0]);
      if (!pixels) return std::unexpected(std::move(pixels.error()));
      if (*pixels != 4) return lumivar::fail(concat({"CHIP-8 ", kind, " event must move exactly 4 pixels"}));
      return checked;
    }
    case NativeKind::KeyWaitResolved: {
      Result<std::uint64_t> key = byte_value(kind, "key", *values[0]);
      if (!key) return std::unexpected(std::move(key.error()));
      if (*key > 15) return lumivar::fail(concat({"CHIP-8 key ", std::to_string(*key), " is outside 0..=15"}));
      return checked;
    }
    case NativeKind::MemoryWrite:
    case NativeKind::ClearScreen:
    case NativeKind::StackPush:
    case NativeKind::StackPop:
    case NativeKind::HiresEnabled:
    case NativeKind::LoresEnabled:
    case NativeKind::KeyWaitEntered:
      break;
  }
  lumivar::fatal("native event kind with members has no payload check");
}

Result<void> check_origin(const NativeRecord& record, const NativeEvent& event) {
  if (record.machine_id != kMachineId) {
    return lumivar::fail(concat({"CHIP-8 adapter cannot normalize foreign architecture MachineId(",
                                 lumivar::quoted(record.machine_id), ")"}));
  }
  if (record.machine_version != kMachineVersion) {
    return lumivar::fail(concat({"CHIP-8 adapter cannot normalize machine version VersionStamp(",
                                 lumivar::quoted(record.machine_version), ")"}));
  }
  if (event.schema.id != kNativeEventSchemaId || event.schema.version != kNativeEventSchemaVersion) {
    return lumivar::fail(concat({"unsupported CHIP-8 native event schema ", event.schema.id, " version ",
                                 lumivar::to_string(event.schema.version)}));
  }
  return {};
}

// ---------------------------------------------------------------------------
// Mapping.

lumivar::SpaceAddress program_location(std::uint64_t address) { return lumivar::SpaceAddress{"program", address}; }

lumivar::ControlFlow control_flow(lumivar::ControlFlowKind kind, std::optional<lumivar::SpaceAddress> from,
                                  std::uint64_t to) {
  return lumivar::ControlFlow{.kind = kind, .from = std::move(from), .to = program_location(to), .taken = true};
}

lumivar::IoEvent output(std::string port, lumivar::IoChannelTag channel, JsonValue value) {
  return lumivar::IoEvent{.port = std::move(port),
                          .direction = lumivar::IoDirection::Output,
                          .channel = channel,
                          .value = std::move(value)};
}

// Four lower-case hexadecimal digits of an opcode word.
std::array<char, 4> opcode_digits(std::uint64_t opcode) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::array<char, 4> out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = kDigits[(opcode >> (12 - 4 * i)) & 0xF];
  return out;
}

EventKind normalized_kind(NativeKind kind) {
  switch (kind) {
    case NativeKind::Jump: return EventKindTag::BranchTaken;
    case NativeKind::Call: return EventKindTag::Call;
    case NativeKind::Return: return EventKindTag::Return;
    case NativeKind::StackPush:
    case NativeKind::StackPop: return EventKindTag::StackChanged;
    case NativeKind::ClearScreen:
    case NativeKind::Draw:
    case NativeKind::ScrollUp:
    case NativeKind::ScrollDown:
    case NativeKind::ScrollLeft:
    case NativeKind::ScrollRight:
    case NativeKind::HiresEnabled:
    case NativeKind::LoresEnabled: return EventKindTag::DisplayWrite;
    case NativeKind::TimerSet: return EventKindTag::TimerChanged;
    case NativeKind::MemoryWrite: return EventKindTag::MemoryWrite;
    case NativeKind::InvalidOpcode: return EventKindTag::Trap;
    case NativeKind::KeyWaitEntered: return EventKind::extension_kind(std::string(kKeyWaitEnteredKind));
    case NativeKind::KeyWaitResolved: return EventKindTag::InputSampled;
  }
  lumivar::fatal("native event kind out of range");
}

// Adds the content the kind maps to. `payload` is the checked native payload;
// `checked.after` points into it.
void add_content(NormalizedEvent& out, NativeKind kind, const CheckedPayload& checked, const JsonValue& payload,
                 const NativeRecord& record) {
  switch (kind) {
    case NativeKind::Jump:
      out.control_flow =
          control_flow(lumivar::ControlFlowKind::Branch, program_location(checked.first), checked.second);
      return;
    case NativeKind::Call:
      out.control_flow = control_flow(lumivar::ControlFlowKind::Call, program_location(checked.first), checked.second);
      return;
    case NativeKind::Return:
      out.control_flow = control_flow(lumivar::ControlFlowKind::Return, record.pc, checked.first);
      return;
    case NativeKind::Draw:
      out.io.reserve(2);
      out.io.push_back(output("display_out", lumivar::IoChannelTag::Display, payload));
      out.io.push_back(output("collision_out", lumivar::IoChannelTag::Collision, JsonValue(checked.collision)));
      return;
    case NativeKind::ClearScreen:
    case NativeKind::ScrollUp:
    case NativeKind::ScrollDown:
    case NativeKind::ScrollLeft:
    case NativeKind::ScrollRight:
    case NativeKind::HiresEnabled:
    case NativeKind::LoresEnabled:
      out.io.push_back(output("display_out", lumivar::IoChannelTag::Display, payload));
      return;
    case NativeKind::TimerSet: {
      lumivar::StateLocation location{lumivar::StateSpaceTag::Timer,
                                      std::string(checked.sound_timer ? "sound" : "delay"), std::nullopt,
                                      std::nullopt};
      out.writes.push_back(lumivar::StateWrite{std::move(location), std::nullopt, JsonValue(checked.first)});
      if (checked.sound_timer) {
        out.io.push_back(output("sound_out", lumivar::IoChannelTag::Sound, JsonValue(checked.first)));
      } else {
        out.io.push_back(output("timer_out", lumivar::IoChannelTag::Timer, JsonValue(checked.first)));
      }
      return;
    }
    case NativeKind::MemoryWrite: {
      // len is at most 65535, so the product cannot overflow; a width of
      // 65536 bits or more does not fit the location's 16-bit width.
      const std::uint64_t width = checked.second * 8;
      lumivar::StateLocation location{lumivar::StateSpaceTag::Memory, std::nullopt,
                                      lumivar::SpaceAddress{"memory", checked.first}, std::nullopt};
      if (width < 65536) location.width_bits = static_cast<std::uint16_t>(width);
      lumivar::StateWrite write{std::move(location), std::nullopt, std::nullopt};
      if (checked.after != nullptr) write.after = JsonValue(*checked.after);
      out.writes.push_back(std::move(write));
      return;
    }
    case NativeKind::InvalidOpcode: {
      const std::array<char, 4> digits = opcode_digits(checked.second);
      const std::string_view hex(digits.data(), digits.size());
      out.trap = lumivar::TrapInfo{.code = concat({"chip8.invalid_opcode.", hex}),
                                   .message = concat({"invalid CHIP-8 opcode 0x", hex}),
                                   .fatal = true};
      return;
    }
    case NativeKind::KeyWaitResolved:
      out.io.push_back(lumivar::IoEvent{.port = "keypad_in",
                                        .direction = lumivar::IoDirection::Input,
                                        .channel = lumivar::IoChannelTag::Keypad,
                                        .value = payload});
      return;
    case NativeKind::StackPush:
    case NativeKind::StackPop:
    case NativeKind::KeyWaitEntered:
      return;
  }
  lumivar::fatal("native event kind out of range");
}

// Checks and maps one event.
Result<NormalizedEvent> normalize(const NativeRecord& record, const NativeEvent& event, bool with_payload) {
  if (Result<void> origin = check_origin(record, event); !origin) return std::unexpected(std::move(origin.error()));
  const KindRule* rule = find_kind(event.kind);
  if (rule == nullptr) {
    return lumivar::fail(concat({"unsupported CHIP-8 native event kind ", lumivar::quoted(event.kind)}));
  }
  Result<CheckedPayload> checked = check_payload(*rule, event.payload);
  if (!checked) return std::unexpected(std::move(checked.error()));

  NormalizedEvent out{
      .schema_version = kNormalizedSchemaVersion,
      .arch = record.machine_id,
      .machine_version = record.machine_version,
      .run_id = record.run_id,
      .sequence = 0,
      .step = record.step,
      .cycle_or_tick = record.cycle_or_tick,
      .frame = record.frame,
      .pc = record.pc,
      .instruction = record.instruction,
      .kind = normalized_kind(rule->kind),
      .reads = {},
      .writes = {},
      .control_flow = std::nullopt,
      .io = {},
      .trap = std::nullopt,
      .causes = {},
      .extensions = {},
  };
  add_content(out, rule->kind, *checked, event.payload, record);
  // The extension carries the whole payload as a structured value, written in
  // its tagged JSON form like every other structured value the system reports.
  // A checked payload holds only unsigned integers, booleans, the timer name
  // and byte arrays, so the conversion cannot fail.
  if (!with_payload) return out;
  lumivar::Result<lumivar::StructuredValue> structured = lumivar::structured_value_from_json(event.payload);
  if (!structured) lumivar::fatal("checked CHIP-8 native payload converts to a structured value");
  out.extensions.emplace(std::string(kNativeExtensionKey), lumivar::to_json(*structured));
  return out;
}

}  // namespace

Result<NormalizedEvent> normalize_native_event(const NativeRecord& record, const NativeEvent& event) {
  return normalize(record, event, true);
}

Result<NormalizedEvent> normalize_native_event_without_payload(const NativeRecord& record, const NativeEvent& event) {
  return normalize(record, event, false);
}

}  // namespace chip8::bundle
