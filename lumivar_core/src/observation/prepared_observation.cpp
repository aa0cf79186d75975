#include "lumivar_core/observation/prepared_observation.hpp"

#include <map>
#include <set>
#include <utility>

#include "lumivar_core/digest/fingerprint.hpp"
#include "lumivar_core/observation/capability_resolution.hpp"

namespace lumivar {
namespace {

constexpr std::string_view kNoResolutionMessage = "capability dependency or emission prerequisite is unavailable";

struct Inclusion {
  bool requested = false;
  bool required = false;
};

struct PendingInclusion {
  std::string id;
  Inclusion inclusion;
};

// Every requested capability and, transitively, every capability it depends
// on, keyed by ID. Required-ness passes from a dependant to its dependencies;
// an ID is expanded again when it first becomes required so that the flag
// reaches everything below it.
std::map<std::string, Inclusion, std::less<>> gather_included(const NormalizerCatalog& catalog,
                                                              const std::vector<CapabilityRequest>& requests) {
  std::vector<PendingInclusion> work;
  for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
    work.push_back({it->id, Inclusion{true, it->required}});
  }
  std::map<std::string, Inclusion, std::less<>> included;
  while (!work.empty()) {
    PendingInclusion pending = std::move(work.back());
    work.pop_back();
    auto [entry, first_seen] = included.try_emplace(pending.id, pending.inclusion);
    bool became_required = false;
    if (!first_seen) {
      entry->second.requested = entry->second.requested || pending.inclusion.requested;
      if (pending.inclusion.required && !entry->second.required) {
        entry->second.required = true;
        became_required = true;
      }
    }
    if (!first_seen && !became_required) continue;
    const NormalizerCapability* declared = catalog.find(entry->first);
    if (declared == nullptr) continue;
    const bool required = entry->second.required;
    for (const CapabilityDependency& dependency : declared->dependencies) {
      if (const auto* other = std::get_if<CapabilityIdDependency>(&dependency)) {
        work.push_back({other->id, Inclusion{false, required}});
      }
    }
  }
  return included;
}

JsonValue string_array(const std::vector<std::string>& texts) {
  JsonArray array;
  array.reserve(texts.size());
  for (const std::string& text : texts) array.emplace_back(text);
  return array;
}

}  // namespace

std::expected<PreparedObservation, ObservationProblems> prepare_observation(
    const NormalizerCatalog& catalog, std::span<const SelectableInput> inputs, const ObservationRequest& request) {
  ObservationProblems problems;
  if (auto checked = check_observation_request(request); !checked) problems.push_back(checked.error().message);
  if (auto checked = check_normalizer_catalog(catalog); !checked) problems.push_back(checked.error().message);
  if (!problems.empty()) return std::unexpected(std::move(problems));

  std::set<std::string_view> seen;
  std::set<std::string_view> reported;
  for (const CapabilityRequest& capability : request.capabilities) {
    if (!seen.insert(capability.id).second && reported.insert(capability.id).second) {
      problems.push_back("observation request selects capability " + capability.id + " more than once");
    }
  }
  if (!problems.empty()) return std::unexpected(std::move(problems));

  const auto included = gather_included(catalog, request.capabilities);
  const CapabilityResolutionContext context{catalog, request, inputs};
  CapabilityMemo memo;
  CapabilityPath path;
  std::map<std::string_view, CapabilityResolution> resolved;
  for (const auto& [id, inclusion] : included) {
    CapabilityResolution resolution = resolve_capability(context, id, memo, path);
    if (inclusion.required && !resolution.available) {
      problems.push_back("required capability " + id + " is unavailable: " +
                         resolution.message.value_or(std::string(kNoResolutionMessage)));
    }
    resolved.emplace(id, std::move(resolution));
  }
  if (!problems.empty()) return std::unexpected(std::move(problems));

  PreparedObservation prepared;
  prepared.request = request;
  std::set<std::string> native_schemas;
  std::set<std::string> input_ids;
  for (const auto& [id, inclusion] : included) {
    const CapabilityResolution& resolution = resolved.at(id);
    const NormalizerCapability* declared = catalog.find(id);
    PreparedCapability& capability = prepared.capabilities.emplace_back();
    capability.id = id;
    capability.requested = inclusion.requested;
    capability.required = inclusion.required;
    if (declared != nullptr) capability.dependencies = declared->dependencies;
    if (!resolution.available) {
      capability.status = PreparedCapabilityStatus::Unavailable;
      capability.message = resolution.message.value_or(std::string(kNoResolutionMessage));
      continue;
    }
    capability.status = PreparedCapabilityStatus::Available;
    for (const CapabilityDependency& dependency : capability.dependencies) {
      if (const auto* native = std::get_if<NativeEvidenceDependency>(&dependency)) {
        native_schemas.insert(native->schema_id);
      } else if (const auto* values = std::get_if<InputValueEvidenceDependency>(&dependency)) {
        for (const InputValueSelector& selector : values->selectors) {
          for (const SelectableInput& input : inputs) {
            if (selector_matches(selector, input)) input_ids.insert(input.id);
          }
        }
      }
    }
  }
  prepared.native_observation_schemas.assign(native_schemas.begin(), native_schemas.end());
  prepared.input_value_ids.assign(input_ids.begin(), input_ids.end());
  prepared.normalizer.id = catalog.normalizer_id;
  prepared.normalizer.version = catalog.normalizer_version;
  for (const CapabilityRequest& capability : request.capabilities) {
    if (resolved.at(capability.id).available) prepared.normalizer.requests.push_back(capability);
  }

  auto identity = compute_prepared_observation_identity(prepared);
  if (!identity) return std::unexpected(ObservationProblems{identity.error().message});
  prepared.identity = *identity;
  return prepared;
}

std::expected<PreparedObservation, ObservationProblems> prepare_observation(
    const NormalizerCatalog& catalog, const InputCatalog& inputs, const ObservationRequest& request) {
  const std::vector<SelectableInput> selectable = selectable_inputs(inputs);
  return prepare_observation(catalog, std::span<const SelectableInput>(selectable), request);
}

std::vector<SelectableInput> selectable_inputs(const InputCatalog& inputs) {
  std::vector<SelectableInput> selectable;
  selectable.reserve(inputs.inputs.size());
  for (const InputDeclaration& declaration : inputs.inputs) {
    selectable.push_back(SelectableInput{declaration.id, declaration.schema_family});
  }
  return selectable;
}

std::string join_observation_problems(const ObservationProblems& problems) {
  std::string joined;
  for (const std::string& problem : problems) {
    if (!joined.empty()) joined += "; ";
    joined += problem;
  }
  return joined;
}

Result<PreparedObservation> prepare_observation_or_error(const NormalizerCatalog& catalog,
                                                         std::span<const SelectableInput> inputs,
                                                         const ObservationRequest& request) {
  auto prepared = prepare_observation(catalog, inputs, request);
  if (!prepared) return fail(join_observation_problems(prepared.error()));
  return std::move(*prepared);
}

Result<PreparedObservation> prepare_observation_or_error(const NormalizerCatalog& catalog,
                                                         const InputCatalog& inputs,
                                                         const ObservationRequest& request) {
  auto prepared = prepare_observation(catalog, inputs, request);
  if (!prepared) return fail(join_observation_problems(prepared.error()));
  return std::move(*prepared);
}

Result<ContentDigest> compute_prepared_observation_identity(const PreparedObservation& observation) {
  auto digest = fingerprint_document(kPreparedObservationDomain, to_json(observation));
  if (!digest) return std::unexpected(std::move(digest.error()));
  return ContentDigest::sha256(*digest);
}

Result<void> check_prepared_observation(const PreparedObservation& observation) {
  if (observation.schema_version != kPreparedObservationSchemaVersion) {
    return fail("unsupported prepared-observation schema " + to_string(observation.schema_version) +
                "; expected " + to_string(kPreparedObservationSchemaVersion));
  }
  if (auto checked = check_observation_request(observation.request); !checked) return checked;
  const std::vector<std::string>& ids = observation.input_value_ids;
  for (std::size_t i = 1; i < ids.size(); ++i) {
    if (!(ids[i - 1] < ids[i])) return fail("prepared input-value IDs must be sorted and unique");
  }
  auto identity = compute_prepared_observation_identity(observation);
  if (!identity) return std::unexpected(std::move(identity.error()));
  if (*identity != observation.identity) return fail("prepared observation identity does not match its contents");
  return {};
}

JsonValue to_json(const PreparedCapability& capability) {
  JsonArray dependencies;
  dependencies.reserve(capability.dependencies.size());
  for (const CapabilityDependency& dependency : capability.dependencies) dependencies.push_back(to_json(dependency));
  return JsonObject{
      {"id", capability.id},
      {"requested", capability.requested},
      {"required", capability.required},
      {"status", capability.status == PreparedCapabilityStatus::Available ? "available" : "unavailable"},
      {"dependencies", std::move(dependencies)},
      {"message", capability.message ? JsonValue(*capability.message) : JsonValue(nullptr)},
  };
}

JsonValue to_json(const PreparedObservation& observation) {
  JsonArray capabilities;
  capabilities.reserve(observation.capabilities.size());
  for (const PreparedCapability& capability : observation.capabilities) capabilities.push_back(to_json(capability));
  JsonArray requests;
  requests.reserve(observation.normalizer.requests.size());
  for (const CapabilityRequest& request : observation.normalizer.requests) requests.push_back(to_json(request));
  return JsonObject{
      {"schema_version", to_json(observation.schema_version)},
      {"request", to_json(observation.request)},
      {"capabilities", std::move(capabilities)},
      {"native_observation_schemas", string_array(observation.native_observation_schemas)},
      {"input_value_ids", string_array(observation.input_value_ids)},
      {"normalizer", JsonObject{{"id", observation.normalizer.id},
                                {"version", observation.normalizer.version},
                                {"requests", std::move(requests)}}},
  };
}

}  // namespace lumivar
