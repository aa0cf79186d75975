#pragma once
// The emulator: one machine plus time (cycles, frames of `cycles_per_frame`
// cycles, the end-of-frame timer tick) and the run-wide statistics.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "chip8_core/emulator/statistics.hpp"
#include "chip8_core/event/machine_event.hpp"
#include "chip8_core/event/memory_capture.hpp"
#include "chip8_core/event/observed_step.hpp"
#include "chip8_core/machine/cpu.hpp"
#include "chip8_core/machine/instruction.hpp"
#include "chip8_core/state_codec/state_codec.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8 {

inline constexpr std::uint32_t kDefaultCyclesPerFrame = 12;

// How `run_frame` ended: 7 when all its cycles ran and the timers ticked,
// otherwise the stopping step's status (8 for Halted, 3-6 for the faults).
struct FrameOutcome {
  enum class Kind : std::uint8_t {
    InvalidOpcode = 3,
    StackOverflow = 4,
    StackUnderflow = 5,
    MemoryFault = 6,
    Completed = 7,
    Halted = 8,
  };

  Kind kind = Kind::Completed;
  StepStatus status;             // the last step's status (Ok or WaitingForKey when completed)
  std::uint32_t cycles_run = 0;  // cycles this frame ran, the stopping one included

  constexpr std::uint8_t code() const { return static_cast<std::uint8_t>(kind); }
  constexpr bool completed() const { return kind == Kind::Completed; }

  friend bool operator==(const FrameOutcome&, const FrameOutcome&) = default;
};

// One end-of-frame tick while observing, recorded only when a timer was running.
struct TimerTick {
  std::uint64_t cycle = 0;  // cycle count at the tick
  std::uint64_t frame = 0;  // index of the frame that ends
  std::uint8_t delay_before = 0;
  std::uint8_t sound_before = 0;
  std::uint8_t delay_after = 0;
  std::uint8_t sound_after = 0;

  friend bool operator==(const TimerTick&, const TimerTick&) = default;
};

class Chip8Emulator {
 public:
  // Boots the ROM; fails with the boot message for an empty or oversized ROM.
  [[nodiscard]] static lumivar::Result<Chip8Emulator> create(std::span<const std::uint8_t> rom,
                                                             const QuirkFlags& quirks, std::uint64_t effective_seed);

  const Chip8Machine& machine() const { return machine_; }
  std::uint64_t rom_hash() const { return rom_hash_; }
  std::uint64_t effective_seed() const { return effective_seed_; }
  std::uint32_t cycles_per_frame() const { return cycles_per_frame_; }
  std::uint64_t cycle_count() const { return cycle_count_; }
  std::uint64_t frame_count() const { return frame_count_; }
  bool observing() const { return observing_; }

  // Statistics since creation or reset.
  const EmulatorStatistics& statistics() const { return statistics_; }
  std::size_t unique_pcs() const { return statistics_.coverage.executed_count(); }
  std::size_t unique_edges() const { return statistics_.coverage.transition_count(); }
  std::size_t memory_written_bytes() const { return statistics_.written_addresses.size(); }
  std::uint8_t max_stack_depth() const { return statistics_.max_stack_depth; }
  std::uint32_t draw_count() const { return statistics_.draw_count; }
  std::uint32_t collision_count() const { return statistics_.collision_count; }
  std::uint32_t input_opcode_count() const { return statistics_.input_opcode_count; }

  // 0 is stored as 1.
  void set_cycles_per_frame(std::uint32_t cycles);
  // Stores the flag and discards pending observed steps and timer ticks. While
  // observing, every cycle leaves an ObservedStep.
  void set_observing(bool observing);

  // The host's key states; they apply from the next step on.
  void set_keypad(const std::array<bool, kKeyCount>& keys) { machine_.set_keypad(keys); }
  void set_keypad_mask(std::uint16_t mask) { machine_.set_keypad_mask(mask); }

  // One cycle, observed while observing.
  StepStatus step_once();
  // Up to `cycles_per_frame` cycles, then the timer tick; stops early, without
  // the tick, at the first status other than Ok and WaitingForKey.
  FrameOutcome run_frame();
  // Decrements the running timers, records the tick while observing, counts the frame.
  void tick_timers();

  MachineStateImage capture_state() const { return capture_machine_state(machine_); }
  void restore_state(const MachineStateImage& image) { restore_machine_state(machine_, image); }
  // Restores the boot image and clears the run: events, capture, statistics, both
  // counts and pending records. Keeps the ROM hash, seed, cycles per frame, quirk
  // flags and the observing flag.
  void reset(const MachineStateImage& boot_image);

  std::vector<std::uint8_t> export_frame() const { return machine_.display.export_frame(); }

  // Pending timer ticks, oldest first; the list is empty afterwards.
  std::vector<TimerTick> take_timer_ticks();
  // Pending observed steps, oldest first; the list is empty afterwards.
  std::vector<ObservedStep> take_observed_steps();

  // The event list of the step in progress and the active capture; empty and
  // absent between plain cycles. Used by the observed cycle.
  const std::vector<MachineEvent>& events() const { return events_; }
  const std::optional<MemoryCapture>& memory_capture() const { return memory_capture_; }

 private:
  Chip8Emulator(Chip8Machine machine, std::uint64_t rom_hash, std::uint64_t effective_seed);

  // The plain cycle: one step plus its statistics. `capture` is null unless the
  // observed cycle wraps this one.
  StepStatus plain_cycle(MemoryCapture* capture);
  // The plain cycle wrapped with an active capture; appends one ObservedStep.
  StepStatus observed_cycle();
  void count_events(std::size_t first);

  Chip8Machine machine_;
  std::uint64_t rom_hash_ = 0;
  std::uint64_t effective_seed_ = 0;
  std::uint32_t cycles_per_frame_ = kDefaultCyclesPerFrame;
  std::uint64_t cycle_count_ = 0;
  std::uint64_t frame_count_ = 0;
  EmulatorStatistics statistics_;
  bool observing_ = false;
  std::vector<MachineEvent> events_;
  std::optional<MemoryCapture> memory_capture_;
  std::vector<ObservedStep> observed_steps_;
  std::vector<TimerTick> timer_ticks_;
};

}  // namespace chip8
