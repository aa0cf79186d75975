#pragma once
// BudgetedSink: the gate every emission of a run passes. It measures each
// emission, counts it against the observation request's budgets, applies the
// overflow policy, forwards what it admits to the file recorder and then to
// the Python batch sink, and at the end issues the evidence receipt.
//
// Overflow policies: "fail" refuses the emission with an error, marks its
// channel failed and records the failure; "allow_incomplete" drops the
// emission silently and marks the channel truncated, and later emissions on
// the channel are still examined one by one.
//
// Counters move only when forwarding succeeded, so the receipt counts exactly
// what reached the downstream sinks.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/emission/emission_sink.hpp"
#include "lumivar_core/emission/evidence_channel.hpp"
#include "lumivar_core/emission/owned_emission.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/receipt/evidence_receipt.hpp"

namespace lumivar {

// The downstream sinks, borrowed: they must outlive the budgeted sink. Either
// may be absent; emissions are still counted then.
struct DownstreamSinks {
  EmissionSink* file_recorder = nullptr;
  EmissionSink* python_batch_sink = nullptr;
};

class BudgetedSink {
 public:
  // The request must pass the observation request check.
  [[nodiscard]] static Result<BudgetedSink> create(ObservationRequest request, std::string run_id,
                                                   std::string machine_id, std::string machine_version,
                                                   DownstreamSinks downstream);

  // Admits or refuses the emission and forwards an admitted one. Errors: an
  // exceeded budget under "fail", a counter overflow, a downstream error.
  // A refusal under "allow_incomplete" is a success.
  [[nodiscard]] Result<void> emit(const OwnedEmission& emission);

  // Each output is measured and admitted on the capabilities channel and, when
  // admitted, forwarded on its own. Nothing is returned: refusals and failures
  // only show in the receipt.
  void record_capability_outputs(std::span<const CapabilityOutput> outputs);

  // Kept for the evidence receipt and forwarded to the Python batch sink.
  void record_capability_receipts(std::span<const CapabilityReceipt> receipts);

  // Builds the evidence receipt, emits it and returns it. Once a receipt was
  // emitted, further calls fail. When forwarding the receipt fails the error
  // is returned and a later call builds (and reports that failure in) a new one.
  [[nodiscard]] Result<EvidenceReceipt> finish();

  // The receipt as it would be built now.
  [[nodiscard]] EvidenceReceipt build_receipt() const;

  [[nodiscard]] const EmissionTally& tally() const { return tally_; }
  [[nodiscard]] const ObservationRequest& request() const { return request_; }
  [[nodiscard]] bool receipt_emitted() const { return receipt_emitted_; }

 private:
  enum class Admission : std::uint8_t { Admitted, Refused };

  BudgetedSink(ObservationRequest request, std::string run_id, std::string machine_id, std::string machine_version,
               DownstreamSinks downstream);

  [[nodiscard]] Result<Admission> admit(EvidenceChannel channel, std::uint64_t logical_bytes);
  [[nodiscard]] Result<void> forward(const OwnedEmission& emission);
  void count(EvidenceChannel channel, std::uint64_t logical_bytes);
  void mark_failed(EvidenceChannel channel);
  void record_failure(std::optional<EvidenceChannel> channel, std::string message);

  ObservationRequest request_;
  std::string run_id_;
  std::string machine_id_;
  std::string machine_version_;
  DownstreamSinks downstream_;
  EmissionTally tally_;
  std::vector<CapabilityReceipt> capability_receipts_;
  bool receipt_emitted_ = false;
};

}  // namespace lumivar
