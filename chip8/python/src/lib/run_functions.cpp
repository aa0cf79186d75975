#include "chip8_python/lib/run_functions.hpp"

#include <memory>
#include <utility>
#include <vector>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "chip8_python/lib/argument_binding.hpp"
#include "chip8_python/lib/interpreter_delivery.hpp"
#include "chip8_python/lib/py_ref.hpp"
#include "chip8_python/lib/run_result.hpp"
#include "lumivar_core/emission/budgeted_sink.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_recorder/python_sink/python_batch_sink.hpp"
#include "lumivar_recorder/python_sink/python_sink_set.hpp"

namespace lumivar::python {
namespace {

// Fixed delivery settings of the Python bundle.
constexpr recorder::PythonBatchLimits kPythonBatchLimits{32, 262144};
constexpr const char* kProducerVersion = "chip8-python-bundle";

PyObject* raise_value_error(const std::string& message) {
  PyErr_SetString(PyExc_ValueError, message.c_str());
  return nullptr;
}

PyObject* raise_runtime_error(const std::string& message) {
  PyErr_SetString(PyExc_RuntimeError, message.c_str());
  return nullptr;
}

// The items of `sinks` as new references; false with TypeError (or the
// iteration's own exception) set.
bool convert_sinks(PyObject* sinks, std::vector<PyRef>& out) {
  if (PyUnicode_Check(sinks)) {
    return raise_argument_error("sinks", "a str cannot be taken as a sequence of sinks");
  }
  if (!PySequence_Check(sinks)) return raise_cast_error("sinks", sinks, "Sequence");
  PyRef iterator(PyObject_GetIter(sinks));
  if (!iterator) return false;
  while (PyObject* item = PyIter_Next(iterator.get())) out.emplace_back(item);
  return !PyErr_Occurred();
}

// Features whose evidence this build cannot produce yet are refused before
// anything runs, rather than silently producing less than was asked for.
std::optional<std::string> unavailable_feature(const ExecutePreparedArguments& arguments) {
  if (arguments.output_path) {
    return "execute_prepared cannot publish run directories yet in this build of lumivar_chip8; "
           "pass output_path=None";
  }
  const ObservationRequest& request = arguments.prepared->prepared_observation.request;
  if (request.snapshots.capture.kind != SnapshotCaptureKind::None) {
    return "execute_prepared cannot capture session snapshots yet in this build of lumivar_chip8; "
           "request snapshot capture \"none\"";
  }
  return std::nullopt;
}

// Settles the outcomes once the session has run (or failed).
RunResult settle(const Result<chip8::bundle::RunSummary>& summary, BudgetedSink& stream,
                 recorder::PythonSinkSet& python_sinks) {
  RunResult result;
  result.recorder_finalization.status = RecorderFinalizationStatus::kNotRequested;
  result.publication = {false, "file recorder was not requested"};
  if (!summary) {
    result.evidence_fulfillment = stream.build_receipt();
    result.machine_execution.status = result.evidence_fulfillment.failure
                                          ? MachineExecutionStatus::kInterruptedByEvidenceFailure
                                          : MachineExecutionStatus::kFailed;
    result.machine_execution.message = summary.error().message;
  } else {
    auto receipt = stream.finish();
    result.evidence_fulfillment = receipt ? std::move(*receipt) : stream.build_receipt();
    result.machine_execution.status = MachineExecutionStatus::kCompleted;
    result.machine_execution.summary = *summary;
  }
  // The last flush's failure shows only in the delivery report.
  (void)python_sinks.flush();
  result.python_sink_delivery = python_sinks.report();
  return result;
}

}  // namespace

PyObject* run_prepare(const PrepareRunArguments& arguments) {
  const chip8::bundle::RunDocumentTexts documents{
      arguments.configuration_json,
      arguments.input_schedule_json,
      arguments.execution_controls_json,
      arguments.observation_json,
  };
  auto record = chip8::bundle::prepare_bundle_run(as_bytes(arguments.artifact), arguments.run_id, documents);
  if (!record) return raise_value_error(record.error().message);
  return wrap_prepared_run(
      std::make_shared<const chip8::bundle::PreparedRunRecord>(std::move(*record)));
}

PyObject* run_execute(const ExecutePreparedArguments& arguments) {
  if (auto refused = unavailable_feature(arguments)) {
    PyErr_SetString(PyExc_NotImplementedError, refused->c_str());
    return nullptr;
  }
  const chip8::bundle::PreparedRunRecord& record = *arguments.prepared;
  const chip8::bundle::Chip8MachineContract contract = chip8::bundle::build_machine_contract();
  auto session = chip8::bundle::create_session(record, *contract.live_inputs);
  if (!session) return raise_value_error(session.error().message);

  std::vector<PyRef> sinks;
  if (!convert_sinks(arguments.sinks, sinks)) return nullptr;
  InterpreterDelivery delivery(std::move(sinks));
  auto python_sinks = recorder::PythonSinkSet::create(delivery, kPythonBatchLimits);
  if (!python_sinks) return raise_runtime_error(python_sinks.error().message);
  recorder::PythonBatchSink python_batch_sink(*python_sinks);
  auto stream = BudgetedSink::create(record.request.observation, record.request.run_id,
                                     std::string(contract.machine_id()), kProducerVersion,
                                     DownstreamSinks{nullptr, &python_batch_sink});
  if (!stream) return raise_runtime_error(stream.error().message);

  const auto summary = session->execute(*stream);
  const RunResult result = settle(summary, *stream, *python_sinks);
  auto text = run_result_json(result);
  if (!text) return raise_runtime_error(text.error().message);

  PyRef loads = json_loads();
  if (!loads) return nullptr;
  PyRef argument(PyUnicode_FromStringAndSize(text->data(), static_cast<Py_ssize_t>(text->size())));
  if (!argument) return nullptr;
  PyRef parsed = call_json_loads(loads.get(), argument.get());
  if (!parsed) return nullptr;
  if (!PyDict_Check(parsed.get())) {
    return raise_runtime_error("internal run-result conversion did not produce a mapping");
  }
  return parsed.release();
}

}  // namespace lumivar::python
