#pragma once
// Binding of vectorcall arguments (METH_FASTCALL | METH_KEYWORDS) to a fixed
// parameter list, with the interpreter's own TypeError wording for Python
// functions, and the conversion errors shared by every parameter.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "chip8_python/lib/python.hpp"

namespace lumivar::python {

struct Parameter {
  const char* name;
  bool required;  // required parameters come before optional ones
};

// Fills `bound` (one slot per parameter, borrowed references, NULL where an
// optional argument was not given). Returns false with TypeError set on a
// binding error. Keywords are matched first, then the positional count is
// checked, then missing arguments, as the interpreter does for functions
// written in Python.
bool bind_arguments(const char* function_name, std::span<const Parameter> parameters,
                    PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                    std::span<PyObject*> bound);

// Raises TypeError "argument '<parameter>': '<actual type>' object cannot be cast
// as '<expected>'" and returns false.
bool raise_cast_error(const char* parameter, PyObject* actual, const char* expected);

// Raises TypeError "argument '<parameter>': <detail>" and returns false.
bool raise_argument_error(const char* parameter, std::string_view detail);

}  // namespace lumivar::python
