#include "chip8_bundle/trace/step_trace.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <format>
#include <utility>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/trace/disassembly.hpp"
#include "chip8_bundle/trace/state_locations.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

namespace {

using lumivar::AccessDetail;
using lumivar::EventKind;
using lumivar::EventKindTag;
using lumivar::JsonArray;
using lumivar::JsonObject;
using lumivar::JsonValue;
using lumivar::NormalizedEvent;
using lumivar::StateLocation;
using lumivar::StateRead;
using lumivar::StateWrite;

constexpr lumivar::SchemaVersion kEventSchemaVersion{1, 0, 0};

JsonValue number(std::uint64_t value) { return JsonValue(value); }

JsonValue pattern_json(const std::array<std::uint8_t, 16>& pattern) {
  JsonArray array;
  array.reserve(pattern.size());
  for (const std::uint8_t b : pattern) array.emplace_back(std::uint64_t{b});
  return JsonValue(std::move(array));
}

bool has_event(const ObservedStep& step, MachineEvent::Kind kind) {
  return std::ranges::any_of(step.events, [kind](const MachineEvent& e) { return e.kind == kind; });
}

bool has_timer_set(const ObservedStep& step, std::uint8_t timer) {
  return std::ranges::any_of(
      step.events, [timer](const MachineEvent& e) { return e.kind == MachineEvent::Kind::TimerSet && e.timer == timer; });
}

// The reads of one instruction, listed in location order by construction: the
// register space (I, then V0 to VF, as their names order), memory by address,
// the stack (SP before the entries), the delay timer, the display (hires before
// plane_mask), the keypad, the generator and the flags. A location collected
// twice is listed once.
class ReadCollector {
 public:
  ReadCollector(const RegisterSnapshot& before, AccessDetail detail) : before_(before), detail_(detail) {}

  void V(std::size_t index) { registers_ |= 1u << index; }
  void I() { index_ = true; }
  void SP() { stack_pointer_ = true; }
  void stack_entry(std::size_t index) { stack_entry_ = index; }
  void delay() { delay_ = true; }
  void display_mode() { display_mode_ = true; }
  void keypad() { keypad_ = true; }
  void rng() { rng_ = true; }
  void flag(std::size_t index) { flags_ |= 1u << index; }
  void memory(std::uint16_t address, std::uint8_t value) { memory_.push_back({address, value}); }

  std::vector<StateRead> take() && {
    std::ranges::stable_sort(memory_, {}, &MemoryByte::address);
    const auto repeated = std::ranges::unique(memory_, {}, &MemoryByte::address);
    memory_.erase(repeated.begin(), repeated.end());

    std::vector<StateRead> reads;
    reads.reserve(static_cast<std::size_t>(std::popcount(registers_)) + memory_.size() + 8);
    const auto add = [&](StateLocation location, JsonValue value) {
      reads.push_back(read_of(std::move(location), detail_, std::move(value)));
    };
    if (index_) add(index_location(), number(before_.I));
    for (std::size_t r = 0; r < 16; ++r) {
      if ((registers_ >> r) & 1u) add(register_location(r), number(before_.V[r]));
    }
    for (const MemoryByte& byte : memory_) add(memory_location(byte.address), number(byte.value));
    if (stack_pointer_) add(stack_pointer_location(), number(before_.SP));
    if (stack_entry_) add(stack_entry_location(*stack_entry_), number(before_.stack[*stack_entry_]));
    if (delay_) add(delay_location(), number(before_.delay));
    if (display_mode_) {
      add(hires_location(), JsonValue(before_.hires));
      add(plane_mask_location(), number(before_.plane_mask));
    }
    if (keypad_) add(keypad_location(), number(before_.keypad_mask));
    if (rng_) add(rng_location(), number(before_.rng_state));
    for (std::size_t k = 0; k < 16; ++k) {
      if ((flags_ >> k) & 1u) add(flag_location(k), number(before_.flags[k]));
    }
    return reads;
  }

 private:
  struct MemoryByte {
    std::uint16_t address;
    std::uint8_t value;
  };

  const RegisterSnapshot& before_;
  AccessDetail detail_;
  std::uint32_t registers_ = 0;  // bit r: V(r)
  std::uint32_t flags_ = 0;      // bit k: flag k
  std::optional<std::size_t> stack_entry_;
  bool index_ = false;
  bool stack_pointer_ = false;
  bool delay_ = false;
  bool display_mode_ = false;
  bool keypad_ = false;
  bool rng_ = false;
  std::vector<MemoryByte> memory_;
};

void collect_register_reads(ReadCollector& reads, std::uint16_t op, const RegisterSnapshot& before,
                            const QuirkFlags& quirks) {
  const std::size_t x = (op >> 8) & 0xF;
  const std::size_t y = (op >> 4) & 0xF;
  const unsigned n = op & 0xF;
  const unsigned nn = op & 0xFF;
  switch (op >> 12) {
    case 0x0:
      if (op == 0x00E0 || (op & 0xFFF0) == 0x00C0 || (op & 0xFFF0) == 0x00D0 || op == 0x00FB || op == 0x00FC) {
        reads.display_mode();
      } else if (op == 0x00EE) {
        reads.SP();
        if (before.SP > 0) reads.stack_entry(before.SP - 1u);
      }
      return;
    case 0x2: reads.SP(); return;
    case 0x3:
    case 0x4:
    case 0x7: reads.V(x); return;
    case 0x5:
      if (n == 0) {
        reads.V(x);
        reads.V(y);
      } else if (n == 2) {
        reads.I();
        for (std::size_t r = std::min(x, y); r <= std::max(x, y); ++r) reads.V(r);
      } else if (n == 3) {
        reads.I();
      }
      return;
    case 0x8:
      if (n == 0) {
        reads.V(y);
      } else if ((n >= 1 && n <= 5) || n == 7) {
        reads.V(x);
        reads.V(y);
      } else if (n == 6 || n == 0xE) {
        reads.V(quirks.shift_uses_vx ? x : y);
      }
      return;
    case 0x9:
      if (n == 0) {
        reads.V(x);
        reads.V(y);
      }
      return;
    case 0xB: reads.V(quirks.jump_uses_vx ? x : 0); return;
    case 0xC: reads.rng(); return;
    case 0xD:
      reads.V(x);
      reads.V(y);
      reads.I();
      reads.display_mode();
      return;
    case 0xE:
      if (nn == 0x9E || nn == 0xA1) {
        reads.V(x);
        reads.keypad();
      }
      return;
    case 0xF:
      if (op == 0xF002 || nn == 0x65) {
        reads.I();
      } else if (nn == 0x07) {
        reads.delay();
      } else if (nn == 0x15 || nn == 0x18 || nn == 0x29 || nn == 0x30 || nn == 0x3A) {
        reads.V(x);
      } else if (nn == 0x1E || nn == 0x33) {
        reads.I();
        reads.V(x);
      } else if (nn == 0x55) {
        reads.I();
        for (std::size_t r = 0; r <= x; ++r) reads.V(r);
      } else if (nn == 0x75) {
        for (std::size_t r = 0; r <= x; ++r) reads.V(r);
      } else if (nn == 0x85) {
        for (std::size_t k = 0; k <= x; ++k) reads.flag(k);
      }
      return;
    default: return;
  }
}

void add_write(std::vector<StateWrite>& writes, StateLocation location, AccessDetail detail, JsonValue before,
               JsonValue after) {
  writes.push_back(write_of(std::move(location), detail, std::move(before), std::move(after)));
}

void add_if_changed(std::vector<StateWrite>& writes, StateLocation (*location)(), AccessDetail detail,
                    std::uint64_t before, std::uint64_t after) {
  if (before != after) add_write(writes, location(), detail, number(before), number(after));
}

void stack_writes(std::vector<StateWrite>& writes, const ObservedStep& step, AccessDetail detail, bool always_sp) {
  if (always_sp || step.before.SP != step.after.SP) {
    add_write(writes, stack_pointer_location(), detail, number(step.before.SP), number(step.after.SP));
  }
  for (std::size_t k = 0; k < kStackDepth; ++k) {
    if (step.before.stack[k] != step.after.stack[k]) {
      add_write(writes, stack_entry_location(k), detail, number(step.before.stack[k]), number(step.after.stack[k]));
    }
  }
}

bool fetched_skip(std::uint16_t op) {
  const unsigned nn = op & 0xFF;
  switch (op >> 12) {
    case 0x3:
    case 0x4: return true;
    case 0x5:
    case 0x9: return (op & 0xF) == 0;
    case 0xE: return nn == 0x9E || nn == 0xA1;
    default: return false;
  }
}

NormalizedEvent trap_event(const ObservedStep& step, const NativeRecord& record, std::string code,
                           std::string message, JsonObject trap_details) {
  NormalizedEvent event = step_event(record, EventKindTag::Trap);
  event.trap = lumivar::TrapInfo{std::move(code), std::move(message), true};
  event.control_flow = lumivar::ControlFlow{lumivar::ControlFlowKind::Trap, program_address(step.pc), std::nullopt, true};
  event.extensions.emplace(std::string(kTrapExtension), JsonValue(std::move(trap_details)));
  return event;
}

lumivar::EncodedValue encoded_instruction(DecodedInstruction decoded) {
  const auto bytes = decoded.bytes();
  return lumivar::EncodedValue{std::string(decoded.format), lumivar::ByteString(bytes.begin(), bytes.end()),
                               std::move(decoded.text)};
}

}  // namespace

const lumivar::EncodedValue& InstructionCache::word(std::uint16_t opcode) {
  auto found = by_opcode_.find(opcode);
  if (found == by_opcode_.end()) found = by_opcode_.emplace(opcode, encoded_instruction(disassemble_word(opcode))).first;
  return found->second;
}

NativeRecord step_native_record(const ObservedStep& step, const std::string& run_id, InstructionCache& instructions) {
  NativeRecord record{
      .machine_id = std::string(kMachineId),
      .machine_version = std::string(kMachineVersion),
      .run_id = run_id,
      .step = step.cycle,
      .cycle_or_tick = step.cycle,
      .frame = step.frame,
      .pc = program_address(step.pc),
      .instruction = std::nullopt,
  };
  if (!step.fetched) return record;
  // The four-byte form's immediate comes from the step, so it is not cached.
  if (step.opcode == kLongLoadOpcode) {
    record.instruction = encoded_instruction(disassemble(FetchedInstruction{step.pc, step.opcode, step.reads, step.after.I}));
  } else {
    record.instruction = instructions.word(step.opcode);
  }
  return record;
}

NativeRecord step_native_record(const ObservedStep& step, const std::string& run_id) {
  InstructionCache instructions;
  return step_native_record(step, run_id, instructions);
}

NormalizedEvent step_event(const NativeRecord& record, EventKind kind) {
  NormalizedEvent event;
  event.schema_version = kEventSchemaVersion;
  event.arch = record.machine_id;
  event.machine_version = record.machine_version;
  event.run_id = record.run_id;
  event.step = record.step;
  event.cycle_or_tick = record.cycle_or_tick;
  event.frame = record.frame;
  event.pc = record.pc;
  event.instruction = record.instruction;
  event.kind = std::move(kind);
  return event;
}

std::vector<StateRead> decoded_reads(const ObservedStep& step, const QuirkFlags& quirks, AccessDetail detail) {
  if (!step.fetched) return {};
  ReadCollector reads(step.before, detail);
  collect_register_reads(reads, step.opcode, step.before, quirks);
  const bool long_load = step.opcode == kLongLoadOpcode;
  const auto immediate_high = static_cast<std::uint16_t>(step.pc + 2);
  const auto immediate_low = static_cast<std::uint16_t>(step.pc + 3);
  for (const MemoryRead& read : step.reads) {
    for (std::size_t offset = 0; offset < read.bytes.size(); ++offset) {
      const auto address = static_cast<std::uint16_t>(read.address + offset);
      if (long_load && (address == immediate_high || address == immediate_low)) continue;
      reads.memory(address, read.bytes[offset]);
    }
  }
  return std::move(reads).take();
}

std::optional<NormalizedEvent> key_wait_sample(const ObservedStep& step, const NativeRecord& record,
                                               AccessDetail detail) {
  if (step.fetched || step.before.key_wait.phase == KeyWait::Phase::None) return std::nullopt;
  if (has_event(step, MachineEvent::Kind::KeyWaitResolved)) return std::nullopt;
  NormalizedEvent event = step_event(record, EventKindTag::InputSampled);
  event.reads.push_back(read_of(keypad_location(), detail, number(step.before.keypad_mask)));
  event.io.push_back(lumivar::IoEvent{
      .port = "keypad_in",
      .direction = lumivar::IoDirection::Input,
      .channel = lumivar::IoChannelTag::Keypad,
      .value = JsonValue(JsonObject{{"mask", number(step.before.keypad_mask)},
                                    {"wait_after", key_wait_json(step.after.key_wait)},
                                    {"wait_before", key_wait_json(step.before.key_wait)}}),
  });
  return event;
}

void apply_state_details(NormalizedEvent& event, const MachineEvent& machine_event, const ObservedStep& step,
                         AccessDetail detail) {
  using Kind = MachineEvent::Kind;
  switch (machine_event.kind) {
    case Kind::KeyWaitEntered:
      add_write(event.writes, key_wait_location(), detail, key_wait_json(step.before.key_wait),
                key_wait_json(step.after.key_wait));
      return;
    case Kind::KeyWaitResolved:
      event.reads.push_back(read_of(keypad_location(), detail, number(step.before.keypad_mask)));
      if (!event.io.empty()) {
        event.io.front().value = JsonValue(JsonObject{{"key", number(machine_event.key)},
                                                      {"mask", number(step.before.keypad_mask)},
                                                      {"wait_after", key_wait_json(step.after.key_wait)},
                                                      {"wait_before", key_wait_json(step.before.key_wait)}});
      }
      return;
    case Kind::TimerSet: {
      event.writes.clear();
      const bool delay = machine_event.timer == 0;
      add_write(event.writes, delay ? delay_location() : sound_location(), detail,
                number(delay ? step.before.delay : step.before.sound), number(delay ? step.after.delay : step.after.sound));
      return;
    }
    case Kind::MemoryWrite: {
      const auto entry = std::ranges::find(step.writes, machine_event.address, &MemoryWrite::address);
      if (entry == step.writes.end()) return;
      event.writes.clear();
      event.writes.reserve(entry->after.size());
      for (std::size_t i = 0; i < entry->after.size(); ++i) {
        add_write(event.writes, memory_location(static_cast<std::uint16_t>(entry->address + i)), detail,
                  number(entry->before[i]), number(entry->after[i]));
      }
      return;
    }
    case Kind::StackPush:
    case Kind::StackPop:
      stack_writes(event.writes, step, detail, true);
      return;
    case Kind::HiresEnabled:
    case Kind::LoresEnabled:
      add_write(event.writes, hires_location(), detail, JsonValue(step.before.hires), JsonValue(step.after.hires));
      return;
    default:
      return;
  }
}

std::optional<NormalizedEvent> taken_skip(const ObservedStep& step, const NativeRecord& record) {
  if (!step.fetched || !fetched_skip(step.opcode)) return std::nullopt;
  if (step.after.PC == static_cast<std::uint16_t>(step.pc + 2)) return std::nullopt;
  NormalizedEvent event = step_event(record, EventKindTag::BranchTaken);
  event.control_flow =
      lumivar::ControlFlow{lumivar::ControlFlowKind::Branch, program_address(step.pc), program_address(step.after.PC), true};
  return event;
}

std::optional<NormalizedEvent> randomness_sample(const ObservedStep& step, const NativeRecord& record) {
  if (!step.fetched || (step.opcode >> 12) != 0xC) return std::nullopt;
  const std::size_t x = (step.opcode >> 8) & 0xF;
  NormalizedEvent event = step_event(record, EventKind::extension_kind(std::string(kRandomnessSampledKind)));
  event.io.push_back(lumivar::IoEvent{
      .port = "rng_in",
      .direction = lumivar::IoDirection::Input,
      .channel = lumivar::IoChannelTag::Randomness,
      .value = JsonValue(JsonObject{{"masked_value", number(step.after.V[x])},
                                    {"raw_sample", number(step.after.rng_state & 0xFF)},
                                    {"rng_mask", number(step.opcode & 0xFF)},
                                    {"target_register", JsonValue(*register_location(x).name)}}),
  });
  return event;
}

std::optional<NormalizedEvent> fault_event(const ObservedStep& step, const NativeRecord& record) {
  switch (step.result.kind) {
    case StepStatus::Kind::StackOverflow:
      return trap_event(step, record, "chip8.stack_overflow", "CHIP-8 call stack overflow",
                        JsonObject{{"stack_pointer", number(step.before.SP)}});
    case StepStatus::Kind::StackUnderflow:
      return trap_event(step, record, "chip8.stack_underflow", "CHIP-8 return with an empty call stack",
                        JsonObject{{"stack_pointer", number(step.before.SP)}});
    case StepStatus::Kind::MemoryFault:
      return trap_event(step, record, "chip8.memory_fault",
                        "CHIP-8 memory access crosses the first invalid byte 0x" +
                            std::format("{:X}", step.result.first_invalid_address),
                        JsonObject{{"first_invalid_address", number(step.result.first_invalid_address)}});
    default:
      return std::nullopt;
  }
}

std::vector<NormalizedEvent> internal_state_changes(const ObservedStep& step, const NativeRecord& record,
                                                    AccessDetail detail) {
  const RegisterSnapshot& before = step.before;
  const RegisterSnapshot& after = step.after;
  std::vector<NormalizedEvent> events;
  // Writes are collected first so that an event is built only when it has one.
  std::vector<StateWrite> writes;
  const auto emit_if_written = [&](EventKind kind) {
    if (writes.empty()) return;
    NormalizedEvent event = step_event(record, std::move(kind));
    event.writes = std::move(writes);
    writes.clear();
    events.push_back(std::move(event));
  };

  for (std::size_t r = 0; r < 16; ++r) {
    if (before.V[r] != after.V[r]) add_write(writes, register_location(r), detail, number(before.V[r]), number(after.V[r]));
  }
  add_if_changed(writes, index_location, detail, before.I, after.I);
  emit_if_written(EventKindTag::RegisterWrite);

  if (!has_timer_set(step, 0)) add_if_changed(writes, delay_location, detail, before.delay, after.delay);
  if (!has_timer_set(step, 1)) add_if_changed(writes, sound_location, detail, before.sound, after.sound);
  emit_if_written(EventKindTag::TimerChanged);

  if (!has_event(step, MachineEvent::Kind::StackPush) && !has_event(step, MachineEvent::Kind::StackPop)) {
    stack_writes(writes, step, detail, false);
    emit_if_written(EventKindTag::StackChanged);
  }

  if (before.hires != after.hires && !has_event(step, MachineEvent::Kind::HiresEnabled) &&
      !has_event(step, MachineEvent::Kind::LoresEnabled)) {
    add_write(writes, hires_location(), detail, JsonValue(before.hires), JsonValue(after.hires));
  }
  add_if_changed(writes, plane_mask_location, detail, before.plane_mask, after.plane_mask);
  emit_if_written(EventKindTag::DisplayWrite);

  add_if_changed(writes, rng_location, detail, before.rng_state, after.rng_state);
  for (std::size_t k = 0; k < 16; ++k) {
    if (before.flags[k] != after.flags[k]) {
      add_write(writes, flag_location(k), detail, number(before.flags[k]), number(after.flags[k]));
    }
  }
  if (before.pattern != after.pattern) {
    add_write(writes, pattern_location(), detail, pattern_json(before.pattern), pattern_json(after.pattern));
  }
  add_if_changed(writes, audio_pitch_location, detail, before.audio_pitch, after.audio_pitch);
  if (before.halted != after.halted) {
    add_write(writes, halted_location(), detail, JsonValue(before.halted), JsonValue(after.halted));
  }
  if (key_wait_differs(before.key_wait, after.key_wait) && !has_event(step, MachineEvent::Kind::KeyWaitEntered) &&
      !has_event(step, MachineEvent::Kind::KeyWaitResolved)) {
    add_write(writes, key_wait_location(), detail, key_wait_json(before.key_wait), key_wait_json(after.key_wait));
  }
  emit_if_written(EventKind::extension_kind(std::string(kInternalStateChangedKind)));
  return events;
}

}  // namespace chip8::bundle
