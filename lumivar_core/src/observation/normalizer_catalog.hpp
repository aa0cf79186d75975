#pragma once
// The normalizer catalog: the derived capabilities a bundle can deliver and
// the evidence each one needs. Built by the bundle in code, never read from JSON.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr SchemaVersion kNormalizerCatalogSchemaVersion{2, 1, 0};

// A capability's identity; catalog lookups compare the id only.
struct CapabilitySchema {
  std::string id;  // a capability ID
  SchemaVersion version;

  friend bool operator==(const CapabilitySchema&, const CapabilitySchema&) = default;
};

// Ordered: "input_id" selectors sort before "schema_family" ones.
enum class InputValueSelectorKind : std::uint8_t { InputId = 0, SchemaFamily = 1 };

// Which declared inputs an input-value prerequisite covers. Ordered by kind,
// then by value, the canonical order of a selector list.
struct InputValueSelector {
  InputValueSelectorKind kind = InputValueSelectorKind::InputId;
  std::string value;  // an input ID or a schema family ID

  friend bool operator==(const InputValueSelector&, const InputValueSelector&) = default;
  friend std::strong_ordering operator<=>(const InputValueSelector&, const InputValueSelector&) = default;
};

// What an input-value selector is matched against: a declared input's ID and
// its optional schema family.
struct SelectableInput {
  std::string id;
  std::optional<std::string> schema_family;
};

// An "input_id" selector matches the input with that ID; a "schema_family"
// selector every input whose schema family equals its value.
[[nodiscard]] bool selector_matches(const InputValueSelector& selector, const SelectableInput& input);

// The prerequisites a capability may name, in variant order.
struct NormalizedEventsDependency {
  friend bool operator==(const NormalizedEventsDependency&, const NormalizedEventsDependency&) = default;
};
struct NormalizedEventKindsDependency {
  // Kind texts: the EventKind spellings, an extension kind as "extension:" + text.
  std::vector<std::string> kinds;
  friend bool operator==(const NormalizedEventKindsDependency&, const NormalizedEventKindsDependency&) = default;
};
struct NormalizedStateDependency {
  bool read = false;
  bool write = false;
  bool state_diffs = false;
  AccessDetail access = AccessDetail::AfterOnly;  // AfterOnly or BeforeAndAfter
  friend bool operator==(const NormalizedStateDependency&, const NormalizedStateDependency&) = default;
};
struct NativeEvidenceDependency {
  std::string schema_id;  // a native observation schema
  friend bool operator==(const NativeEvidenceDependency&, const NativeEvidenceDependency&) = default;
};
struct NativeEventKindsDependency {
  std::vector<std::string> kinds;
  friend bool operator==(const NativeEventKindsDependency&, const NativeEventKindsDependency&) = default;
};
struct FramesDependency {
  FrameCapture capture = FrameCapture::Hashes;  // Hashes or Full
  friend bool operator==(const FramesDependency&, const FramesDependency&) = default;
};
struct SnapshotsDependency {
  SnapshotCaptureKind capture = SnapshotCaptureKind::Final;  // Final or EverySteps
  friend bool operator==(const SnapshotsDependency&, const SnapshotsDependency&) = default;
};
struct FinalStateDependency {
  friend bool operator==(const FinalStateDependency&, const FinalStateDependency&) = default;
};
struct InputValueEvidenceDependency {
  std::vector<InputValueSelector> selectors;  // non-empty, unique, ascending
  friend bool operator==(const InputValueEvidenceDependency&, const InputValueEvidenceDependency&) = default;
};
struct CapabilityIdDependency {
  std::string id;  // another capability that must resolve as available
  friend bool operator==(const CapabilityIdDependency&, const CapabilityIdDependency&) = default;
};

using CapabilityDependency =
    std::variant<NormalizedEventsDependency, NormalizedEventKindsDependency, NormalizedStateDependency,
                 NativeEvidenceDependency, NativeEventKindsDependency, FramesDependency, SnapshotsDependency,
                 FinalStateDependency, InputValueEvidenceDependency, CapabilityIdDependency>;

struct NormalizerCapability {
  CapabilitySchema capability;
  std::string output_type;
  std::vector<CapabilityDependency> dependencies;  // examined in this order

  friend bool operator==(const NormalizerCapability&, const NormalizerCapability&) = default;
};

struct NormalizerCatalog {
  SchemaVersion schema_version = kNormalizerCatalogSchemaVersion;
  std::string normalizer_id;
  std::string normalizer_version;
  std::vector<NormalizerCapability> capabilities;

  // The first capability with this ID, or null.
  [[nodiscard]] const NormalizerCapability* find(std::string_view id) const;

  friend bool operator==(const NormalizerCatalog&, const NormalizerCatalog&) = default;
};

// The catalog rules, in order; the first failure is the result.
[[nodiscard]] Result<void> check_normalizer_catalog(const NormalizerCatalog& catalog);

// {"id": text, "version": {...}}
[[nodiscard]] JsonValue to_json(const CapabilitySchema& schema);
// {"kind": "input_id" | "schema_family", "value": text}
[[nodiscard]] JsonValue to_json(const InputValueSelector& selector);
// "normalized_events", {"normalized_event_kinds": {"kinds": [...]}}, ... "final_state", {"capability": id}
[[nodiscard]] JsonValue to_json(const CapabilityDependency& dependency);

}  // namespace lumivar
