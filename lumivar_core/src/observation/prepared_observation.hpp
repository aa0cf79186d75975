#pragma once
// PreparedObservation: an observation request checked against a bundle's
// normalizer catalog, with the capabilities it includes, their resolution, the
// native schemas and inputs they draw on, and its domain-separated identity.

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/normalizer_catalog.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/schedule/input_catalog.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr SchemaVersion kPreparedObservationSchemaVersion{1, 0, 0};
inline constexpr std::string_view kPreparedObservationDomain = "lumivar.prepared_observation.v1";

enum class PreparedCapabilityStatus : std::uint8_t { Available = 0, Unavailable = 1 };

struct PreparedCapability {
  std::string id;
  bool requested = false;  // asked for directly
  bool required = false;   // required directly or through a required dependant
  PreparedCapabilityStatus status = PreparedCapabilityStatus::Unavailable;
  std::vector<CapabilityDependency> dependencies;  // the catalog's list; empty when undeclared
  std::optional<std::string> message;              // set when unavailable

  friend bool operator==(const PreparedCapability&, const PreparedCapability&) = default;
};

struct PreparedNormalizer {
  std::string id;
  std::string version;
  // The request's entries whose capability resolved as available, in request order.
  std::vector<CapabilityRequest> requests;

  friend bool operator==(const PreparedNormalizer&, const PreparedNormalizer&) = default;
};

struct PreparedObservation {
  SchemaVersion schema_version = kPreparedObservationSchemaVersion;
  ObservationRequest request;                       // as checked; kind sets in canonical order
  std::vector<PreparedCapability> capabilities;     // every included capability, by ID
  std::vector<std::string> native_observation_schemas;  // sorted, unique
  std::vector<std::string> input_value_ids;         // sorted, unique
  PreparedNormalizer normalizer;
  // Not a member of the document: the fingerprint of the document above under
  // kPreparedObservationDomain, stored beside it and checked against it.
  ContentDigest identity;

  friend bool operator==(const PreparedObservation&, const PreparedObservation&) = default;
};

// Everything preparation found wrong, in the order found.
using ObservationProblems = std::vector<std::string>;

// Prepares a request against a catalog and the bundle's declared inputs.
// Collects every problem of a stage before stopping.
[[nodiscard]] std::expected<PreparedObservation, ObservationProblems> prepare_observation(
    const NormalizerCatalog& catalog, std::span<const SelectableInput> inputs,
    const ObservationRequest& request);

// The same against a bundle's input catalog (its declarations' IDs and schema
// families).
[[nodiscard]] std::expected<PreparedObservation, ObservationProblems> prepare_observation(
    const NormalizerCatalog& catalog, const InputCatalog& inputs, const ObservationRequest& request);

// The declared inputs of a catalog as selectors see them, in catalog order.
[[nodiscard]] std::vector<SelectableInput> selectable_inputs(const InputCatalog& inputs);

// The problems as one message, joined with "; ".
[[nodiscard]] std::string join_observation_problems(const ObservationProblems& problems);

// prepare_observation with its problems joined into one error message.
[[nodiscard]] Result<PreparedObservation> prepare_observation_or_error(
    const NormalizerCatalog& catalog, std::span<const SelectableInput> inputs,
    const ObservationRequest& request);
[[nodiscard]] Result<PreparedObservation> prepare_observation_or_error(const NormalizerCatalog& catalog,
                                                                      const InputCatalog& inputs,
                                                                      const ObservationRequest& request);

// canonical_json_bytes(to_json(observation)), written without building the
// tree: the bytes the identity is the fingerprint of.
[[nodiscard]] Result<std::string> prepared_observation_canonical_json(const PreparedObservation& observation);

// The document's identity recomputed from its members (identity ignored).
[[nodiscard]] Result<ContentDigest> compute_prepared_observation_identity(
    const PreparedObservation& observation);

// Schema version, embedded request, input-value ID order, then the stored
// identity against the recomputed one; the first failure is the result.
[[nodiscard]] Result<void> check_prepared_observation(const PreparedObservation& observation);

// The document (without the identity); absent messages are written as null.
[[nodiscard]] JsonValue to_json(const PreparedCapability& capability);
[[nodiscard]] JsonValue to_json(const PreparedObservation& observation);

}  // namespace lumivar
