#pragma once
// The seam between the Python sink set's batching (plain C++, testable without an
// interpreter) and the interpreter itself: a PythonDelivery parses one JSON text
// into Python objects once and hands the result to every sink in turn.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumivar::recorder {

enum class PythonCallbackKind : std::uint8_t {
  kEmissionBatch = 0,
  kCapabilityOutputs = 1,
  kCapabilityReceipts = 2,
};

// "emission_batch", "capability_outputs", "capability_receipts".
std::string_view callback_text(PythonCallbackKind kind);
// "emit_batch", "record_capability_outputs", "record_capability_receipts".
std::string_view callback_method(PythonCallbackKind kind);

// What went wrong in one delivery, as the delivery saw it.
struct DeliveryFault {
  // The sink whose method raised; absent when parsing the text failed before any
  // sink was called.
  std::optional<std::uint64_t> sink_index;
  std::string exception_type;
  std::string exception_message;
};

class PythonDelivery {
 public:
  virtual ~PythonDelivery() = default;
  virtual std::uint64_t sink_count() const = 0;
  // Parses `json_text` once and calls the method of `kind` on every sink with the
  // parsed object, stopping at the first exception (which is cleared).
  virtual std::optional<DeliveryFault> deliver(PythonCallbackKind kind,
                                               std::string_view json_text) = 0;
};

}  // namespace lumivar::recorder
