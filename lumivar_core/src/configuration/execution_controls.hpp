#pragma once
// Run limits: the frame and step limits every bundle understands and the
// bundle-specific limits named in the bundle's execution-limit catalog.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/typed_structured_value.hpp"

namespace lumivar {

struct BundleExecutionLimit {
  std::string limit_id;  // execution limit ID (dotted identifier)
  TypedStructuredValue value;

  friend bool operator==(const BundleExecutionLimit&, const BundleExecutionLimit&) = default;
};

struct ExecutionControls {
  std::optional<std::uint64_t> frame_limit;
  std::optional<std::uint64_t> step_limit;
  std::vector<BundleExecutionLimit> bundle_limits;

  friend bool operator==(const ExecutionControls&, const ExecutionControls&) = default;
};

// The same members as ExecutionControls, with the bundle limits checked against
// the catalog and sorted by limit_id (ascending bytes, unique).
struct PreparedExecutionControls {
  std::optional<std::uint64_t> frame_limit;
  std::optional<std::uint64_t> step_limit;
  std::vector<BundleExecutionLimit> bundle_limits;

  friend bool operator==(const PreparedExecutionControls&, const PreparedExecutionControls&) = default;
};

struct ExecutionLimitDeclaration {
  std::string id;  // execution limit ID
  SchemaRef value_schema;
  std::string description;
};

// The only catalog schema accepted: "lumivar.execution_limit_catalog" 1.0.0.
[[nodiscard]] SchemaRef execution_limit_catalog_schema();

struct ExecutionLimitCatalog {
  SchemaRef schema;
  std::vector<ExecutionLimitDeclaration> limits;
};

// {"limit_id": ..., "value": {"schema": ..., "value": ...}}
[[nodiscard]] JsonValue to_json(const BundleExecutionLimit& limit);
// {"frame_limit": n|null, "step_limit": n|null, "bundle_limits": [...]}
[[nodiscard]] JsonValue to_json(const ExecutionControls& controls);
[[nodiscard]] JsonValue to_json(const PreparedExecutionControls& controls);

// Schema, then per declaration a non-empty value schema ID and description and
// an ID not declared before.
[[nodiscard]] Result<void> check_execution_limit_catalog(const ExecutionLimitCatalog& catalog);

// Checks the catalog, then every bundle limit in the given order (no repeats,
// declared, the declared value schema, a valid typed value); sorts the limits.
[[nodiscard]] Result<PreparedExecutionControls> prepare_execution_controls(const ExecutionControls& controls,
                                                                          const ExecutionLimitCatalog& catalog);

// Prepared controls read back: limit IDs strictly ascending in byte order.
[[nodiscard]] Result<void> check_prepared_execution_controls(const PreparedExecutionControls& controls);

}  // namespace lumivar
