#include "lumivar_core/schedule/input_catalog.hpp"

#include <set>

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {

SchemaRef input_catalog_schema() { return SchemaRef{"lumivar.input_catalog", {1, 0, 0}}; }

const InputDeclaration* InputCatalog::find(std::string_view input_id) const {
  for (const InputDeclaration& declaration : inputs) {
    if (declaration.id == input_id) return &declaration;
  }
  return nullptr;
}

Result<void> check_input_catalog(const InputCatalog& catalog) {
  if (auto checked = check_schema_id(catalog.schema, "input catalog"); !checked) return checked;
  std::set<std::string, std::less<>> seen;
  for (const InputDeclaration& declaration : catalog.inputs) {
    if (auto checked = check_schema_id(declaration.payload_schema, "input payload"); !checked) return checked;
    if (auto checked = check_coordinate_policy(declaration.coordinate_policy); !checked) return checked;
    if (auto checked = check_schema_id(declaration.application_schema, "input application"); !checked) {
      return checked;
    }
    if (declaration.delivery_modes.empty()) {
      return fail("input " + declaration.id + " declares no delivery mode");
    }
    if (!seen.insert(declaration.id).second) {
      return fail("input catalog declares " + declaration.id + " more than once");
    }
  }
  return {};
}

}  // namespace lumivar
