#pragma once
// The inputs a bundle declares: what each carries, where it may apply and how
// it may be delivered. Bundles build the catalog in memory; it is never read
// from or written to a document.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/schedule/input_coordinate.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

// The set of delivery modes of one input: scheduled in the run's request,
// submitted live while it executes, or both.
struct DeliveryModes {
  bool scheduled = false;
  bool live = false;

  [[nodiscard]] bool empty() const { return !scheduled && !live; }
  friend bool operator==(const DeliveryModes&, const DeliveryModes&) = default;
};

struct InputDeclaration {
  std::string id;  // input ID
  SchemaRef payload_schema;
  CoordinatePolicy coordinate_policy;
  SchemaRef application_schema;
  std::optional<std::string> schema_family;  // schema family ID matched by "schema_family" selectors
  DeliveryModes delivery_modes;

  friend bool operator==(const InputDeclaration&, const InputDeclaration&) = default;
};

// The catalog schema bundles normally use: "lumivar.input_catalog" 1.0.0.
[[nodiscard]] SchemaRef input_catalog_schema();

struct InputCatalog {
  SchemaRef schema;
  std::vector<InputDeclaration> inputs;

  // The declaration with exactly this ID, or null.
  [[nodiscard]] const InputDeclaration* find(std::string_view input_id) const;
};

// A non-empty catalog schema ID, then per declaration non-empty payload and
// application schema IDs, a sound coordinate policy, a delivery mode and an ID
// not declared before.
[[nodiscard]] Result<void> check_input_catalog(const InputCatalog& catalog);

}  // namespace lumivar
