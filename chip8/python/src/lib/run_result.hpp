#pragma once
// The run result of execute_prepared as data, and its JSON text: every object's
// keys in byte order, as the result dict presents them.

#include <optional>
#include <string>

#include "chip8_bundle/emulator_session/run_summary.hpp"
#include "lumivar_core/receipt/evidence_receipt.hpp"
#include "lumivar_recorder/python_sink/python_sink_set.hpp"

namespace lumivar::python {

enum class MachineExecutionStatus { kCompleted, kFailed, kInterruptedByEvidenceFailure };

struct MachineExecutionOutcome {
  MachineExecutionStatus status = MachineExecutionStatus::kFailed;
  std::optional<chip8::bundle::RunSummary> summary;  // when completed
  std::string message;                               // otherwise
};

enum class RecorderFinalizationStatus { kNotRequested, kNotFinalized, kFailed };

struct RecorderFinalizationOutcome {
  RecorderFinalizationStatus status = RecorderFinalizationStatus::kNotRequested;
  std::string text;  // the reason of not_finalized, the message of failed
};

struct PublicationOutcome {
  bool published = false;
  std::string reason;  // when not published
};

struct RunResult {
  EvidenceReceipt evidence_fulfillment;
  MachineExecutionOutcome machine_execution;
  PublicationOutcome publication;
  std::optional<std::string> published_path;
  recorder::PythonSinkDeliveryReport python_sink_delivery;
  RecorderFinalizationOutcome recorder_finalization;
};

// Compact JSON of the result; an error when it holds a non-finite float.
[[nodiscard]] Result<std::string> run_result_json(const RunResult& result);

}  // namespace lumivar::python
