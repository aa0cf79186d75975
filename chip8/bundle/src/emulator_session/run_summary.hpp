#pragma once
// How a session run ended: the termination values, their mapping from the
// machine's step statuses, and the run summary execute returns.

#include <cstdint>
#include <string_view>
#include <vector>

#include "chip8_core/machine/instruction.hpp"
#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/observation/normalizer_catalog.hpp"

namespace chip8::bundle {

enum class Termination : std::uint8_t {
  Completed = 0,
  InvalidOpcode = 1,
  StackUnderflow = 2,
  StackOverflow = 3,
  Timeout = 4,
  WaitingForInput = 5,
  MemoryFault = 6,
};

// "Completed", "InvalidOpcode", "StackUnderflow", "StackOverflow", "Timeout",
// "WaitingForInput", "MemoryFault"
[[nodiscard]] std::string_view spelling(Termination termination);

// Halted -> Completed, WaitingForKey -> WaitingForInput, each fault to its
// namesake. Ok ends no run: asking for its termination is a broken invariant.
[[nodiscard]] Termination termination_of(StepStatus status);

// run_halted for Completed, Timeout and WaitingForInput; run_crashed otherwise.
[[nodiscard]] bool is_crash(Termination termination);

// The summary text that replaces the termination once the step limit is reached.
inline constexpr std::string_view kStepLimitTermination = "step_limit";

// One derived summary of a capability; the CHIP-8 session produces none.
struct CapabilitySummary {
  lumivar::CapabilitySchema schema;

  friend bool operator==(const CapabilitySummary&, const CapabilitySummary&) = default;
};

struct RunSummary {
  // cycles and frames from the machine counters, the termination text
  // ("step_limit" when a set step limit was reached) and boot_success.
  lumivar::RunFinishedCommon common;
  std::vector<CapabilitySummary> capabilities;  // always empty for CHIP-8 runs

  friend bool operator==(const RunSummary&, const RunSummary&) = default;
};

}  // namespace chip8::bundle
