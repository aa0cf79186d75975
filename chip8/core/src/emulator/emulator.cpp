#include "chip8_core/emulator/emulator.hpp"

#include <utility>

#include "chip8_core/machine/instruction_dispatch.hpp"

namespace chip8 {
namespace {

// A step appends at most two events (call + stack_push, return + stack_pop), so
// the reused list never grows after creation.
constexpr std::size_t kEventListCapacity = 8;

FrameOutcome::Kind stopping_outcome(const StepStatus& status) {
  return status.kind == StepStatus::Kind::Halted ? FrameOutcome::Kind::Halted
                                                 : static_cast<FrameOutcome::Kind>(status.code());
}

}  // namespace

Chip8Emulator::Chip8Emulator(Chip8Machine machine, std::uint64_t rom_hash, std::uint64_t effective_seed)
    : machine_(std::move(machine)), rom_hash_(rom_hash), effective_seed_(effective_seed) {
  events_.reserve(kEventListCapacity);
}

lumivar::Result<Chip8Emulator> Chip8Emulator::create(std::span<const std::uint8_t> rom, const QuirkFlags& quirks,
                                                     std::uint64_t effective_seed) {
  auto machine = boot(rom, quirks, effective_seed);
  if (!machine) return std::unexpected(machine.error());
  return Chip8Emulator(std::move(*machine), fnv1a_64(rom), effective_seed);
}

void Chip8Emulator::set_cycles_per_frame(std::uint32_t cycles) { cycles_per_frame_ = cycles == 0 ? 1 : cycles; }

void Chip8Emulator::set_observing(bool observing) {
  observing_ = observing;
  observed_steps_.clear();
  timer_ticks_.clear();
}

[[gnu::always_inline]] inline StepStatus Chip8Emulator::plain_cycle(MemoryCapture* capture) {
  const std::uint16_t pc_before = machine_.PC;
  // Between cycles the list is always empty; only an observed cycle, which may
  // be handed a list it has not drained yet, needs to note where it ends.
  const std::size_t first_event = capture == nullptr ? 0 : events_.size();
  const StepStatus status = detail::step_machine(machine_, events_, capture);
  // Every cycle counts, so a halted or waiting machine adds its PC and a self edge.
  statistics_.coverage.record(pc_before, machine_.PC);
  if (machine_.SP > statistics_.max_stack_depth) statistics_.max_stack_depth = machine_.SP;
  if (events_.size() != first_event) [[unlikely]] {
    count_events(first_event);
    // The observed cycle passes a capture and takes the events itself.
    if (capture == nullptr) events_.clear();
  }
  ++cycle_count_;
  return status;
}

void Chip8Emulator::count_events(std::size_t first) {
  for (std::size_t k = first; k < events_.size(); ++k) {
    const MachineEvent& event = events_[k];
    switch (event.kind) {
      case MachineEvent::Kind::Draw:
        saturating_increment(statistics_.draw_count);
        if (event.collision) saturating_increment(statistics_.collision_count);
        break;
      case MachineEvent::Kind::KeyWaitEntered:
      case MachineEvent::Kind::KeyWaitResolved:
        saturating_increment(statistics_.input_opcode_count);
        break;
      case MachineEvent::Kind::MemoryWrite:
        statistics_.written_addresses.insert_range(event.address, event.length);
        break;
      default:
        break;
    }
  }
}

StepStatus Chip8Emulator::step_once() { return observing_ ? observed_cycle() : plain_cycle(nullptr); }

// Kept out of line so the frame loop's inlined plain cycle stays small.
[[gnu::noinline]] StepStatus Chip8Emulator::observed_cycle() {
  ObservedStep step = begin_observed_step(machine_, cycle_count_, frame_count_);
  memory_capture_.emplace();
  const std::size_t first_event = events_.size();
  step.result = plain_cycle(&*memory_capture_);
  MemoryCapture capture = take_memory_capture(memory_capture_);
  step.events.assign(events_.begin() + static_cast<std::ptrdiff_t>(first_event), events_.end());
  events_.clear();
  step.reads = std::move(capture.reads);
  step.writes = std::move(capture.writes);
  step.after = register_snapshot(machine_);
  observed_steps_.push_back(std::move(step));
  return observed_steps_.back().result;
}

FrameOutcome Chip8Emulator::run_frame() {
  StepStatus status;
  const std::uint32_t cycles = cycles_per_frame_;
  if (observing_) {
    for (std::uint32_t c = 0; c < cycles; ++c) {
      status = observed_cycle();
      if (!status.continues()) return FrameOutcome{stopping_outcome(status), status, c + 1};
    }
  } else {
    // The plain cycle is inlined into this loop, and the observing flag is tested
    // once per frame rather than per cycle; both showed up in the benchmark.
    for (std::uint32_t c = 0; c < cycles; ++c) {
      status = plain_cycle(nullptr);
      if (!status.continues()) [[unlikely]] {
        return FrameOutcome{stopping_outcome(status), status, c + 1};
      }
    }
  }
  tick_timers();
  return FrameOutcome{FrameOutcome::Kind::Completed, status, cycles};
}

void Chip8Emulator::tick_timers() {
  const std::uint8_t delay_before = machine_.delay;
  const std::uint8_t sound_before = machine_.sound;
  if (machine_.delay > 0) --machine_.delay;
  if (machine_.sound > 0) --machine_.sound;
  if (observing_ && (delay_before != 0 || sound_before != 0)) {
    timer_ticks_.push_back(
        TimerTick{cycle_count_, frame_count_, delay_before, sound_before, machine_.delay, machine_.sound});
  }
  ++frame_count_;
}

void Chip8Emulator::reset(const MachineStateImage& boot_image) {
  restore_state(boot_image);
  events_.clear();
  memory_capture_.reset();
  statistics_.clear();
  cycle_count_ = 0;
  frame_count_ = 0;
  observed_steps_.clear();
  timer_ticks_.clear();
}

std::vector<TimerTick> Chip8Emulator::take_timer_ticks() { return std::exchange(timer_ticks_, {}); }

std::vector<ObservedStep> Chip8Emulator::take_observed_steps() { return std::exchange(observed_steps_, {}); }

}  // namespace chip8
