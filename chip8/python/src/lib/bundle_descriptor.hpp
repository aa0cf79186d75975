#pragma once
// The bundle descriptor: the JSON text by which a host recognises the bundle
// protocol and finds the two run functions.

#include <string>

namespace lumivar::python {

std::string bundle_descriptor_text();

}  // namespace lumivar::python
