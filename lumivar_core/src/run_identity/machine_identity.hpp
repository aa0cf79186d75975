#pragma once
// Which machine, in which versions, a run executes on.

#include <string>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

struct MachineIdentity {
  std::string machine_id;
  std::string bundle_version;
  std::string machine_version;
  std::string emulator_version;
  SchemaRef contract_schema;  // the machine contract's schema

  friend bool operator==(const MachineIdentity&, const MachineIdentity&) = default;
};

[[nodiscard]] JsonValue to_json(const MachineIdentity& identity);

// Non-empty machine ID, versions and contract schema ID, in that order.
[[nodiscard]] Result<void> check_machine_identity(const MachineIdentity& identity);

}  // namespace lumivar
