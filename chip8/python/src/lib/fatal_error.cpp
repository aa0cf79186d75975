#include "chip8_python/lib/fatal_error.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "lumivar_core/error/error.hpp"

namespace lumivar::python {
namespace {

constexpr const char* kGenericFatalText = "lumivar_chip8 hit an internal error without a description";

// Created on first use and kept for the life of the process. Every module
// function runs under the interpreter lock, so the lazy creation cannot race.
PyObject* fatal_error_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "lumivar_chip8.FatalInternalError",
        "A broken internal invariant of lumivar_chip8. Derived from BaseException, like "
        "SystemExit, so that handlers for Exception do not catch it.",
        PyExc_BaseException, nullptr);
  }
  return type;
}

[[noreturn]] void abort_during_conversion() {
  std::fputs("lumivar_chip8: fatal internal error while reporting a fatal internal error\n", stderr);
  std::abort();
}

}  // namespace

void raise_current_as_fatal() noexcept {
  std::string text;
  try {
    try {
      throw;
    } catch (const FatalError& error) {
      text = error.what();
    } catch (const std::bad_alloc&) {
      text = "out of memory";
    } catch (const std::exception& error) {
      text = error.what();
    } catch (...) {
    }
    if (text.empty()) text = kGenericFatalText;
    PyObject* type = fatal_error_type();
    if (type == nullptr) abort_during_conversion();
    PyErr_SetString(type, text.c_str());
  } catch (...) {
    abort_during_conversion();
  }
}

}  // namespace lumivar::python
