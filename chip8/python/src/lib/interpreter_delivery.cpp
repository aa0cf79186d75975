#include "chip8_python/lib/interpreter_delivery.hpp"

#include <string>


namespace lumivar::python {
namespace {

// UTF-8 of a str object, or nullopt (with the error cleared) when it has none.
std::optional<std::string> utf8_of(PyObject* text) {
  if (text == nullptr) {
    PyErr_Clear();
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return std::nullopt;
  }
  return std::string(data, static_cast<std::size_t>(size));
}

PyObject* method_name(recorder::PythonCallbackKind kind) {
  // Interned once per process: the names are looked up on every call.
  static PyObject* names[3] = {nullptr, nullptr, nullptr};
  PyObject*& slot = names[static_cast<int>(kind)];
  if (slot == nullptr) {
    const std::string_view text = recorder::callback_method(kind);
    slot = PyUnicode_InternFromString(std::string(text).c_str());
  }
  return slot;
}

}  // namespace

PyRef json_loads() {
  PyRef module_name(PyUnicode_FromString("json"));
  if (!module_name) return PyRef();
  PyRef json(PyImport_Import(module_name.get()));
  if (!json) return PyRef();
  return PyRef(PyObject_GetAttrString(json.get(), "loads"));
}

PyRef call_json_loads(PyObject* loads, PyObject* argument) { return PyRef(PyObject_CallOneArg(loads, argument)); }

recorder::DeliveryFault take_raised_exception(std::optional<std::uint64_t> sink_index) {
  recorder::DeliveryFault fault;
  fault.sink_index = sink_index;
  PyRef exception(PyErr_GetRaisedException());
  if (!exception) {
    fault.exception_type = "PythonException";
    fault.exception_message = "PythonException: <exception str() failed>";
    return fault;
  }
  PyTypeObject* type = Py_TYPE(exception.get());
  PyRef name(PyType_GetName(type));
  fault.exception_type = utf8_of(name.get()).value_or("PythonException");
  PyRef qualified(PyType_GetQualName(type));
  const std::string qualified_name = utf8_of(qualified.get()).value_or(fault.exception_type);
  PyRef text(PyObject_Str(exception.get()));
  fault.exception_message =
      qualified_name + ": " + utf8_of(text.get()).value_or("<exception str() failed>");
  return fault;
}

std::optional<recorder::DeliveryFault> InterpreterDelivery::deliver(
    recorder::PythonCallbackKind kind, std::string_view json_text) {
  if (!loads_) {
    loads_ = json_loads();
    if (!loads_) return take_raised_exception(std::nullopt);
  }
  PyRef bytes(PyBytes_FromStringAndSize(json_text.data(), static_cast<Py_ssize_t>(json_text.size())));
  if (!bytes) return take_raised_exception(std::nullopt);
  PyRef parsed = call_json_loads(loads_.get(), bytes.get());
  if (!parsed) return take_raised_exception(std::nullopt);

  PyObject* name = method_name(kind);
  if (name == nullptr) return take_raised_exception(std::nullopt);
  for (std::size_t i = 0; i < sinks_.size(); ++i) {
    // Slot 0 is spare so the callee may use PY_VECTORCALL_ARGUMENTS_OFFSET.
    PyObject* call_args[3] = {nullptr, sinks_[i].get(), parsed.get()};
    PyRef result(PyObject_VectorcallMethod(name, call_args + 1,
                                           2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!result) return take_raised_exception(i);
  }
  return std::nullopt;
}

}  // namespace lumivar::python
