#pragma once
// PyRef owns one strong reference and releases it when it goes out of scope,
// so error paths need no Py_DECREF chains.

#include <utility>

#include "chip8_python/lib/python.hpp"

namespace lumivar::python {

class PyRef {
 public:
  PyRef() = default;
  // Steals `object` (a new reference or NULL).
  explicit PyRef(PyObject* object) : object_(object) {}
  // Takes a new reference to a borrowed `object`.
  static PyRef borrow(PyObject* object) { return PyRef(Py_XNewRef(object)); }

  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(object_);
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller.
  [[nodiscard]] PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace lumivar::python
