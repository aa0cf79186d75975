// The lumivar_chip8 extension module: its initialisation, the registered class
// and functions, and the crossing of each call into the system's C++.

#include <array>
#include <string>

#include "chip8_python/lib/argument_binding.hpp"
#include "chip8_python/lib/bundle_descriptor.hpp"
#include "chip8_python/lib/fatal_error.hpp"
#include "chip8_python/lib/prepared_bundle_run.hpp"
#include "chip8_python/lib/py_ref.hpp"
#include "chip8_python/lib/python.hpp"
#include "chip8_python/lib/run_functions.hpp"
#include "lumivar_core/error/error.hpp"

namespace lumivar::python {
namespace {

constexpr std::array<Parameter, 6> kPrepareRunParameters{{
    {"artifact", true},
    {"run_id", true},
    {"configuration_json", true},
    {"input_schedule_json", true},
    {"execution_controls_json", true},
    {"observation_json", true},
}};

constexpr std::array<Parameter, 3> kExecutePreparedParameters{{
    {"prepared", true},
    {"sinks", true},
    {"output_path", false},
}};

// Converts a bound argument that must be a str into UTF-8 text.
bool convert_text(const char* parameter, PyObject* object, std::string_view& out) {
  if (!PyUnicode_Check(object)) return raise_cast_error(parameter, object, "str");
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return false;  // lone surrogates: the interpreter's UnicodeEncodeError
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

PyObject* prepare_run(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames) {
  return guard_fatal([&]() -> PyObject* {
    std::array<PyObject*, kPrepareRunParameters.size()> bound{};
    if (!bind_arguments("prepare_run", kPrepareRunParameters, args, nargsf, kwnames, bound)) {
      return nullptr;
    }
    PrepareRunArguments arguments;
    PyObject* artifact = bound[0];
    if (!PyBytes_Check(artifact)) return raise_cast_error("artifact", artifact, "bytes"), nullptr;
    arguments.artifact = std::string_view(PyBytes_AsString(artifact),
                                          static_cast<std::size_t>(PyBytes_Size(artifact)));
    std::string_view* texts[] = {&arguments.run_id, &arguments.configuration_json,
                                 &arguments.input_schedule_json,
                                 &arguments.execution_controls_json, &arguments.observation_json};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      if (!convert_text(kPrepareRunParameters[i + 1].name, bound[i + 1], *texts[i])) return nullptr;
    }
    return run_prepare(arguments);
  });
}

PyObject* execute_prepared(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames) {
  return guard_fatal([&]() -> PyObject* {
    std::array<PyObject*, kExecutePreparedParameters.size()> bound{};
    if (!bind_arguments("execute_prepared", kExecutePreparedParameters, args, nargsf, kwnames,
                        bound)) {
      return nullptr;
    }
    const PreparedRunHandle* prepared = prepared_run_of(bound[0]);
    if (prepared == nullptr) {
      if (PyErr_Occurred()) return nullptr;
      return raise_cast_error("prepared", bound[0], "PreparedBundleRun"), nullptr;
    }
    ExecutePreparedArguments arguments{*prepared, bound[1], std::nullopt};
    PyObject* output_path = bound[2];
    if (output_path != nullptr && output_path != Py_None) {
      std::string_view path;
      if (!convert_text("output_path", output_path, path)) return nullptr;
      arguments.output_path = std::string(path);
    }
    return run_execute(arguments);
  });
}

PyObject* bundle_provider(PyObject* /*module*/, PyObject* /*unused*/) {
  return guard_fatal([]() -> PyObject* {
    const std::string text = bundle_descriptor_text();
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

// Each docstring is the text signature alone, so introspection reports the
// parameters and there is no further help text.
PyMethodDef kPrepareRunDef = {
    "prepare_run", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(prepare_run)),
    METH_FASTCALL | METH_KEYWORDS,
    "prepare_run(artifact, run_id, configuration_json, input_schedule_json, "
    "execution_controls_json, observation_json)\n--\n\n"};
PyMethodDef kExecutePreparedDef = {
    "execute_prepared",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(execute_prepared)),
    METH_FASTCALL | METH_KEYWORDS, "execute_prepared(prepared, sinks, output_path=None)\n--\n\n"};
PyMethodDef kBundleProviderDef = {"bundle_provider", bundle_provider, METH_NOARGS,
                                  "bundle_provider()\n--\n\n"};

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT,
    "lumivar_chip8",
    "",  // empty module docstring
    0,   // no per-module state
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Adds `value` (stolen) as attribute `name` and appends `name` to __all__.
bool add_member(PyObject* module, PyObject* all, const char* name, PyObject* value) {
  if (value == nullptr) return false;
  if (PyModule_Add(module, name, value) < 0) return false;
  PyRef text(PyUnicode_FromString(name));
  if (!text) return false;
  if (PyList_Append(all, text.get()) < 0) {
    PyErr_Clear();
    std::string message = std::string("could not append ") + name + " to __all__";
    try {
      fatal(message);
    } catch (...) {
      raise_current_as_fatal();
    }
    return false;
  }
  return true;
}

PyObject* create_module() {
  PyRef module(PyModule_Create2(&kModuleDef, PYTHON_API_VERSION));
  if (!module) return nullptr;
  PyRef all(PyList_New(0));
  if (!all) return nullptr;
  if (PyModule_AddObjectRef(module.get(), "__all__", all.get()) < 0) return nullptr;
  PyObject* name = PyModule_GetNameObject(module.get());
  PyRef name_holder(name);
  if (name == nullptr) return nullptr;
  if (!add_member(module.get(), all.get(), "PreparedBundleRun",
                  Py_XNewRef(prepared_bundle_run_type())) ||
      !add_member(module.get(), all.get(), "prepare_run",
                  PyCFunction_NewEx(&kPrepareRunDef, nullptr, name)) ||
      !add_member(module.get(), all.get(), "execute_prepared",
                  PyCFunction_NewEx(&kExecutePreparedDef, nullptr, name)) ||
      !add_member(module.get(), all.get(), "bundle_provider",
                  PyCFunction_NewEx(&kBundleProviderDef, nullptr, name))) {
    return nullptr;
  }
  return module.release();
}

}  // namespace
}  // namespace lumivar::python

// The module binds itself to the first interpreter that imports it; a second
// import there gets the same module object, any other interpreter ImportError.
PyMODINIT_FUNC PyInit_lumivar_chip8(void) {
  return lumivar::python::guard_fatal([]() -> PyObject* {
    static PyObject* cached_module = nullptr;
    static int64_t bound_interpreter = -1;
    const int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current < 0) return nullptr;
    if (bound_interpreter >= 0 && current != bound_interpreter) {
      PyErr_SetString(PyExc_ImportError,
                      "lumivar_chip8 is bound to the interpreter that first imported it and "
                      "cannot be imported in another interpreter");
      return nullptr;
    }
    if (cached_module != nullptr) return Py_NewRef(cached_module);
    PyObject* module = lumivar::python::create_module();
    if (module == nullptr) return nullptr;
    bound_interpreter = current;
    cached_module = Py_NewRef(module);
    return module;
  });
}
