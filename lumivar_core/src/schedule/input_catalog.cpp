#include "lumivar_core/schedule/input_catalog.hpp"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {

SchemaRef input_catalog_schema() { return SchemaRef{"lumivar.input_catalog", {1, 0, 0}}; }

const InputDeclaration* InputCatalog::find(std::string_view input_id) const {
  // IDs of one catalog tend to share a prefix and a length (chip8.key.0 to
  // chip8.key.f), so the last byte is compared before the whole ID.
  for (const InputDeclaration& declaration : inputs) {
    const std::string& id = declaration.id;
    if (id.size() == input_id.size() && (id.empty() || id.back() == input_id.back()) && id == input_id) {
      return &declaration;
    }
  }
  return nullptr;
}

namespace {

// The index of the first declaration whose ID an earlier one already has, or
// inputs.size() when the IDs are distinct; sorts views, copies no ID.
std::size_t first_repeated_id(const std::vector<InputDeclaration>& inputs) {
  std::vector<std::pair<std::string_view, std::size_t>> order;
  order.reserve(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) order.emplace_back(inputs[i].id, i);
  std::ranges::sort(order);
  std::size_t first = inputs.size();
  for (std::size_t k = 1; k < order.size(); ++k) {
    if (order[k].first == order[k - 1].first) first = std::min(first, order[k].second);
  }
  return first;
}

}  // namespace

Result<void> check_input_catalog(const InputCatalog& catalog) {
  if (auto checked = check_schema_id(catalog.schema, "input catalog"); !checked) return checked;
  const std::size_t repeated = first_repeated_id(catalog.inputs);
  for (std::size_t i = 0; i < catalog.inputs.size(); ++i) {
    const InputDeclaration& declaration = catalog.inputs[i];
    if (auto checked = check_schema_id(declaration.payload_schema, "input payload"); !checked) return checked;
    if (auto checked = check_coordinate_policy(declaration.coordinate_policy); !checked) return checked;
    if (auto checked = check_schema_id(declaration.application_schema, "input application"); !checked) {
      return checked;
    }
    if (declaration.delivery_modes.empty()) {
      return fail("input " + declaration.id + " declares no delivery mode");
    }
    if (i == repeated) {
      return fail("input catalog declares " + declaration.id + " more than once");
    }
  }
  return {};
}

}  // namespace lumivar
