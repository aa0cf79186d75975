#pragma once
// The boundary between the system's C++ and the interpreter: a fatal internal
// error must never unwind into Python. It is raised as the module's fatal-error
// type, derived from BaseException so that `except Exception` does not hide it.

#include "chip8_python/lib/python.hpp"

namespace lumivar::python {

// Runs `body` (returning a new reference or NULL with an exception set) and turns
// any C++ exception escaping it into the fatal-error exception.
template <class Body>
PyObject* guard_fatal(Body&& body) noexcept;

// Raises the fatal-error exception for the exception currently being handled.
// Call only from inside a catch block.
void raise_current_as_fatal() noexcept;

template <class Body>
PyObject* guard_fatal(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    raise_current_as_fatal();
    return nullptr;
  }
}

}  // namespace lumivar::python
