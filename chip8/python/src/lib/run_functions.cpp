#include "chip8_python/lib/run_functions.hpp"

#include <memory>
#include <utility>

#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "lumivar_core/value/byte_string.hpp"

namespace lumivar::python {

PyObject* run_prepare(const PrepareRunArguments& arguments) {
  const chip8::bundle::RunDocumentTexts documents{
      arguments.configuration_json,
      arguments.input_schedule_json,
      arguments.execution_controls_json,
      arguments.observation_json,
  };
  auto record = chip8::bundle::prepare_bundle_run(as_bytes(arguments.artifact), arguments.run_id, documents);
  if (!record) {
    PyErr_SetString(PyExc_ValueError, record.error().message.c_str());
    return nullptr;
  }
  return wrap_prepared_run(
      std::make_shared<const chip8::bundle::PreparedRunRecord>(std::move(*record)));
}

PyObject* run_execute(const ExecutePreparedArguments& /*arguments*/) {
  PyErr_SetString(PyExc_NotImplementedError,
                  "execute_prepared is not available yet in this build of lumivar_chip8");
  return nullptr;
}

}  // namespace lumivar::python
