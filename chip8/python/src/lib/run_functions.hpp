#pragma once
// The bodies of prepare_run and execute_prepared, entered with every argument
// already bound and converted.

#include <optional>
#include <string>
#include <string_view>

#include "chip8_python/lib/prepared_bundle_run.hpp"
#include "chip8_python/lib/python.hpp"

namespace lumivar::python {

// Views into the caller's bytes and str objects, valid for the call.
struct PrepareRunArguments {
  std::string_view artifact;
  std::string_view run_id;
  std::string_view configuration_json;
  std::string_view input_schedule_json;
  std::string_view execution_controls_json;
  std::string_view observation_json;
};

struct ExecutePreparedArguments {
  const PreparedRunHandle& prepared;
  PyObject* sinks;  // borrowed; converted only after the session exists
  std::optional<std::string> output_path;
};

// New PreparedBundleRun, or NULL with an exception set.
PyObject* run_prepare(const PrepareRunArguments& arguments);

// The run-result dict, or NULL with an exception set.
PyObject* run_execute(const ExecutePreparedArguments& arguments);

}  // namespace lumivar::python
