#pragma once
// A budgeted sink seen through the emission sink interface, so the session
// emits into a BudgetedSink in a run and into a recording fake in tests.

#include <span>

#include "lumivar_core/emission/budgeted_sink.hpp"
#include "lumivar_core/emission/emission_sink.hpp"

namespace chip8::bundle {

class BudgetedStream final : public lumivar::EmissionSink {
 public:
  explicit BudgetedStream(lumivar::BudgetedSink& sink) : sink_(sink) {}

  lumivar::Result<void> emit(const lumivar::OwnedEmission& emission) override { return sink_.emit(emission); }
  void record_capability_outputs(std::span<const lumivar::CapabilityOutput> outputs) override {
    sink_.record_capability_outputs(outputs);
  }
  void record_capability_receipts(std::span<const lumivar::CapabilityReceipt> receipts) override {
    sink_.record_capability_receipts(receipts);
  }

 private:
  lumivar::BudgetedSink& sink_;
};

}  // namespace chip8::bundle
