#include "lumivar_core/configuration/execution_controls.hpp"

#include <algorithm>
#include <set>

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {
namespace {

JsonValue optional_u64_json(const std::optional<std::uint64_t>& value) {
  return value ? JsonValue(*value) : JsonValue(nullptr);
}

JsonValue controls_json(const std::optional<std::uint64_t>& frame_limit,
                        const std::optional<std::uint64_t>& step_limit,
                        const std::vector<BundleExecutionLimit>& bundle_limits) {
  JsonArray limits;
  limits.reserve(bundle_limits.size());
  for (const BundleExecutionLimit& limit : bundle_limits) limits.push_back(to_json(limit));
  JsonObject object;
  object.emplace("frame_limit", optional_u64_json(frame_limit));
  object.emplace("step_limit", optional_u64_json(step_limit));
  object.emplace("bundle_limits", std::move(limits));
  return JsonValue(std::move(object));
}

}  // namespace

SchemaRef execution_limit_catalog_schema() { return SchemaRef{"lumivar.execution_limit_catalog", {1, 0, 0}}; }

JsonValue to_json(const BundleExecutionLimit& limit) {
  JsonObject object;
  object.emplace("limit_id", limit.limit_id);
  object.emplace("value", to_json(limit.value));
  return JsonValue(std::move(object));
}

JsonValue to_json(const ExecutionControls& controls) {
  return controls_json(controls.frame_limit, controls.step_limit, controls.bundle_limits);
}

JsonValue to_json(const PreparedExecutionControls& controls) {
  return controls_json(controls.frame_limit, controls.step_limit, controls.bundle_limits);
}

Result<void> check_execution_limit_catalog(const ExecutionLimitCatalog& catalog) {
  const SchemaRef expected = execution_limit_catalog_schema();
  if (catalog.schema != expected) {
    return fail("unsupported execution-limit catalog schema " + schema_id_and_version(catalog.schema) +
                "; expected " + schema_id_and_version(expected));
  }
  std::set<std::string, std::less<>> seen;
  for (const ExecutionLimitDeclaration& declaration : catalog.limits) {
    if (auto checked = check_schema_id(declaration.value_schema, "execution-limit value"); !checked) return checked;
    if (trim_unicode_white_space(declaration.description).empty()) {
      return fail("execution limit " + declaration.id + " has an empty description");
    }
    if (!seen.insert(declaration.id).second) {
      return fail("execution-limit catalog declares " + declaration.id + " more than once");
    }
  }
  return {};
}

Result<PreparedExecutionControls> prepare_execution_controls(const ExecutionControls& controls,
                                                            const ExecutionLimitCatalog& catalog) {
  if (auto checked = check_execution_limit_catalog(catalog); !checked) return std::unexpected(checked.error());
  std::set<std::string, std::less<>> seen;
  for (const BundleExecutionLimit& limit : controls.bundle_limits) {
    if (!seen.insert(limit.limit_id).second) {
      return fail("execution controls repeat bundle limit " + limit.limit_id);
    }
    const auto declaration = std::ranges::find(catalog.limits, limit.limit_id, &ExecutionLimitDeclaration::id);
    if (declaration == catalog.limits.end()) {
      return fail("execution controls reference unsupported limit " + limit.limit_id);
    }
    if (limit.value.schema != declaration->value_schema) {
      return fail("execution limit " + limit.limit_id + " uses schema " + schema_id_and_version(limit.value.schema) +
                  "; expected " + schema_id_and_version(declaration->value_schema));
    }
    if (auto checked = validate_typed_structured_value(limit.value); !checked) {
      return std::unexpected(checked.error());
    }
  }
  PreparedExecutionControls prepared{controls.frame_limit, controls.step_limit, controls.bundle_limits};
  // IDs are unique by now, so the order is total and a stable sort is not needed.
  std::ranges::sort(prepared.bundle_limits, std::less<>{}, &BundleExecutionLimit::limit_id);
  return prepared;
}

Result<void> check_prepared_execution_controls(const PreparedExecutionControls& controls) {
  for (std::size_t i = 1; i < controls.bundle_limits.size(); ++i) {
    if (!(controls.bundle_limits[i - 1].limit_id < controls.bundle_limits[i].limit_id)) {
      return fail("prepared bundle limits must be sorted and unique");
    }
  }
  return {};
}

}  // namespace lumivar
