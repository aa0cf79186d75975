#include "chip8_core/event/observed_step.hpp"

#include <utility>

#include "lumivar_core/error/error.hpp"

namespace chip8 {

RegisterSnapshot register_snapshot(const Chip8Machine& machine) {
  return RegisterSnapshot{
      .stack = machine.stack,
      .V = machine.V,
      .flags = machine.flags,
      .pattern = machine.pattern,
      .rng_state = machine.rng_state,
      .I = machine.I,
      .PC = machine.PC,
      .keypad_mask = machine.keypad_mask,
      .SP = machine.SP,
      .delay = machine.delay,
      .sound = machine.sound,
      .plane_mask = machine.display.plane_mask,
      .audio_pitch = machine.audio_pitch,
      .key_wait = machine.key_wait,
      .hires = machine.display.hires,
      .halted = machine.halted,
  };
}

ObservedStep begin_observed_step(const Chip8Machine& machine, std::uint64_t cycle, std::uint64_t frame) {
  ObservedStep step;
  step.frame = frame;
  step.before = register_snapshot(machine);
  step.cycle = cycle;
  step.fetched = !machine.halted && machine.key_wait.phase == KeyWait::Phase::None;
  step.opcode = read_word(machine.memory, machine.PC);
  step.pc = machine.PC;
  return step;
}

MemoryCapture take_memory_capture(std::optional<MemoryCapture>& slot) {
  if (!slot) lumivar::fatal("memory capture must be active for an observed step");
  MemoryCapture capture = std::move(*slot);
  slot.reset();
  return capture;
}

}  // namespace chip8
