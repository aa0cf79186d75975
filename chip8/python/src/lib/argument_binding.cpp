#include "chip8_python/lib/argument_binding.hpp"

#include <string>
#include <vector>

#include "chip8_python/lib/py_ref.hpp"

namespace lumivar::python {
namespace {

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'": the interpreter's English joining.
std::string join_missing(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() == 2) {
        out += " and ";
      } else {
        out += (i + 1 == names.size()) ? ", and " : ", ";
      }
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

void raise_too_many_positional(const char* function_name, std::span<const Parameter> parameters,
                               Py_ssize_t given) {
  std::size_t required = 0;
  for (const Parameter& p : parameters) required += p.required ? 1 : 0;
  const std::size_t total = parameters.size();
  std::string takes;
  bool plural;
  if (required < total) {
    takes = "from " + std::to_string(required) + " to " + std::to_string(total);
    plural = true;
  } else {
    takes = std::to_string(total);
    plural = total != 1;
  }
  std::string message = std::string(function_name) + "() takes " + takes + " positional argument" +
                        (plural ? "s" : "") + " but " + std::to_string(given) + " " +
                        (given == 1 ? "was" : "were") + " given";
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

const char* type_name_of(PyObject* object, PyRef& holder) {
  holder = PyRef(PyType_GetName(Py_TYPE(object)));
  if (!holder) return nullptr;
  return PyUnicode_AsUTF8(holder.get());
}

}  // namespace

bool bind_arguments(const char* function_name, std::span<const Parameter> parameters,
                    PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                    std::span<PyObject*> bound) {
  const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  const Py_ssize_t count = static_cast<Py_ssize_t>(parameters.size());
  for (PyObject*& slot : bound) slot = nullptr;
  for (Py_ssize_t i = 0; i < nargs && i < count; ++i) bound[static_cast<std::size_t>(i)] = args[i];

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    std::size_t index = parameters.size();
    for (std::size_t j = 0; j < parameters.size(); ++j) {
      if (PyUnicode_EqualToUTF8(keyword, parameters[j].name)) {
        index = j;
        break;
      }
    }
    if (index == parameters.size()) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function_name,
                   keyword);
      return false;
    }
    if (bound[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", function_name,
                   keyword);
      return false;
    }
    bound[index] = args[nargs + k];
  }

  if (nargs > count) {
    raise_too_many_positional(function_name, parameters, nargs);
    return false;
  }

  std::vector<const char*> missing;
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    if (parameters[j].required && bound[j] == nullptr) missing.push_back(parameters[j].name);
  }
  if (!missing.empty()) {
    std::string message = std::string(function_name) + "() missing " +
                          std::to_string(missing.size()) + " required positional argument" +
                          (missing.size() == 1 ? "" : "s") + ": " + join_missing(missing);
    PyErr_SetString(PyExc_TypeError, message.c_str());
    return false;
  }
  return true;
}

bool raise_cast_error(const char* parameter, PyObject* actual, const char* expected) {
  PyRef holder;
  const char* actual_name = type_name_of(actual, holder);
  if (actual_name == nullptr) return false;
  PyErr_Format(PyExc_TypeError, "argument '%s': '%s' object cannot be cast as '%s'", parameter,
               actual_name, expected);
  return false;
}

bool raise_argument_error(const char* parameter, std::string_view detail) {
  std::string message = "argument '" + std::string(parameter) + "': " + std::string(detail);
  PyErr_SetString(PyExc_TypeError, message.c_str());
  return false;
}

}  // namespace lumivar::python
