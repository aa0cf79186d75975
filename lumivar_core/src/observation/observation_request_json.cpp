#include "lumivar_core/observation/observation_request_json.hpp"

#include <array>
#include <utility>

#include "lumivar_core/identifier/identifier.hpp"
#include "lumivar_core/json/record_readers.hpp"

namespace lumivar {
namespace {

template <class T>
Result<void> store(Result<T> value, T& out) {
  if (!value) return std::unexpected(std::move(value.error()));
  out = std::move(*value);
  return {};
}

// Reads a string naming one of `spellings`; the index is the enumerator.
template <class Enum, std::size_t N>
Result<void> read_enum_into(JsonReader& reader, std::string_view expecting,
                            const std::array<std::string_view, N>& spellings, Enum& out) {
  auto index = reader.read_enum(expecting, spellings);
  if (!index) return std::unexpected(std::move(index.error()));
  out = static_cast<Enum>(*index);
  return {};
}

constexpr std::array<std::string_view, 3> kGuarantees = {"summary", "complete_normalized", "oracle_ready"};
constexpr std::array<std::string_view, 3> kAccessDetails = {"none", "after_only", "before_and_after"};
constexpr std::array<std::string_view, 3> kFrameCaptures = {"none", "hashes", "full"};
constexpr std::array<std::string_view, 2> kOverflowPolicies = {"fail", "allow_incomplete"};

Result<EventKindSet> read_event_kind_set(JsonReader& reader) {
  EventKindSet kinds;
  auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
    auto kind = read_event_kind(reader);
    if (!kind) return std::unexpected(std::move(kind.error()));
    kinds.insert(std::move(*kind));
    return {};
  });
  if (!count) return std::unexpected(std::move(count.error()));
  return kinds;
}

Result<std::vector<std::string>> read_string_list(JsonReader& reader) {
  std::vector<std::string> texts;
  auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
    return store(reader.read_string(), texts.emplace_back());
  });
  if (!count) return std::unexpected(std::move(count.error()));
  return texts;
}

Result<NormalizedEventRequest> read_normalized_event_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"events"}, {"access_detail"}, {"state_diffs"}};
  NormalizedEventRequest request;
  auto read = reader.read_object("struct NormalizedEventRequest", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return store(read_event_selection(reader), request.events);
      case 1: return read_enum_into(reader, "enum AccessDetail", kAccessDetails, request.access_detail);
      default: return reader.read_bool_into(request.state_diffs);
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<CapabilityRequest> read_capability_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"id"}, {"required"}, {"parameters"}};
  CapabilityRequest request;
  auto read = reader.read_object("struct CapabilityRequest", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: {
        if (auto id = reader.read_string_into(request.id); !id) return id;
        if (auto valid = validate_identifier("capability ID", request.id); !valid) {
          return reader.fail(valid.error().message);
        }
        return {};
      }
      case 1: return reader.read_bool_into(request.required);
      default: return store(reader.read_value(), request.parameters);
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<std::vector<CapabilityRequest>> read_capability_requests(JsonReader& reader) {
  std::vector<CapabilityRequest> requests;
  auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
    return store(read_capability_request(reader), requests.emplace_back());
  });
  if (!count) return std::unexpected(std::move(count.error()));
  return requests;
}

Result<NativeEvidenceRequest> read_native_evidence_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"enabled"}, {"all"}, {"kinds"}};
  NativeEvidenceRequest request;
  auto read = reader.read_object("struct NativeEvidenceRequest", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return reader.read_bool_into(request.enabled);
      case 1: return reader.read_bool_into(request.all);
      default: return store(read_string_list(reader), request.kinds);
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<FrameRequest> read_frame_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"capture"}};
  FrameRequest request;
  auto read = reader.read_object("struct FrameRequest", kFields, [&](std::size_t) -> Result<void> {
    return read_enum_into(reader, "enum FrameCapture", kFrameCaptures, request.capture);
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<SnapshotCapture> read_snapshot_capture(JsonReader& reader) {
  static constexpr VariantSpec kVariants[] = {{"none", false}, {"final", false}, {"every_steps", true}};
  SnapshotCapture capture;
  auto read = reader.read_variant("enum SnapshotCapture", kVariants, [&](std::size_t index) -> Result<void> {
    capture.kind = static_cast<SnapshotCaptureKind>(index);
    if (capture.kind == SnapshotCaptureKind::EverySteps) return reader.read_u64_into(capture.every_steps);
    return {};
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return capture;
}

Result<SnapshotRequest> read_snapshot_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"capture"}};
  SnapshotRequest request;
  auto read = reader.read_object("struct SnapshotRequest", kFields, [&](std::size_t) -> Result<void> {
    return store(read_snapshot_capture(reader), request.capture);
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<InputValueEvidenceRequest> read_input_value_evidence_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"enabled"}};
  InputValueEvidenceRequest request;
  auto read = reader.read_object("struct InputValueEvidenceRequest", kFields, [&](std::size_t) -> Result<void> {
    return reader.read_bool_into(request.enabled);
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<EmissionBudgets> read_emission_budgets(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {
      optional_field("max_normalized_events"),  optional_field("max_normalized_bytes"),
      optional_field("max_capability_bytes"),   optional_field("max_native_events"),
      optional_field("max_native_bytes"),       optional_field("max_frame_bytes"),
      optional_field("max_snapshot_bytes"),     optional_field("max_input_value_events"),
      optional_field("max_input_value_bytes"),  optional_field("max_total_logical_bytes"),
  };
  EmissionBudgets budgets;
  std::optional<std::uint64_t>* const members[] = {
      &budgets.max_normalized_events,  &budgets.max_normalized_bytes, &budgets.max_capability_bytes,
      &budgets.max_native_events,      &budgets.max_native_bytes,     &budgets.max_frame_bytes,
      &budgets.max_snapshot_bytes,     &budgets.max_input_value_events, &budgets.max_input_value_bytes,
      &budgets.max_total_logical_bytes,
  };
  auto read = reader.read_object("struct EmissionBudgets", kFields, [&](std::size_t field) -> Result<void> {
    return reader.read_optional_into(*members[field], [&] { return reader.read_u64(); });
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return budgets;
}

}  // namespace

Result<EventSelection> read_event_selection(JsonReader& reader) {
  static constexpr VariantSpec kVariants[] = {{"none", false},         {"lifecycle", false}, {"effects", false},
                                              {"instructions", false}, {"all", false},       {"kinds", true}};
  EventSelection selection;
  auto read = reader.read_variant("enum EventSelection", kVariants, [&](std::size_t index) -> Result<void> {
    selection.level = static_cast<EventSelectionLevel>(index);
    if (selection.level != EventSelectionLevel::Kinds) return {};
    auto kinds = read_event_kind_set(reader);
    if (!kinds) return std::unexpected(std::move(kinds.error()));
    selection = EventSelection::of_kinds(std::move(*kinds));
    return {};
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return selection;
}

Result<ObservationRequest> read_observation_request(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {
      {"schema_version"}, {"guarantee"}, {"normalized_events"},    {"capabilities"}, {"native_evidence"},
      {"frames"},         {"snapshots"}, {"input_value_evidence"}, {"budgets"},      {"overflow"},
  };
  ObservationRequest request;
  auto read = reader.read_object("struct ObservationRequest", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return store(read_schema_version(reader), request.schema_version);
      case 1: return read_enum_into(reader, "enum ObservationGuarantee", kGuarantees, request.guarantee);
      case 2: return store(read_normalized_event_request(reader), request.normalized_events);
      case 3: return store(read_capability_requests(reader), request.capabilities);
      case 4: return store(read_native_evidence_request(reader), request.native_evidence);
      case 5: return store(read_frame_request(reader), request.frames);
      case 6: return store(read_snapshot_request(reader), request.snapshots);
      case 7: return store(read_input_value_evidence_request(reader), request.input_value_evidence);
      case 8: return store(read_emission_budgets(reader), request.budgets);
      default: return read_enum_into(reader, "enum OverflowPolicy", kOverflowPolicies, request.overflow);
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return request;
}

Result<ObservationRequest> read_observation_request_document(std::string_view text) {
  auto document = read_document<ObservationRequest>(text, read_observation_request);
  if (!document) return std::unexpected(std::move(document.error()));
  if (!*document) return default_observation_request();
  return std::move(**document);
}

}  // namespace lumivar
