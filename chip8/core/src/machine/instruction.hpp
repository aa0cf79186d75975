#pragma once
// One machine step: the halt check, the FX0A key-wait poll, or the fetch and
// execution of exactly one instruction.

#include <cstdint>
#include <string_view>
#include <vector>

#include "chip8_core/event/machine_event.hpp"
#include "chip8_core/event/memory_capture.hpp"
#include "chip8_core/machine/cpu.hpp"

namespace chip8 {

inline constexpr std::uint32_t kFirstInvalidAddress = 0x10000;

struct StepStatus {
  enum class Kind : std::uint8_t {
    Ok = 0,              // an instruction ran, or a key wait was resolved
    Halted = 1,          // 00FD ran now, or the machine was already halted
    WaitingForKey = 2,   // in a key wait; no instruction ran
    InvalidOpcode = 3,   // the fetched word is no instruction; `opcode` holds it
    StackOverflow = 4,   // 2NNN with a full stack
    StackUnderflow = 5,  // 00EE with an empty stack
    MemoryFault = 6,     // a block access would run past 0xFFFF; `first_invalid_address` is 0x10000
  };

  Kind kind = Kind::Ok;
  std::uint16_t opcode = 0;
  std::uint32_t first_invalid_address = 0;

  static constexpr StepStatus ok() { return {}; }
  static constexpr StepStatus halted() { return {.kind = Kind::Halted}; }
  static constexpr StepStatus waiting_for_key() { return {.kind = Kind::WaitingForKey}; }
  static constexpr StepStatus invalid_opcode(std::uint16_t opcode) { return {.kind = Kind::InvalidOpcode, .opcode = opcode}; }
  static constexpr StepStatus stack_overflow() { return {.kind = Kind::StackOverflow}; }
  static constexpr StepStatus stack_underflow() { return {.kind = Kind::StackUnderflow}; }
  static constexpr StepStatus memory_fault() {
    return {.kind = Kind::MemoryFault, .first_invalid_address = kFirstInvalidAddress};
  }

  constexpr std::uint8_t code() const { return static_cast<std::uint8_t>(kind); }
  // Ok and WaitingForKey let a frame go on; every other status ends it.
  constexpr bool continues() const { return kind == Kind::Ok || kind == Kind::WaitingForKey; }

  friend bool operator==(const StepStatus&, const StepStatus&) = default;
};

// "Ok", "Halted", "WaitingForKey", "InvalidOpcode", ...
std::string_view step_status_name(StepStatus::Kind kind);

// The word at `address`, high byte first, reading modulo 64 KiB.
constexpr std::uint16_t read_word(const Memory& memory, std::uint16_t address) {
  return static_cast<std::uint16_t>(memory[address] << 8 | memory[static_cast<std::uint16_t>(address + 1)]);
}

// One machine cycle. Appends the step's events to `events`; reports block reads
// and writes to `capture` when it is not null.
StepStatus step(Chip8Machine& machine, std::vector<MachineEvent>& events, MemoryCapture* capture);

// The instruction part of `step`, run after the fetch has advanced PC past `opcode`.
StepStatus execute(Chip8Machine& machine, std::uint16_t opcode, std::vector<MachineEvent>& events,
                   MemoryCapture* capture);

}  // namespace chip8
