#include "chip8_python/lib/prepared_bundle_run.hpp"

#include <new>
#include <utility>

namespace lumivar::python {
namespace {

struct PreparedBundleRunObject {
  PyObject_HEAD
  PreparedRunHandle record;  // constructed in wrap_prepared_run, destroyed in dealloc
};

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  reinterpret_cast<PreparedBundleRunObject*>(self)->record.~PreparedRunHandle();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {0, nullptr},
};

// No Py_TPFLAGS_BASETYPE: not subclassable. DISALLOW_INSTANTIATION: calling the
// class raises TypeError. No dict or weak-reference slot is requested.
PyType_Spec type_spec = {
    "lumivar_chip8.PreparedBundleRun",
    static_cast<int>(sizeof(PreparedBundleRunObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyObject* prepared_bundle_run_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&type_spec);
  return type;
}

PyObject* wrap_prepared_run(PreparedRunHandle record) {
  PyObject* type = prepared_bundle_run_type();
  if (type == nullptr) return nullptr;
  auto* tp = reinterpret_cast<PyTypeObject*>(type);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(tp, Py_tp_alloc));
  PyObject* self = alloc(tp, 0);
  if (self == nullptr) return nullptr;
  new (&reinterpret_cast<PreparedBundleRunObject*>(self)->record) PreparedRunHandle(std::move(record));
  return self;
}

const PreparedRunHandle* prepared_run_of(PyObject* object) {
  PyObject* type = prepared_bundle_run_type();
  if (type == nullptr) return nullptr;
  if (!PyType_IsSubtype(Py_TYPE(object), reinterpret_cast<PyTypeObject*>(type))) return nullptr;
  return &reinterpret_cast<PreparedBundleRunObject*>(object)->record;
}

}  // namespace lumivar::python
