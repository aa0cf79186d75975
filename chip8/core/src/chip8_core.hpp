#pragma once
// chip8_core: the deterministic CHIP-8 / SCHIP / XO-CHIP machine.
//
//   machine/cpu.hpp            Chip8Machine, QuirkFlags and the five presets, KeyWait, boot, effective_seed
//   machine/instruction.hpp    step and execute, StepStatus
//   machine/display.hpp        Chip8Display: planes, drawing, scrolling, frame export
//   event/machine_event.hpp    MachineEvent, the events a step appends
//   event/memory_capture.hpp   MemoryCapture and the read/write recording hooks
//   event/observed_step.hpp    ObservedStep and RegisterSnapshot, the record of one observed cycle
//   emulator/emulator.hpp      Chip8Emulator: frames, timers, statistics, reset
//   emulator/statistics.hpp    the executed-address, transition and written-address sets
//   state_codec/state_codec.hpp  MachineStateImage, encode_state, decode_state

#include "chip8_core/emulator/emulator.hpp"
#include "chip8_core/emulator/statistics.hpp"
#include "chip8_core/event/machine_event.hpp"
#include "chip8_core/event/memory_capture.hpp"
#include "chip8_core/event/observed_step.hpp"
#include "chip8_core/machine/cpu.hpp"
#include "chip8_core/machine/display.hpp"
#include "chip8_core/machine/instruction.hpp"
#include "chip8_core/state_codec/state_codec.hpp"
