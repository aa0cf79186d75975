#include "lumivar_core/event/normalized_event.hpp"

#include "lumivar_core/error/error.hpp"

namespace lumivar {

std::string_view spelling(StateSpaceTag tag) {
  switch (tag) {
    case StateSpaceTag::Register: return "register";
    case StateSpaceTag::Memory: return "memory";
    case StateSpaceTag::Stack: return "stack";
    case StateSpaceTag::Timer: return "timer";
    case StateSpaceTag::Display: return "display";
    case StateSpaceTag::Input: return "input";
    case StateSpaceTag::Output: return "output";
    case StateSpaceTag::Randomness: return "randomness";
    case StateSpaceTag::Extension: return "extension";
  }
  fatal("state space tag out of range");
}

std::string_view spelling(ControlFlowKind kind) {
  switch (kind) {
    case ControlFlowKind::Next: return "next";
    case ControlFlowKind::Branch: return "branch";
    case ControlFlowKind::Call: return "call";
    case ControlFlowKind::Return: return "return";
    case ControlFlowKind::Interrupt: return "interrupt";
    case ControlFlowKind::Trap: return "trap";
  }
  fatal("control flow kind out of range");
}

std::string_view spelling(IoDirection direction) {
  switch (direction) {
    case IoDirection::Input: return "input";
    case IoDirection::Output: return "output";
  }
  fatal("I/O direction out of range");
}

std::string_view spelling(IoChannelTag tag) {
  switch (tag) {
    case IoChannelTag::Display: return "display";
    case IoChannelTag::Keypad: return "keypad";
    case IoChannelTag::Sound: return "sound";
    case IoChannelTag::Timer: return "timer";
    case IoChannelTag::Collision: return "collision";
    case IoChannelTag::Randomness: return "randomness";
    case IoChannelTag::Extension: return "extension";
  }
  fatal("I/O channel tag out of range");
}

std::string_view spelling(CausalRelationTag tag) {
  switch (tag) {
    case CausalRelationTag::Data: return "data";
    case CausalRelationTag::Control: return "control";
    case CausalRelationTag::Input: return "input";
    case CausalRelationTag::Extension: return "extension";
  }
  fatal("causal relation tag out of range");
}

}  // namespace lumivar
