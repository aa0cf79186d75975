#pragma once
// Fakes of the emission sink for tests: a recording sink that logs every call
// (optionally into a log shared with other sinks, to check forwarding order)
// and fails the calls it is told to fail.

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lumivar_core/emission/emission_sink.hpp"

namespace lumivar::testing {

class RecordingSink : public EmissionSink {
 public:
  explicit RecordingSink(std::string name, std::vector<std::string>* shared_log = nullptr)
      : name_(std::move(name)), log_(shared_log != nullptr ? shared_log : &own_log_) {}

  // Fails the emit calls with these zero-based numbers (counted over all
  // emit calls, failed ones included) with the message given.
  void fail_calls(std::set<std::size_t> calls, std::string message) {
    failing_calls_ = std::move(calls);
    failure_message_ = std::move(message);
  }

  Result<void> emit(const OwnedEmission& emission) override {
    std::size_t call = emit_calls_++;
    log_->push_back(name_ + ":" + std::string(spelling(emission.kind())));
    if (failing_calls_.contains(call)) return fail(failure_message_);
    emissions.push_back(emission);
    return {};
  }
  void record_capability_outputs(std::span<const CapabilityOutput> list) override {
    log_->push_back(name_ + ":capability_outputs");
    outputs.emplace_back(list.begin(), list.end());
  }
  void record_capability_receipts(std::span<const CapabilityReceipt> list) override {
    log_->push_back(name_ + ":capability_receipts");
    receipts.emplace_back(list.begin(), list.end());
  }

  [[nodiscard]] const std::vector<std::string>& log() const { return *log_; }

  std::vector<OwnedEmission> emissions;  // the emissions accepted
  std::vector<std::vector<CapabilityOutput>> outputs;
  std::vector<std::vector<CapabilityReceipt>> receipts;

 private:
  std::string name_;
  std::vector<std::string> own_log_;
  std::vector<std::string>* log_;
  std::size_t emit_calls_ = 0;
  std::set<std::size_t> failing_calls_;
  std::string failure_message_;
};

}  // namespace lumivar::testing
