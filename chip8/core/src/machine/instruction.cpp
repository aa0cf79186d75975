#include "chip8_core/machine/instruction.hpp"

#include "chip8_core/machine/instruction_dispatch.hpp"

namespace chip8 {

std::string_view step_status_name(StepStatus::Kind kind) {
  switch (kind) {
    case StepStatus::Kind::Ok: return "Ok";
    case StepStatus::Kind::Halted: return "Halted";
    case StepStatus::Kind::WaitingForKey: return "WaitingForKey";
    case StepStatus::Kind::InvalidOpcode: return "InvalidOpcode";
    case StepStatus::Kind::StackOverflow: return "StackOverflow";
    case StepStatus::Kind::StackUnderflow: return "StackUnderflow";
    case StepStatus::Kind::MemoryFault: return "MemoryFault";
  }
  return "Unknown";
}

StepStatus execute(Chip8Machine& machine, std::uint16_t opcode, std::vector<MachineEvent>& events,
                   MemoryCapture* capture) {
  return detail::Instruction(machine, opcode, events, capture).dispatch();
}

StepStatus step(Chip8Machine& machine, std::vector<MachineEvent>& events, MemoryCapture* capture) {
  return detail::step_machine(machine, events, capture);
}

}  // namespace chip8
