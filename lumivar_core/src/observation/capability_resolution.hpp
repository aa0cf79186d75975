#pragma once
// Capability resolution: whether a capability of the normalizer catalog can be
// delivered under an observation request, following its dependencies on other
// capabilities. Results are memoized for one preparation; the IDs on the
// current resolution path detect dependency cycles.

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "lumivar_core/observation/normalizer_catalog.hpp"
#include "lumivar_core/observation/observation_request.hpp"

namespace lumivar {

struct CapabilityResolution {
  bool available = false;
  std::optional<std::string> message;  // why it is unavailable

  friend bool operator==(const CapabilityResolution&, const CapabilityResolution&) = default;
};

// What resolution reads: the catalog, the request and the declared inputs
// that input-value selectors are matched against. Borrowed, never owned.
struct CapabilityResolutionContext {
  const NormalizerCatalog& catalog;
  const ObservationRequest& request;
  std::span<const SelectableInput> inputs;
};

using CapabilityMemo = std::map<std::string, CapabilityResolution, std::less<>>;
using CapabilityPath = std::set<std::string, std::less<>>;

// Resolves one capability ID. A memoized result is returned as is; an ID on
// the path is unavailable as a cycle (not memoized); an ID missing from the
// catalog is unavailable; otherwise the first unsatisfied dependency decides.
[[nodiscard]] CapabilityResolution resolve_capability(const CapabilityResolutionContext& context,
                                                      std::string_view id, CapabilityMemo& memo,
                                                      CapabilityPath& path);

}  // namespace lumivar
