#pragma once
// The Python sink set as a downstream of the budgeted sink: each admitted
// emission becomes its Python record, capability outputs and receipts become
// the lists handed to the sinks' record_* methods.

#include "lumivar_core/emission/emission_sink.hpp"
#include "lumivar_recorder/python_sink/python_sink_set.hpp"

namespace lumivar::recorder {

class PythonBatchSink final : public EmissionSink {
 public:
  explicit PythonBatchSink(PythonSinkSet& set) : set_(&set) {}

  [[nodiscard]] Result<void> emit(const OwnedEmission& emission) override;
  void record_capability_outputs(std::span<const CapabilityOutput> outputs) override;
  // Delivers the text as it is: it is the output's capability_output_json.
  void record_encoded_capability_output(const CapabilityOutput& output, const std::string& json) override;
  void record_capability_receipts(std::span<const CapabilityReceipt> receipts) override;

 private:
  PythonSinkSet* set_;
};

// run_started, evidence_receipt and run_finished are delivered in batches of
// their own.
[[nodiscard]] bool travels_alone(EmissionKind kind);

}  // namespace lumivar::recorder
