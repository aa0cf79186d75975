#include "chip8_bundle/emulator_session/run_summary.hpp"

#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

std::string_view spelling(Termination termination) {
  switch (termination) {
    case Termination::Completed: return "Completed";
    case Termination::InvalidOpcode: return "InvalidOpcode";
    case Termination::StackUnderflow: return "StackUnderflow";
    case Termination::StackOverflow: return "StackOverflow";
    case Termination::Timeout: return "Timeout";
    case Termination::WaitingForInput: return "WaitingForInput";
    case Termination::MemoryFault: return "MemoryFault";
  }
  lumivar::fatal("termination out of range");
}

Termination termination_of(StepStatus status) {
  switch (status.kind) {
    case StepStatus::Kind::Halted: return Termination::Completed;
    case StepStatus::Kind::WaitingForKey: return Termination::WaitingForInput;
    case StepStatus::Kind::InvalidOpcode: return Termination::InvalidOpcode;
    case StepStatus::Kind::StackOverflow: return Termination::StackOverflow;
    case StepStatus::Kind::StackUnderflow: return Termination::StackUnderflow;
    case StepStatus::Kind::MemoryFault: return Termination::MemoryFault;
    case StepStatus::Kind::Ok: break;
  }
  lumivar::fatal("an Ok step status ends no run");
}

bool is_crash(Termination termination) {
  return termination != Termination::Completed && termination != Termination::Timeout &&
         termination != Termination::WaitingForInput;
}

}  // namespace chip8::bundle
