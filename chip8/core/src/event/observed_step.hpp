#pragma once
// The account of one observed machine cycle: registers before and after, the
// events in order and every memory block read or written with its bytes. It is
// all the trace layer sees of a step; display planes are not part of it.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "chip8_core/event/machine_event.hpp"
#include "chip8_core/event/memory_capture.hpp"
#include "chip8_core/machine/cpu.hpp"
#include "chip8_core/machine/instruction.hpp"

namespace chip8 {

// The machine's small state taken whole: no memory, no display planes.
struct RegisterSnapshot {
  std::array<std::uint16_t, kStackDepth> stack{};
  std::array<std::uint8_t, 16> V{};
  std::array<std::uint8_t, 16> flags{};
  std::array<std::uint8_t, 16> pattern{};
  std::uint64_t rng_state = 0;
  std::uint16_t I = 0;
  std::uint16_t PC = 0;
  std::uint16_t keypad_mask = 0;  // bit k set while key k is down
  std::uint8_t SP = 0;
  std::uint8_t delay = 0;
  std::uint8_t sound = 0;
  std::uint8_t plane_mask = 0;
  std::uint8_t audio_pitch = 0;
  KeyWait key_wait;
  bool hires = false;
  bool halted = false;

  friend bool operator==(const RegisterSnapshot&, const RegisterSnapshot&) = default;
};

RegisterSnapshot register_snapshot(const Chip8Machine& machine);

struct ObservedStep {
  std::optional<std::uint64_t> frame;  // frame in progress; always set for machine steps
  std::vector<MachineEvent> events;    // this step's events only
  std::vector<MemoryRead> reads;       // in the order the instruction read
  std::vector<MemoryWrite> writes;     // in the order the instruction wrote
  StepStatus result;
  RegisterSnapshot before;
  RegisterSnapshot after;
  std::uint64_t cycle = 0;   // cycle count before the step
  bool fetched = false;      // not halted and no key wait before the step
  std::uint16_t opcode = 0;  // the word at `pc`, read also when nothing is fetched
  std::uint16_t pc = 0;      // PC before the step

  friend bool operator==(const ObservedStep&, const ObservedStep&) = default;
};

// What an observed cycle notes before it runs the step; `result`, `after`, the
// events and the accesses are filled in afterwards.
ObservedStep begin_observed_step(const Chip8Machine& machine, std::uint64_t cycle, std::uint64_t frame);

// Moves the capture out of `slot`, leaving it empty. An empty slot means the
// observed cycle lost its capture, which is a fatal internal error.
MemoryCapture take_memory_capture(std::optional<MemoryCapture>& slot);

}  // namespace chip8
