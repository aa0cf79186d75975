#pragma once
// PythonDelivery over real sink objects: one json.loads per delivery, then the
// named method on every sink with the same parsed object.

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
  PyRef loads_;  // json.loads, looked up at the first delivery
};

// json.loads, imported and looked up now; null with the exception set when
// either step fails.
PyRef json_loads();

// json.loads(argument); null with the exception set on failure.
PyRef call_json_loads(PyObject* loads, PyObject* argument);

// The type name and "qualified name: str()" of the exception currently raised,
// which is cleared. Never fails: unreadable parts get fixed stand-in texts.
recorder::DeliveryFault take_raised_exception(std::optional<std::uint64_t> sink_index);

}  // namespace lumivar::python
