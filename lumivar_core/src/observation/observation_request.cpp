#include "lumivar_core/observation/observation_request.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace lumivar {

std::string_view spelling(ObservationGuarantee guarantee) {
  switch (guarantee) {
    case ObservationGuarantee::Summary: return "summary";
    case ObservationGuarantee::CompleteNormalized: return "complete_normalized";
    case ObservationGuarantee::OracleReady: return "oracle_ready";
  }
  return "summary";
}

std::string_view spelling(AccessDetail detail) {
  switch (detail) {
    case AccessDetail::None: return "none";
    case AccessDetail::AfterOnly: return "after_only";
    case AccessDetail::BeforeAndAfter: return "before_and_after";
  }
  return "none";
}

std::string_view spelling(FrameCapture capture) {
  switch (capture) {
    case FrameCapture::None: return "none";
    case FrameCapture::Hashes: return "hashes";
    case FrameCapture::Full: return "full";
  }
  return "none";
}

std::string_view spelling(SnapshotCaptureKind capture) {
  switch (capture) {
    case SnapshotCaptureKind::None: return "none";
    case SnapshotCaptureKind::Final: return "final";
    case SnapshotCaptureKind::EverySteps: return "every_steps";
  }
  return "none";
}

std::string_view spelling(OverflowPolicy policy) {
  switch (policy) {
    case OverflowPolicy::Fail: return "fail";
    case OverflowPolicy::AllowIncomplete: return "allow_incomplete";
  }
  return "fail";
}

bool selects_native_kind(const NativeEvidenceRequest& request, std::string_view kind) {
  if (!request.enabled) return false;
  return request.all || std::find(request.kinds.begin(), request.kinds.end(), kind) != request.kinds.end();
}

Result<void> check_observation_request(const ObservationRequest& request) {
  if (request.schema_version != kObservationRequestSchemaVersion) {
    return fail("unsupported emission request schema " + to_string(request.schema_version) + "; expected " +
                to_string(kObservationRequestSchemaVersion));
  }
  const NormalizedEventRequest& normalized = request.normalized_events;
  if (normalized.state_diffs && normalized.access_detail == AccessDetail::None) {
    return fail("state diffs require normalized access detail");
  }
  const NativeEvidenceRequest& native = request.native_evidence;
  if ((native.all || !native.kinds.empty()) && !native.enabled) {
    return fail("native evidence selection requires the native channel");
  }
  if (native.all && !native.kinds.empty()) {
    return fail("native evidence cannot select all kinds and named kinds");
  }
  switch (request.guarantee) {
    case ObservationGuarantee::Summary:
      break;
    case ObservationGuarantee::CompleteNormalized:
      if (normalized.events.level != EventSelectionLevel::All) {
        return fail("complete_normalized requires all normalized event kinds");
      }
      if (normalized.access_detail == AccessDetail::None || !normalized.state_diffs) {
        return fail("complete_normalized requires access detail and state diffs");
      }
      break;
    case ObservationGuarantee::OracleReady:
      if (!native.enabled) return fail("oracle_ready requires native evidence selection");
      if (request.snapshots.capture.kind == SnapshotCaptureKind::None) {
        return fail("oracle_ready requires snapshot capture");
      }
      break;
  }
  return {};
}

namespace {

JsonValue optional_u64(const std::optional<std::uint64_t>& value) {
  if (value) return *value;
  return nullptr;
}

// The budgets with their member names, in document order.
std::array<std::pair<std::string_view, const std::optional<std::uint64_t>*>, 10> budget_members(
    const EmissionBudgets& budgets) {
  return {{
      {"max_normalized_events", &budgets.max_normalized_events},
      {"max_normalized_bytes", &budgets.max_normalized_bytes},
      {"max_capability_bytes", &budgets.max_capability_bytes},
      {"max_native_events", &budgets.max_native_events},
      {"max_native_bytes", &budgets.max_native_bytes},
      {"max_frame_bytes", &budgets.max_frame_bytes},
      {"max_snapshot_bytes", &budgets.max_snapshot_bytes},
      {"max_input_value_events", &budgets.max_input_value_events},
      {"max_input_value_bytes", &budgets.max_input_value_bytes},
      {"max_total_logical_bytes", &budgets.max_total_logical_bytes},
  }};
}

JsonValue string_array(const std::vector<std::string>& texts) {
  JsonArray array;
  array.reserve(texts.size());
  for (const std::string& text : texts) array.emplace_back(text);
  return array;
}

}  // namespace

JsonValue to_json(const SnapshotCapture& capture) {
  if (capture.kind == SnapshotCaptureKind::EverySteps) return JsonObject{{"every_steps", capture.every_steps}};
  return std::string(spelling(capture.kind));
}

JsonValue to_json(const CapabilityRequest& request) {
  return JsonObject{{"id", request.id}, {"required", request.required}, {"parameters", request.parameters}};
}

JsonValue to_json(const EmissionBudgets& budgets) {
  JsonObject object;
  for (const auto& [name, value] : budget_members(budgets)) object.emplace(std::string(name), optional_u64(*value));
  return object;
}

JsonValue to_json(const ObservationRequest& request) {
  JsonArray capabilities;
  capabilities.reserve(request.capabilities.size());
  for (const CapabilityRequest& capability : request.capabilities) capabilities.push_back(to_json(capability));
  const NormalizedEventRequest& normalized = request.normalized_events;
  const NativeEvidenceRequest& native = request.native_evidence;
  return JsonObject{
      {"schema_version", to_json(request.schema_version)},
      {"guarantee", std::string(spelling(request.guarantee))},
      {"normalized_events", JsonObject{{"events", to_json(normalized.events)},
                                       {"access_detail", std::string(spelling(normalized.access_detail))},
                                       {"state_diffs", normalized.state_diffs}}},
      {"capabilities", std::move(capabilities)},
      {"native_evidence",
       JsonObject{{"enabled", native.enabled}, {"all", native.all}, {"kinds", string_array(native.kinds)}}},
      {"frames", JsonObject{{"capture", std::string(spelling(request.frames.capture))}}},
      {"snapshots", JsonObject{{"capture", to_json(request.snapshots.capture)}}},
      {"input_value_evidence", JsonObject{{"enabled", request.input_value_evidence.enabled}}},
      {"budgets", to_json(request.budgets)},
      {"overflow", std::string(spelling(request.overflow))},
  };
}

void write_json(JsonWriter& writer, const EmissionBudgets& budgets) {
  writer.begin_object();
  for (const auto& [name, value] : budget_members(budgets)) {
    writer.key(name);
    if (*value) writer.write_u64(**value); else writer.write_null();
  }
  writer.end_object();
}

bool write_json(JsonWriter& writer, const ObservationRequest& request) {
  writer.begin_object();
  writer.key("schema_version");
  writer.begin_object();
  writer.key("major");
  writer.write_u64(request.schema_version.major);
  writer.key("minor");
  writer.write_u64(request.schema_version.minor);
  writer.key("patch");
  writer.write_u64(request.schema_version.patch);
  writer.end_object();
  writer.key("guarantee");
  writer.write_string(spelling(request.guarantee));

  const NormalizedEventRequest& normalized = request.normalized_events;
  writer.key("normalized_events");
  writer.begin_object();
  writer.key("events");
  if (!writer.write_value(to_json(normalized.events))) return false;
  writer.key("access_detail");
  writer.write_string(spelling(normalized.access_detail));
  writer.key("state_diffs");
  writer.write_bool(normalized.state_diffs);
  writer.end_object();

  writer.key("capabilities");
  writer.begin_array();
  for (const CapabilityRequest& capability : request.capabilities) {
    writer.begin_object();
    writer.key("id");
    writer.write_string(capability.id);
    writer.key("required");
    writer.write_bool(capability.required);
    writer.key("parameters");
    if (!writer.write_value(capability.parameters)) return false;
    writer.end_object();
  }
  writer.end_array();

  const NativeEvidenceRequest& native = request.native_evidence;
  writer.key("native_evidence");
  writer.begin_object();
  writer.key("enabled");
  writer.write_bool(native.enabled);
  writer.key("all");
  writer.write_bool(native.all);
  writer.key("kinds");
  writer.begin_array();
  for (const std::string& kind : native.kinds) writer.write_string(kind);
  writer.end_array();
  writer.end_object();

  writer.key("frames");
  writer.begin_object();
  writer.key("capture");
  writer.write_string(spelling(request.frames.capture));
  writer.end_object();

  writer.key("snapshots");
  writer.begin_object();
  writer.key("capture");
  if (!writer.write_value(to_json(request.snapshots.capture))) return false;
  writer.end_object();

  writer.key("input_value_evidence");
  writer.begin_object();
  writer.key("enabled");
  writer.write_bool(request.input_value_evidence.enabled);
  writer.end_object();

  writer.key("budgets");
  write_json(writer, request.budgets);

  writer.key("overflow");
  writer.write_string(spelling(request.overflow));
  writer.end_object();
  return true;
}

}  // namespace lumivar
