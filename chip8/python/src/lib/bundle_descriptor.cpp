#include "chip8_python/lib/bundle_descriptor.hpp"

namespace lumivar::python {

std::string bundle_descriptor_text() {
  return R"({"bundle_version":"0.3.0","distribution":"lumivar-chip8","execute_function":"execute_prepared","machine_id":"chip8","module":"lumivar_chip8","prepare_function":"prepare_run","protocol":"lumivar.python_bundle","protocol_version":{"major":2,"minor":0,"patch":0}})";
}

}  // namespace lumivar::python
