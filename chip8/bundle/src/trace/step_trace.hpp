#pragma once
// The CHIP-8 details of one observed step that only the trace can compute from
// the registers before and after and the memory capture: the reads of the
// instruction_decoded event, the key-wait sampling event, the state details
// added to adapted events, the taken skip, the randomness sample, the fault
// event and the internal state changes. Every event built here carries the
// step's common fields from its native record.

#include <map>
#include <optional>
#include <vector>

#include "chip8_bundle/trace/native_event.hpp"
#include "chip8_core/event/observed_step.hpp"
#include "chip8_core/machine/cpu.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/observation/observation_request.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kRandomnessSampledKind = "chip8.randomness_sampled";
inline constexpr std::string_view kInternalStateChangedKind = "chip8.internal_state_changed";
inline constexpr std::string_view kTrapExtension = "chip8.trap";

// The encoded instructions of the two-byte words a run executed, so that each
// distinct word is disassembled once per run rather than once per step.
class InstructionCache {
 public:
  [[nodiscard]] const lumivar::EncodedValue& word(std::uint16_t opcode);

 private:
  std::map<std::uint16_t, lumivar::EncodedValue> by_opcode_;
};

// The native record of a step: machine ID and version, the run ID, cycle and
// frame of the step, its program location and, when it fetched, its instruction.
[[nodiscard]] NativeRecord step_native_record(const ObservedStep& step, const std::string& run_id,
                                              InstructionCache& instructions);
[[nodiscard]] NativeRecord step_native_record(const ObservedStep& step, const std::string& run_id);

// An event of `kind` with the record's common fields and nothing else.
[[nodiscard]] lumivar::NormalizedEvent step_event(const NativeRecord& record, lumivar::EventKind kind);

// The reads of the step's instruction_decoded event, in location order; empty
// when the step did not fetch.
[[nodiscard]] std::vector<lumivar::StateRead> decoded_reads(const ObservedStep& step, const QuirkFlags& quirks,
                                                            lumivar::AccessDetail detail);

// input_sampled for a step spent in a key wait that did not resolve it.
[[nodiscard]] std::optional<lumivar::NormalizedEvent> key_wait_sample(const ObservedStep& step,
                                                                      const NativeRecord& record,
                                                                      lumivar::AccessDetail detail);

// Adds or replaces the reads, writes and I/O values of an event adapted from
// `machine_event`.
void apply_state_details(lumivar::NormalizedEvent& event, const MachineEvent& machine_event, const ObservedStep& step,
                         lumivar::AccessDetail detail);

// branch_taken for a fetched skip instruction that skipped.
[[nodiscard]] std::optional<lumivar::NormalizedEvent> taken_skip(const ObservedStep& step, const NativeRecord& record);

// "chip8.randomness_sampled" for a fetched CXNN.
[[nodiscard]] std::optional<lumivar::NormalizedEvent> randomness_sample(const ObservedStep& step,
                                                                        const NativeRecord& record);

// The trap of a stack overflow, stack underflow or memory fault.
[[nodiscard]] std::optional<lumivar::NormalizedEvent> fault_event(const ObservedStep& step, const NativeRecord& record);

// register_write, timer_changed, stack_changed, display_write and
// "chip8.internal_state_changed", in this order, each only when it has a write.
[[nodiscard]] std::vector<lumivar::NormalizedEvent> internal_state_changes(const ObservedStep& step,
                                                                           const NativeRecord& record,
                                                                           lumivar::AccessDetail detail);

}  // namespace chip8::bundle
