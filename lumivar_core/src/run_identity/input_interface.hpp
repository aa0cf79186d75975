#pragma once
// The live-input interface of a prepared run: every declared input that may be
// submitted while the run executes, keyed by input ID.

#include <functional>
#include <map>
#include <string>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/schedule/input_catalog.hpp"
#include "lumivar_core/schedule/input_coordinate.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

struct PreparedLiveInput {
  std::string input_id;
  SchemaRef payload_schema;
  CoordinatePolicy coordinate_policy;

  friend bool operator==(const PreparedLiveInput&, const PreparedLiveInput&) = default;
};

struct PreparedInputInterface {
  // Ordered by input ID in ascending bytes.
  std::map<std::string, PreparedLiveInput, std::less<>> live_inputs;

  [[nodiscard]] bool declares_live_inputs() const { return !live_inputs.empty(); }
  friend bool operator==(const PreparedInputInterface&, const PreparedInputInterface&) = default;
};

[[nodiscard]] JsonValue to_json(const PreparedLiveInput& input);
// {"live_inputs": {"<input ID>": {...}, ...}}
[[nodiscard]] JsonValue to_json(const PreparedInputInterface& interface);

// Checks the catalog, then takes every declaration that allows live delivery.
[[nodiscard]] Result<PreparedInputInterface> prepare_input_interface(const InputCatalog& catalog);

// In key order: each key equals its entry's input ID, a non-empty payload
// schema ID, a sound coordinate policy.
[[nodiscard]] Result<void> check_input_interface(const PreparedInputInterface& interface);

}  // namespace lumivar
