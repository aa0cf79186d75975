#pragma once
// The one interface every downstream of the budgeted sink implements: the file
// recorder and the Python batch sink in a run, counting or failing fakes in
// tests. Emissions are borrowed for the duration of the call; a sink that
// keeps one copies it.

#include <span>
#include <string>

#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/emission/owned_emission.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/receipt/evidence_receipt.hpp"

namespace lumivar {

class EmissionSink {
 public:
  virtual ~EmissionSink() = default;

  // An emission the budgeted sink admitted. An error ends the run's stream.
  [[nodiscard]] virtual Result<void> emit(const OwnedEmission& emission) = 0;

  // Capability outputs and receipts delivered beside the stream; a sink
  // reports its own failures later (receipts, delivery report), not here.
  virtual void record_capability_outputs(std::span<const CapabilityOutput> outputs) = 0;
  // One admitted output with its capability_output_json text, which the
  // budgeted sink has already written to count it; a sink that delivers that
  // text overrides this to avoid writing it again.
  virtual void record_encoded_capability_output(const CapabilityOutput& output, const std::string& json) {
    (void)json;
    record_capability_outputs(std::span<const CapabilityOutput>(&output, 1));
  }
  // Only the Python batch sink receives receipts; the default ignores them.
  virtual void record_capability_receipts(std::span<const CapabilityReceipt> receipts) { (void)receipts; }
};

}  // namespace lumivar
