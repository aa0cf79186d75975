#pragma once
// PythonSinkSet: groups a run's accepted emissions into batches bounded by an item
// count and a logical-byte count, hands each batch to the sinks through a
// PythonDelivery, counts what was delivered and keeps the first failure. After a
// failure nothing more is delivered.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_recorder/python_sink/python_delivery.hpp"

namespace lumivar::recorder {

struct PythonSinkFailure {
  std::uint64_t sink_index = 0;
  std::optional<std::string> sink_identity;  // "python-sink-{index}", null before any sink
  PythonCallbackKind callback = PythonCallbackKind::kEmissionBatch;
  std::uint64_t batch_size = 0;
  std::uint64_t successfully_delivered_items = 0;
  std::string exception_type;
  std::string exception_message;
};

enum class PythonSinkStatus : std::uint8_t { kNotRequested, kComplete, kFailed };

struct PythonSinkDeliveryReport {
  PythonSinkStatus status = PythonSinkStatus::kNotRequested;
  std::uint64_t sink_count = 0;
  std::uint64_t batches_delivered = 0;
  std::uint64_t items_delivered = 0;
  std::uint64_t logical_bytes_delivered = 0;
  std::uint64_t peak_batch_items = 0;
  std::uint64_t peak_batch_logical_bytes = 0;
  std::optional<PythonSinkFailure> failure;
};

// The report as it appears in the run result.
JsonValue to_json(const PythonSinkDeliveryReport& report);

struct PythonBatchLimits {
  std::uint64_t max_batch_items = 0;
  std::uint64_t max_batch_logical_bytes = 0;
};

class PythonSinkSet {
 public:
  // Fails when either limit is zero. `delivery` must outlive the set.
  [[nodiscard]] static Result<PythonSinkSet> create(PythonDelivery& delivery,
                                                    PythonBatchLimits limits);

  // Adds one record (its compact JSON {"kind":...,"record":...}). Records that
  // travel alone (run_started, evidence_receipt, run_finished) flush the batch
  // before and after themselves.
  [[nodiscard]] Result<void> emit(bool travels_alone, std::string record_json);

  // Delivers a list of capability outputs or receipts, each element given as its
  // compact JSON, after flushing the pending batch. A failure is only recorded.
  void deliver_list(PythonCallbackKind kind, std::span<const std::string> elements);
  // Records that a list of `item_count` elements could not be encoded.
  void fail_list_encoding(PythonCallbackKind kind, std::uint64_t item_count, std::string message);

  // Delivers the pending batch, if any.
  [[nodiscard]] Result<void> flush();

  const PythonSinkDeliveryReport& report() const { return report_; }

 private:
  PythonSinkSet(PythonDelivery& delivery, PythonBatchLimits limits);

  [[nodiscard]] Result<void> add_record(std::string record_json);
  [[nodiscard]] Result<void> previously_failed() const;
  // Records `fault` as the set's failure for a delivery of `item_count` items.
  void record_failure(PythonCallbackKind kind, std::uint64_t item_count, const DeliveryFault& fault);
  void count_delivery(std::uint64_t item_count, std::uint64_t logical_bytes);

  PythonDelivery* delivery_;
  PythonBatchLimits limits_;
  std::vector<std::string> pending_;
  std::uint64_t pending_logical_bytes_ = 0;
  PythonSinkDeliveryReport report_;
};

}  // namespace lumivar::recorder
