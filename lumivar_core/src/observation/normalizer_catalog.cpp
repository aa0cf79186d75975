#include "lumivar_core/observation/normalizer_catalog.hpp"

#include <set>
#include <type_traits>

#include "lumivar_core/identifier/identifier.hpp"

namespace lumivar {
namespace {

// "SchemaVersion { major: 2, minor: 1, patch: 0 }", the structured text form.
std::string structured_text(const SchemaVersion& version) {
  return "SchemaVersion { major: " + std::to_string(version.major) + ", minor: " + std::to_string(version.minor) +
         ", patch: " + std::to_string(version.patch) + " }";
}

bool is_blank(std::string_view text) { return trim_unicode_white_space(text).empty(); }

Result<void> check_event_kind_list(std::string_view capability, const std::vector<std::string>& kinds) {
  std::set<std::string_view> seen;
  for (const std::string& kind : kinds) {
    if (is_blank(kind)) {
      return fail("normalizer capability " + std::string(capability) + " has an empty event-kind prerequisite");
    }
    if (!seen.insert(kind).second) {
      return fail("normalizer capability " + std::string(capability) + " repeats an event-kind prerequisite");
    }
  }
  return {};
}

Result<void> check_selectors(std::string_view capability, const std::vector<InputValueSelector>& selectors) {
  if (selectors.empty()) {
    return fail("normalizer capability " + std::string(capability) + " has an empty input-value prerequisite");
  }
  std::set<InputValueSelector> seen;
  for (std::size_t i = 0; i < selectors.size(); ++i) {
    if (!seen.insert(selectors[i]).second) {
      return fail("normalizer capability " + std::string(capability) + " repeats an input-value selector");
    }
    if (i > 0 && selectors[i] < selectors[i - 1]) {
      return fail("normalizer capability " + std::string(capability) + " has non-canonical input-value selectors");
    }
  }
  return {};
}

Result<void> check_dependency(std::string_view capability, const CapabilityDependency& dependency) {
  if (const auto* kinds = std::get_if<NormalizedEventKindsDependency>(&dependency)) {
    return check_event_kind_list(capability, kinds->kinds);
  }
  if (const auto* kinds = std::get_if<NativeEventKindsDependency>(&dependency)) {
    return check_event_kind_list(capability, kinds->kinds);
  }
  if (const auto* native = std::get_if<NativeEvidenceDependency>(&dependency)) {
    if (is_blank(native->schema_id)) {
      return fail("normalizer capability " + std::string(capability) + " has an empty native-evidence schema");
    }
    return {};
  }
  if (const auto* input = std::get_if<InputValueEvidenceDependency>(&dependency)) {
    return check_selectors(capability, input->selectors);
  }
  if (const auto* other = std::get_if<CapabilityIdDependency>(&dependency)) {
    return validate_identifier("capability ID", other->id);
  }
  return {};
}

JsonValue string_array(const std::vector<std::string>& texts) {
  JsonArray array;
  array.reserve(texts.size());
  for (const std::string& text : texts) array.emplace_back(text);
  return array;
}

JsonValue tagged(std::string tag, JsonValue value) { return JsonObject{{std::move(tag), std::move(value)}}; }

}  // namespace

bool selector_matches(const InputValueSelector& selector, const SelectableInput& input) {
  switch (selector.kind) {
    case InputValueSelectorKind::InputId:
      return input.id == selector.value;
    case InputValueSelectorKind::SchemaFamily:
      return input.schema_family && *input.schema_family == selector.value;
  }
  return false;
}

const NormalizerCapability* NormalizerCatalog::find(std::string_view id) const {
  for (const NormalizerCapability& entry : capabilities) {
    if (entry.capability.id == id) return &entry;
  }
  return nullptr;
}

Result<void> check_normalizer_catalog(const NormalizerCatalog& catalog) {
  if (catalog.schema_version != kNormalizerCatalogSchemaVersion) {
    return fail("unsupported normalizer catalog schema " + structured_text(catalog.schema_version) + "; expected " +
                structured_text(kNormalizerCatalogSchemaVersion));
  }
  if (is_blank(catalog.normalizer_id)) return fail("normalizer catalog has an empty normalizer ID");
  if (is_blank(catalog.normalizer_version)) return fail("normalizer catalog has an empty normalizer version");
  std::set<std::string_view> seen;
  for (const NormalizerCapability& entry : catalog.capabilities) {
    const std::string& id = entry.capability.id;
    if (auto valid = validate_identifier("capability ID", id); !valid) return valid;
    if (!seen.insert(id).second) return fail("normalizer catalog declares capability " + id + " more than once");
    for (const CapabilityDependency& dependency : entry.dependencies) {
      if (auto checked = check_dependency(id, dependency); !checked) return checked;
    }
    if (is_blank(entry.output_type)) return fail("normalizer capability " + id + " has an empty output type");
  }
  return {};
}

JsonValue to_json(const CapabilitySchema& schema) {
  return JsonObject{{"id", schema.id}, {"version", to_json(schema.version)}};
}

JsonValue to_json(const InputValueSelector& selector) {
  std::string kind = selector.kind == InputValueSelectorKind::InputId ? "input_id" : "schema_family";
  return JsonObject{{"kind", std::move(kind)}, {"value", selector.value}};
}

JsonValue to_json(const CapabilityDependency& dependency) {
  return std::visit(
      [](const auto& d) -> JsonValue {
        using T = std::decay_t<decltype(d)>;
        if constexpr (std::is_same_v<T, NormalizedEventsDependency>) {
          return "normalized_events";
        } else if constexpr (std::is_same_v<T, NormalizedEventKindsDependency>) {
          return tagged("normalized_event_kinds", JsonObject{{"kinds", string_array(d.kinds)}});
        } else if constexpr (std::is_same_v<T, NormalizedStateDependency>) {
          return tagged("normalized_state", JsonObject{{"read", d.read},
                                                       {"write", d.write},
                                                       {"state_diffs", d.state_diffs},
                                                       {"access", std::string(spelling(d.access))}});
        } else if constexpr (std::is_same_v<T, NativeEvidenceDependency>) {
          return tagged("native_evidence", JsonObject{{"schema_id", d.schema_id}});
        } else if constexpr (std::is_same_v<T, NativeEventKindsDependency>) {
          return tagged("native_event_kinds", JsonObject{{"kinds", string_array(d.kinds)}});
        } else if constexpr (std::is_same_v<T, FramesDependency>) {
          return tagged("frames", JsonObject{{"capture", std::string(spelling(d.capture))}});
        } else if constexpr (std::is_same_v<T, SnapshotsDependency>) {
          return tagged("snapshots", JsonObject{{"capture", std::string(spelling(d.capture))}});
        } else if constexpr (std::is_same_v<T, FinalStateDependency>) {
          return "final_state";
        } else if constexpr (std::is_same_v<T, InputValueEvidenceDependency>) {
          JsonArray selectors;
          for (const InputValueSelector& selector : d.selectors) selectors.push_back(to_json(selector));
          return tagged("input_value_evidence", JsonObject{{"selectors", std::move(selectors)}});
        } else {
          return tagged("capability", d.id);
        }
      },
      dependency);
}

}  // namespace lumivar
