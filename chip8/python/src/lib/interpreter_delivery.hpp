#pragma once
// PythonDelivery over real sink objects: the text becomes objects once per
// delivery (exactly what json.loads gives), then the named method is called on
// every sink with the same parsed object.

#include <vector>

#include "chip8_python/lib/py_ref.hpp"
#include "lumivar_recorder/python_sink/python_delivery.hpp"

namespace lumivar::python {

class InterpreterDelivery final : public recorder::PythonDelivery {
 public:
  // Takes new references to the sink objects.
  explicit InterpreterDelivery(std::vector<PyRef> sinks) : sinks_(std::move(sinks)) {}

  std::uint64_t sink_count() const override { return sinks_.size(); }
  std::optional<recorder::DeliveryFault> deliver(recorder::PythonCallbackKind kind,
                                                 std::string_view json_text) override;

 private:
  std::vector<PyRef> sinks_;
};

// The type name and "qualified name: str()" of the exception currently raised,
// which is cleared. Never fails: unreadable parts get fixed stand-in texts.
recorder::DeliveryFault take_raised_exception(std::optional<std::uint64_t> sink_index);

}  // namespace lumivar::python
