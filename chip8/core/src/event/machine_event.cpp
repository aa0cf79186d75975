#include "chip8_core/event/machine_event.hpp"

namespace chip8 {

std::string_view machine_event_name(MachineEvent::Kind kind) {
  switch (kind) {
    case MachineEvent::Kind::ClearScreen: return "clear_screen";
    case MachineEvent::Kind::Jump: return "jump";
    case MachineEvent::Kind::Call: return "call";
    case MachineEvent::Kind::Return: return "return";
    case MachineEvent::Kind::Draw: return "draw";
    case MachineEvent::Kind::KeyWaitEntered: return "key_wait_entered";
    case MachineEvent::Kind::KeyWaitResolved: return "key_wait_resolved";
    case MachineEvent::Kind::TimerSet: return "timer_set";
    case MachineEvent::Kind::MemoryWrite: return "memory_write";
    case MachineEvent::Kind::StackPush: return "stack_push";
    case MachineEvent::Kind::StackPop: return "stack_pop";
    case MachineEvent::Kind::ScrollDown: return "scroll_down";
    case MachineEvent::Kind::ScrollUp: return "scroll_up";
    case MachineEvent::Kind::ScrollRight: return "scroll_right";
    case MachineEvent::Kind::ScrollLeft: return "scroll_left";
    case MachineEvent::Kind::HiresEnabled: return "hires_enabled";
    case MachineEvent::Kind::LoresEnabled: return "lores_enabled";
    case MachineEvent::Kind::InvalidOpcode: return "invalid_opcode";
  }
  return "unknown";
}

}  // namespace chip8
