#include "lumivar_recorder/python_sink/python_sink_set.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace lumivar::recorder {
namespace {

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max()
                                                           : a + b;
}

std::string_view status_text(PythonSinkStatus status) {
  switch (status) {
    case PythonSinkStatus::kNotRequested: return "not_requested";
    case PythonSinkStatus::kComplete: return "complete";
    case PythonSinkStatus::kFailed: return "failed";
  }
  return "failed";
}

std::string join_as_array(std::span<const std::string> elements) {
  std::size_t size = 2;
  for (const std::string& element : elements) size += element.size() + 1;
  std::string text;
  text.reserve(size);
  text += '[';
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (i > 0) text += ',';
    text += elements[i];
  }
  text += ']';
  return text;
}

}  // namespace

JsonValue to_json(const PythonSinkDeliveryReport& report) {
  JsonObject object;
  object.emplace("status", std::string(status_text(report.status)));
  object.emplace("sink_count", report.sink_count);
  object.emplace("batches_delivered", report.batches_delivered);
  object.emplace("items_delivered", report.items_delivered);
  object.emplace("logical_bytes_delivered", report.logical_bytes_delivered);
  object.emplace("peak_batch_items", report.peak_batch_items);
  object.emplace("peak_batch_logical_bytes", report.peak_batch_logical_bytes);
  if (report.failure) {
    const PythonSinkFailure& failure = *report.failure;
    JsonObject f;
    f.emplace("sink_index", failure.sink_index);
    f.emplace("sink_identity", failure.sink_identity ? JsonValue(*failure.sink_identity) : JsonValue());
    f.emplace("callback", std::string(callback_text(failure.callback)));
    f.emplace("batch_size", failure.batch_size);
    f.emplace("successfully_delivered_items", failure.successfully_delivered_items);
    f.emplace("exception_type", failure.exception_type);
    f.emplace("exception_message", failure.exception_message);
    object.emplace("failure", std::move(f));
  } else {
    object.emplace("failure", JsonValue());
  }
  return object;
}

Result<PythonSinkSet> PythonSinkSet::create(PythonDelivery& delivery, PythonBatchLimits limits) {
  if (limits.max_batch_items == 0 || limits.max_batch_logical_bytes == 0) {
    return fail("Python batch item and logical-byte limits must be non-zero");
  }
  return PythonSinkSet(delivery, limits);
}

PythonSinkSet::PythonSinkSet(PythonDelivery& delivery, PythonBatchLimits limits)
    : delivery_(&delivery), limits_(limits) {
  report_.sink_count = delivery.sink_count();
  report_.status = report_.sink_count == 0 ? PythonSinkStatus::kNotRequested : PythonSinkStatus::kComplete;
}

Result<void> PythonSinkSet::previously_failed() const {
  const PythonSinkFailure& failure = *report_.failure;
  return fail("Python sink delivery previously failed: " + failure.exception_type + ": " +
              failure.exception_message);
}

Result<void> PythonSinkSet::emit(bool travels_alone, std::string record_json) {
  if (report_.sink_count == 0) return {};
  if (report_.failure) return previously_failed();
  if (!travels_alone) return add_record(std::move(record_json));
  if (auto flushed = flush(); !flushed) return flushed;
  if (auto added = add_record(std::move(record_json)); !added) return added;
  return flush();
}

Result<void> PythonSinkSet::add_record(std::string record_json) {
  const std::uint64_t size = record_json.size();
  if (!pending_.empty() &&
      (pending_.size() >= limits_.max_batch_items ||
       saturating_add(pending_logical_bytes_, size) > limits_.max_batch_logical_bytes)) {
    if (auto flushed = flush(); !flushed) return flushed;
  }
  pending_.push_back(std::move(record_json));
  pending_logical_bytes_ = saturating_add(pending_logical_bytes_, size);
  report_.peak_batch_items = std::max<std::uint64_t>(report_.peak_batch_items, pending_.size());
  report_.peak_batch_logical_bytes = std::max(report_.peak_batch_logical_bytes, pending_logical_bytes_);
  if (pending_.size() >= limits_.max_batch_items ||
      pending_logical_bytes_ >= limits_.max_batch_logical_bytes ||
      size > limits_.max_batch_logical_bytes) {
    return flush();
  }
  return {};
}

Result<void> PythonSinkSet::flush() {
  if (report_.failure) return previously_failed();
  if (pending_.empty()) return {};
  std::vector<std::string> batch = std::move(pending_);
  pending_ = {};
  const std::uint64_t logical_bytes = std::exchange(pending_logical_bytes_, 0);
  const std::string text = join_as_array(batch);
  if (auto fault = delivery_->deliver(PythonCallbackKind::kEmissionBatch, text)) {
    record_failure(PythonCallbackKind::kEmissionBatch, batch.size(), *fault);
    return fail("Python emission batch callback failed");
  }
  count_delivery(batch.size(), logical_bytes);
  return {};
}

void PythonSinkSet::fail_list_encoding(PythonCallbackKind kind, std::uint64_t item_count,
                                       std::string message) {
  if (report_.sink_count == 0 || report_.failure) return;
  if (!flush()) return;
  record_failure(kind, item_count, DeliveryFault{std::nullopt, "SerializationError", std::move(message)});
}

void PythonSinkSet::deliver_list(PythonCallbackKind kind, std::span<const std::string> elements) {
  if (report_.sink_count == 0 || report_.failure) return;
  if (!flush()) return;
  std::uint64_t logical_bytes = 0;
  for (const std::string& element : elements) logical_bytes = saturating_add(logical_bytes, element.size());
  if (auto fault = delivery_->deliver(kind, join_as_array(elements))) {
    record_failure(kind, elements.size(), *fault);
    return;
  }
  count_delivery(elements.size(), logical_bytes);
}

void PythonSinkSet::record_failure(PythonCallbackKind kind, std::uint64_t item_count,
                                   const DeliveryFault& fault) {
  PythonSinkFailure failure;
  failure.callback = kind;
  failure.batch_size = item_count;
  if (fault.sink_index) {
    failure.sink_index = *fault.sink_index;
    failure.sink_identity = "python-sink-" + std::to_string(*fault.sink_index);
    failure.successfully_delivered_items = item_count * *fault.sink_index;
  }
  failure.exception_type = fault.exception_type;
  failure.exception_message = fault.exception_message;
  report_.failure = std::move(failure);
  report_.status = PythonSinkStatus::kFailed;
}

void PythonSinkSet::count_delivery(std::uint64_t item_count, std::uint64_t logical_bytes) {
  for (std::uint64_t i = 0; i < report_.sink_count; ++i) {
    report_.batches_delivered = saturating_add(report_.batches_delivered, 1);
    report_.items_delivered = saturating_add(report_.items_delivered, item_count);
    report_.logical_bytes_delivered = saturating_add(report_.logical_bytes_delivered, logical_bytes);
  }
}

}  // namespace lumivar::recorder
