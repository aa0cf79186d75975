#include "lumivar_core/observation/prepared_observation.hpp"

#include <map>
#include <set>
#include <string_view>
#include <type_traits>
#include <variant>
#include <utility>

#include "lumivar_core/digest/fingerprint.hpp"
#include "lumivar_core/encoding/json_writer.hpp"
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

// --- The canonical JSON of to_json(observation), written straight from the
// structs. Members of every object are written in byte order of their keys,
// the order of a JsonObject; parts that are rare or nest further go through
// their trees. prepared_observation_test compares both forms.

void write_version(JsonWriter& w, const SchemaVersion& version) {
  w.begin_object();
  w.key("major");
  w.write_u64(version.major);
  w.key("minor");
  w.write_u64(version.minor);
  w.key("patch");
  w.write_u64(version.patch);
  w.end_object();
}

void write_strings(JsonWriter& w, const std::vector<std::string>& texts) {
  w.begin_array();
  for (const std::string& text : texts) w.write_string(text);
  w.end_array();
}

bool write_capability_request(JsonWriter& w, const CapabilityRequest& request) {
  w.begin_object();
  w.key("id");
  w.write_string(request.id);
  w.key("parameters");
  if (!w.write_value(request.parameters)) return false;
  w.key("required");
  w.write_bool(request.required);
  w.end_object();
  return true;
}

void write_budgets(JsonWriter& w, const EmissionBudgets& budgets) {
  const std::pair<std::string_view, const std::optional<std::uint64_t>*> members[] = {
      {"max_capability_bytes", &budgets.max_capability_bytes},
      {"max_frame_bytes", &budgets.max_frame_bytes},
      {"max_input_value_bytes", &budgets.max_input_value_bytes},
      {"max_input_value_events", &budgets.max_input_value_events},
      {"max_native_bytes", &budgets.max_native_bytes},
      {"max_native_events", &budgets.max_native_events},
      {"max_normalized_bytes", &budgets.max_normalized_bytes},
      {"max_normalized_events", &budgets.max_normalized_events},
      {"max_snapshot_bytes", &budgets.max_snapshot_bytes},
      {"max_total_logical_bytes", &budgets.max_total_logical_bytes},
  };
  w.begin_object();
  for (const auto& [name, value] : members) {
    w.key(name);
    if (*value) w.write_u64(**value); else w.write_null();
  }
  w.end_object();
}

bool write_request(JsonWriter& w, const ObservationRequest& request) {
  w.begin_object();
  w.key("budgets");
  write_budgets(w, request.budgets);
  w.key("capabilities");
  w.begin_array();
  for (const CapabilityRequest& capability : request.capabilities) {
    if (!write_capability_request(w, capability)) return false;
  }
  w.end_array();
  w.key("frames");
  w.begin_object();
  w.key("capture");
  w.write_string(spelling(request.frames.capture));
  w.end_object();
  w.key("guarantee");
  w.write_string(spelling(request.guarantee));
  w.key("input_value_evidence");
  w.begin_object();
  w.key("enabled");
  w.write_bool(request.input_value_evidence.enabled);
  w.end_object();
  const NativeEvidenceRequest& native = request.native_evidence;
  w.key("native_evidence");
  w.begin_object();
  w.key("all");
  w.write_bool(native.all);
  w.key("enabled");
  w.write_bool(native.enabled);
  w.key("kinds");
  write_strings(w, native.kinds);
  w.end_object();
  const NormalizedEventRequest& normalized = request.normalized_events;
  w.key("normalized_events");
  w.begin_object();
  w.key("access_detail");
  w.write_string(spelling(normalized.access_detail));
  w.key("events");
  if (normalized.events.level != EventSelectionLevel::Kinds) {
    w.write_string(event_selection_level_spelling(normalized.events.level));
  } else if (!w.write_value(to_json(normalized.events))) {
    return false;
  }
  w.key("state_diffs");
  w.write_bool(normalized.state_diffs);
  w.end_object();
  w.key("overflow");
  w.write_string(spelling(request.overflow));
  w.key("schema_version");
  write_version(w, request.schema_version);
  w.key("snapshots");
  w.begin_object();
  w.key("capture");
  if (request.snapshots.capture.kind != SnapshotCaptureKind::EverySteps) {
    w.write_string(spelling(request.snapshots.capture.kind));
  } else if (!w.write_value(to_json(request.snapshots.capture))) {
    return false;
  }
  w.end_object();
  w.end_object();
  return true;
}

bool write_dependency(JsonWriter& w, const CapabilityDependency& dependency) {
  if (std::holds_alternative<NormalizedEventsDependency>(dependency)) {
    w.write_string("normalized_events");
  } else if (std::holds_alternative<FinalStateDependency>(dependency)) {
    w.write_string("final_state");
  } else if (const auto* native = std::get_if<NativeEvidenceDependency>(&dependency)) {
    w.begin_object();
    w.key("native_evidence");
    w.begin_object();
    w.key("schema_id");
    w.write_string(native->schema_id);
    w.end_object();
    w.end_object();
  } else if (const auto* other = std::get_if<CapabilityIdDependency>(&dependency)) {
    w.begin_object();
    w.key("capability");
    w.write_string(other->id);
    w.end_object();
  } else {
    return w.write_value(to_json(dependency));
  }
  return true;
}

bool write_capability(JsonWriter& w, const PreparedCapability& capability) {
  w.begin_object();
  w.key("dependencies");
  w.begin_array();
  for (const CapabilityDependency& dependency : capability.dependencies) {
    if (!write_dependency(w, dependency)) return false;
  }
  w.end_array();
  w.key("id");
  w.write_string(capability.id);
  w.key("message");
  if (capability.message) w.write_string(*capability.message); else w.write_null();
  w.key("requested");
  w.write_bool(capability.requested);
  w.key("required");
  w.write_bool(capability.required);
  w.key("status");
  w.write_string(capability.status == PreparedCapabilityStatus::Available ? "available" : "unavailable");
  w.end_object();
  return true;
}

bool write_observation(JsonWriter& w, const PreparedObservation& observation) {
  w.begin_object();
  w.key("capabilities");
  w.begin_array();
  for (const PreparedCapability& capability : observation.capabilities) {
    if (!write_capability(w, capability)) return false;
  }
  w.end_array();
  w.key("input_value_ids");
  write_strings(w, observation.input_value_ids);
  w.key("native_observation_schemas");
  write_strings(w, observation.native_observation_schemas);
  w.key("normalizer");
  w.begin_object();
  w.key("id");
  w.write_string(observation.normalizer.id);
  w.key("requests");
  w.begin_array();
  for (const CapabilityRequest& request : observation.normalizer.requests) {
    if (!write_capability_request(w, request)) return false;
  }
  w.end_array();
  w.key("version");
  w.write_string(observation.normalizer.version);
  w.end_object();
  w.key("request");
  if (!write_request(w, observation.request)) return false;
  w.key("schema_version");
  write_version(w, observation.schema_version);
  w.end_object();
  return true;
}

}  // namespace

Result<std::string> prepared_observation_canonical_json(const PreparedObservation& observation) {
  JsonWriter writer(JsonStyle::canonical);
  if (!write_observation(writer, observation)) {
    return fail("cannot convert value to canonical JSON: non-finite float");
  }
  return writer.take();
}

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
  Result<std::string> text = prepared_observation_canonical_json(observation);
  if (!text) return std::unexpected(std::move(text.error()));
  auto digest = fingerprint_canonical_json(kPreparedObservationDomain, *text);
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
