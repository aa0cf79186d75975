#pragma once
// The Python class PreparedBundleRun: an opaque, immutable handle on one
// prepared run. Python can neither construct, subclass nor inspect it; only
// prepare_run creates instances and only execute_prepared reads them.

#include <memory>

#include "chip8_python/lib/python.hpp"

namespace chip8::bundle {
struct PreparedRunRecord;
}

namespace lumivar::python {

using PreparedRunHandle = std::shared_ptr<const chip8::bundle::PreparedRunRecord>;

// The class object, created on first use and cached for the life of the process.
// Returns a borrowed reference, or NULL with an exception set.
PyObject* prepared_bundle_run_type();

// A new instance owning `record`, or NULL with an exception set.
PyObject* wrap_prepared_run(PreparedRunHandle record);

// The record of an instance, or nullptr when `object` is not a PreparedBundleRun
// (no exception is set in that case, unless creating the class itself failed).
const PreparedRunHandle* prepared_run_of(PyObject* object);

}  // namespace lumivar::python
