#include "lumivar_recorder/python_sink/python_batch_sink.hpp"

#include <string>
#include <vector>

#include "lumivar_core/encoding/json_writer.hpp"

namespace lumivar::recorder {

bool travels_alone(EmissionKind kind) {
  return kind == EmissionKind::RunStarted || kind == EmissionKind::EvidenceReceipt ||
         kind == EmissionKind::RunFinished;
}

Result<void> PythonBatchSink::emit(const OwnedEmission& emission) {
  // The record is the emission's canonical payload bytes wrapped once; the
  // payload is never encoded a second time.
  return set_->emit(travels_alone(emission.kind()), emission.record_json());
}

void PythonBatchSink::record_capability_outputs(std::span<const CapabilityOutput> outputs) {
  std::vector<std::string> elements;
  elements.reserve(outputs.size());
  for (const CapabilityOutput& output : outputs) {
    auto json = capability_output_json(output);
    if (!json) {
      set_->fail_list_encoding(PythonCallbackKind::kCapabilityOutputs, outputs.size(), json.error().message);
      return;
    }
    elements.push_back(std::move(*json));
  }
  set_->deliver_list(PythonCallbackKind::kCapabilityOutputs, elements);
}

void PythonBatchSink::record_encoded_capability_output(const CapabilityOutput& output, const std::string& json) {
  (void)output;
  set_->deliver_list(PythonCallbackKind::kCapabilityOutputs, std::span<const std::string>(&json, 1));
}

void PythonBatchSink::record_capability_receipts(std::span<const CapabilityReceipt> receipts) {
  std::vector<std::string> elements;
  elements.reserve(receipts.size());
  for (const CapabilityReceipt& receipt : receipts) {
    JsonWriter writer(JsonStyle::canonical);
    write_capability_receipt(writer, receipt);
    elements.push_back(writer.take());
  }
  set_->deliver_list(PythonCallbackKind::kCapabilityReceipts, elements);
}

}  // namespace lumivar::recorder
