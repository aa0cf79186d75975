#pragma once
// Typed JSON readers of the machine configuration and the execution controls.
// Unknown members are refused; frame_limit and step_limit may be omitted or
// null; every other member is required. Limit IDs must be dotted identifiers.

#include <optional>
#include <string_view>

#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/configuration/machine_configuration.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/json/json_reader.hpp"

namespace lumivar {

[[nodiscard]] Result<MachineConfiguration> read_machine_configuration(JsonReader& reader);
[[nodiscard]] Result<BundleExecutionLimit> read_bundle_execution_limit(JsonReader& reader);
[[nodiscard]] Result<ExecutionControls> read_execution_controls(JsonReader& reader);

// A whole text: `null` gives nothing (the bundle's default configuration is
// the caller's to build); otherwise one configuration followed by white space.
[[nodiscard]] Result<std::optional<MachineConfiguration>> read_machine_configuration_document(std::string_view text);

// A whole text: `null` gives the empty controls (no limits at all).
[[nodiscard]] Result<ExecutionControls> read_execution_controls_document(std::string_view text);

}  // namespace lumivar
