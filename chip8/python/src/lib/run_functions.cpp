#include "chip8_python/lib/run_functions.hpp"

namespace lumivar::python {

PyObject* run_prepare(const PrepareRunArguments& /*arguments*/) {
  PyErr_SetString(PyExc_NotImplementedError,
                  "prepare_run is not available yet in this build of lumivar_chip8");
  return nullptr;
}

PyObject* run_execute(const ExecutePreparedArguments& /*arguments*/) {
  PyErr_SetString(PyExc_NotImplementedError,
                  "execute_prepared is not available yet in this build of lumivar_chip8");
  return nullptr;
}

}  // namespace lumivar::python
