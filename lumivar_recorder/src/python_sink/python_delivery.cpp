#include "lumivar_recorder/python_sink/python_delivery.hpp"

namespace lumivar::recorder {

std::string_view callback_text(PythonCallbackKind kind) {
  switch (kind) {
    case PythonCallbackKind::kEmissionBatch: return "emission_batch";
    case PythonCallbackKind::kCapabilityOutputs: return "capability_outputs";
    case PythonCallbackKind::kCapabilityReceipts: return "capability_receipts";
  }
  return "emission_batch";
}

std::string_view callback_method(PythonCallbackKind kind) {
  switch (kind) {
    case PythonCallbackKind::kEmissionBatch: return "emit_batch";
    case PythonCallbackKind::kCapabilityOutputs: return "record_capability_outputs";
    case PythonCallbackKind::kCapabilityReceipts: return "record_capability_receipts";
  }
  return "emit_batch";
}

}  // namespace lumivar::recorder
