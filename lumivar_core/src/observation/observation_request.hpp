#pragma once
// ObservationRequest: what evidence a run must produce (normalized and native
// events, frames, snapshots, input-value evidence, derived capabilities), the
// budgets that bound it and what happens when a budget is exceeded.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/event_selection.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr SchemaVersion kObservationRequestSchemaVersion{2, 1, 0};

enum class ObservationGuarantee : std::uint8_t { Summary = 0, CompleteNormalized = 1, OracleReady = 2 };

// Ordered by detail: each level includes what the one before offers.
enum class AccessDetail : std::uint8_t { None = 0, AfterOnly = 1, BeforeAndAfter = 2 };

// Ordered by detail: full artifacts also carry what hashes offer.
enum class FrameCapture : std::uint8_t { None = 0, Hashes = 1, Full = 2 };

enum class SnapshotCaptureKind : std::uint8_t { None = 0, Final = 1, EverySteps = 2 };

struct SnapshotCapture {
  SnapshotCaptureKind kind = SnapshotCaptureKind::None;
  // The step interval when kind is EverySteps; 0 otherwise.
  std::uint64_t every_steps = 0;

  friend bool operator==(const SnapshotCapture&, const SnapshotCapture&) = default;
};

enum class OverflowPolicy : std::uint8_t { Fail = 0, AllowIncomplete = 1 };

struct NormalizedEventRequest {
  EventSelection events;
  AccessDetail access_detail = AccessDetail::None;
  bool state_diffs = false;

  friend bool operator==(const NormalizedEventRequest&, const NormalizedEventRequest&) = default;
};

struct CapabilityRequest {
  std::string id;  // a capability ID (dotted identifier)
  bool required = false;
  JsonValue parameters;  // any JSON value, passed to the capability as given

  friend bool operator==(const CapabilityRequest&, const CapabilityRequest&) = default;
};

struct NativeEvidenceRequest {
  bool enabled = false;
  bool all = false;
  std::vector<std::string> kinds;  // native event kind texts, as given

  friend bool operator==(const NativeEvidenceRequest&, const NativeEvidenceRequest&) = default;
};

struct FrameRequest {
  FrameCapture capture = FrameCapture::None;

  friend bool operator==(const FrameRequest&, const FrameRequest&) = default;
};

struct SnapshotRequest {
  SnapshotCapture capture;

  friend bool operator==(const SnapshotRequest&, const SnapshotRequest&) = default;
};

struct InputValueEvidenceRequest {
  bool enabled = false;

  friend bool operator==(const InputValueEvidenceRequest&, const InputValueEvidenceRequest&) = default;
};

// Output limits; an absent limit is unlimited. Members in document order.
struct EmissionBudgets {
  std::optional<std::uint64_t> max_normalized_events;
  std::optional<std::uint64_t> max_normalized_bytes;
  std::optional<std::uint64_t> max_capability_bytes;
  std::optional<std::uint64_t> max_native_events;
  std::optional<std::uint64_t> max_native_bytes;
  std::optional<std::uint64_t> max_frame_bytes;
  std::optional<std::uint64_t> max_snapshot_bytes;
  std::optional<std::uint64_t> max_input_value_events;
  std::optional<std::uint64_t> max_input_value_bytes;
  std::optional<std::uint64_t> max_total_logical_bytes;

  friend bool operator==(const EmissionBudgets&, const EmissionBudgets&) = default;
};

// A default-constructed request is the default request: schema 2.1.0, guarantee
// "summary", nothing selected, no capabilities, no budgets, overflow "fail".
struct ObservationRequest {
  SchemaVersion schema_version = kObservationRequestSchemaVersion;
  ObservationGuarantee guarantee = ObservationGuarantee::Summary;
  NormalizedEventRequest normalized_events;
  std::vector<CapabilityRequest> capabilities;
  NativeEvidenceRequest native_evidence;
  FrameRequest frames;
  SnapshotRequest snapshots;
  InputValueEvidenceRequest input_value_evidence;
  EmissionBudgets budgets;
  OverflowPolicy overflow = OverflowPolicy::Fail;

  friend bool operator==(const ObservationRequest&, const ObservationRequest&) = default;
};

// The request used when a caller supplies none: it asks for nothing.
[[nodiscard]] inline ObservationRequest default_observation_request() { return {}; }

// Whether native evidence of this kind is asked for: the channel enabled and
// either every kind or this one listed.
[[nodiscard]] bool selects_native_kind(const NativeEvidenceRequest& request, std::string_view kind);

// The consistency rules, in order; the first failure is the result.
[[nodiscard]] Result<void> check_observation_request(const ObservationRequest& request);

// JSON spellings of the enumerations ("summary", "after_only", "hashes",
// "allow_incomplete", ...). SnapshotCaptureKind::EverySteps is "every_steps".
[[nodiscard]] std::string_view spelling(ObservationGuarantee guarantee);
[[nodiscard]] std::string_view spelling(AccessDetail detail);
[[nodiscard]] std::string_view spelling(FrameCapture capture);
[[nodiscard]] std::string_view spelling(SnapshotCaptureKind capture);
[[nodiscard]] std::string_view spelling(OverflowPolicy policy);

// JSON forms; every optional member absent is written as null.
[[nodiscard]] JsonValue to_json(const SnapshotCapture& capture);
[[nodiscard]] JsonValue to_json(const CapabilityRequest& request);
[[nodiscard]] JsonValue to_json(const EmissionBudgets& budgets);
[[nodiscard]] JsonValue to_json(const ObservationRequest& request);

// The same document written member by member in its own member order (not
// key order), for files meant to be read by people. False when a capability's
// parameters hold a non-finite float; the writer then holds partial output.
[[nodiscard]] bool write_json(JsonWriter& writer, const ObservationRequest& request);
void write_json(JsonWriter& writer, const EmissionBudgets& budgets);

}  // namespace lumivar
