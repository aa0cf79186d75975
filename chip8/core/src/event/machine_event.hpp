#pragma once
// The machine events a step appends, in the order the instruction acts.

#include <cstdint>
#include <string_view>

namespace chip8 {

struct MachineEvent {
  enum class Kind : std::uint8_t {
    ClearScreen = 0,
    Jump = 1,
    Call = 2,
    Return = 3,
    Draw = 4,
    KeyWaitEntered = 5,
    KeyWaitResolved = 6,
    TimerSet = 7,
    MemoryWrite = 8,
    StackPush = 9,
    StackPop = 10,
    ScrollDown = 11,
    ScrollUp = 12,
    ScrollRight = 13,
    ScrollLeft = 14,
    HiresEnabled = 15,
    LoresEnabled = 16,
    InvalidOpcode = 17,
  };

  Kind kind = Kind::ClearScreen;
  std::uint16_t from = 0;     // jump, call: address of the instruction
  std::uint16_t to = 0;       // jump, call: target; return: the popped address
  std::uint16_t address = 0;  // memory_write: first byte written
  std::uint16_t length = 0;   // memory_write: bytes written
  std::uint16_t pc = 0;       // invalid_opcode: address of the instruction
  std::uint16_t opcode = 0;   // invalid_opcode: the word fetched
  std::uint8_t x = 0;         // draw: raw VX
  std::uint8_t y = 0;         // draw: raw VY
  std::uint8_t n = 0;         // draw: N
  bool collision = false;     // draw
  std::uint8_t key = 0;       // key_wait_resolved
  std::uint8_t value = 0;     // timer_set
  std::uint8_t timer = 0;     // timer_set: 0 delay, 1 sound
  std::uint8_t rows = 0;      // scroll_down, scroll_up

  static constexpr MachineEvent simple(Kind kind) { return MachineEvent{.kind = kind}; }
  static constexpr MachineEvent jump(std::uint16_t from, std::uint16_t to) {
    return {.kind = Kind::Jump, .from = from, .to = to};
  }
  static constexpr MachineEvent call(std::uint16_t from, std::uint16_t to) {
    return {.kind = Kind::Call, .from = from, .to = to};
  }
  static constexpr MachineEvent return_to(std::uint16_t to) { return {.kind = Kind::Return, .to = to}; }
  static constexpr MachineEvent draw(std::uint8_t x, std::uint8_t y, std::uint8_t n, bool collision) {
    return {.kind = Kind::Draw, .x = x, .y = y, .n = n, .collision = collision};
  }
  static constexpr MachineEvent key_wait_resolved(std::uint8_t key) {
    return {.kind = Kind::KeyWaitResolved, .key = key};
  }
  static constexpr MachineEvent timer_set(std::uint8_t value, std::uint8_t timer) {
    return {.kind = Kind::TimerSet, .value = value, .timer = timer};
  }
  static constexpr MachineEvent memory_write(std::uint16_t address, std::uint16_t length) {
    return {.kind = Kind::MemoryWrite, .address = address, .length = length};
  }
  static constexpr MachineEvent scroll_down(std::uint8_t rows) { return {.kind = Kind::ScrollDown, .rows = rows}; }
  static constexpr MachineEvent scroll_up(std::uint8_t rows) { return {.kind = Kind::ScrollUp, .rows = rows}; }
  static constexpr MachineEvent invalid_opcode(std::uint16_t pc, std::uint16_t opcode) {
    return {.kind = Kind::InvalidOpcode, .pc = pc, .opcode = opcode};
  }

  friend bool operator==(const MachineEvent&, const MachineEvent&) = default;
};

// The event's name as the trace reports it ("clear_screen", "memory_write", ...).
std::string_view machine_event_name(MachineEvent::Kind kind);

}  // namespace chip8
