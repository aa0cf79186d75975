#include "lumivar_core/emission/owned_emission.hpp"

#include <utility>

namespace lumivar {

namespace {

constexpr std::string_view kRecordPrefix = "{\"kind\":\"";
constexpr std::string_view kRecordMiddle = "\",\"record\":";

Result<std::string> finished_text(JsonWriter& writer, bool written) {
  if (!written) return fail(std::string(kNonFiniteCanonicalJsonMessage));
  return writer.take();
}

// A record whose JSON is written from a generic tree.
Result<std::string> tree_text(const JsonValue& tree) {
  JsonWriter writer(JsonStyle::canonical);
  return finished_text(writer, writer.write_value(tree));
}

}  // namespace

std::string_view spelling(EmissionKind kind) {
  switch (kind) {
    case EmissionKind::RunStarted: return "run_started";
    case EmissionKind::Event: return "event";
    case EmissionKind::NativeEvidence: return "native_evidence";
    case EmissionKind::InputValueEvidence: return "input_value_evidence";
    case EmissionKind::Frame: return "frame";
    case EmissionKind::Snapshot: return "snapshot";
    case EmissionKind::EvidenceReceipt: return "evidence_receipt";
    case EmissionKind::RunFinished: return "run_finished";
  }
  fatal("emission kind out of range");
}

std::optional<EvidenceChannel> emission_channel(EmissionKind kind) {
  switch (kind) {
    case EmissionKind::RunStarted: return EvidenceChannel::Envelope;
    case EmissionKind::Event: return EvidenceChannel::NormalizedEvents;
    case EmissionKind::NativeEvidence: return EvidenceChannel::NativeEvidence;
    case EmissionKind::InputValueEvidence: return EvidenceChannel::InputValueEvidence;
    case EmissionKind::Frame: return EvidenceChannel::Frames;
    case EmissionKind::Snapshot: return EvidenceChannel::Snapshots;
    case EmissionKind::EvidenceReceipt: return std::nullopt;
    case EmissionKind::RunFinished: return EvidenceChannel::Envelope;
  }
  fatal("emission kind out of range");
}

Result<OwnedEmission> OwnedEmission::run_started(RunStartedRecord record) {
  JsonWriter writer(JsonStyle::canonical);
  Result<std::string> json = finished_text(writer, write_run_started_record(writer, record));
  if (!json) return std::unexpected(json.error());
  return Result<OwnedEmission>(std::in_place, Key(), std::move(record), std::move(*json));
}

Result<OwnedEmission> OwnedEmission::event(NormalizedEvent&& event) {
  Result<CanonicalEventJson> encoded = encode_normalized_event(event);
  if (!encoded) return std::unexpected(encoded.error());
  return Result<OwnedEmission>(std::in_place, Key(), std::move(event), std::move(encoded->json), encoded->run_id_member);
}

Result<OwnedEmission> OwnedEmission::native_evidence(NativeEvidenceRecord record) {
  JsonWriter writer(JsonStyle::canonical);
  Result<std::string> json = finished_text(writer, write_native_evidence_record(writer, record));
  if (!json) return std::unexpected(json.error());
  return Result<OwnedEmission>(std::in_place, Key(), std::move(record), std::move(*json));
}

Result<OwnedEmission> OwnedEmission::input_value_evidence(InputApplication application) {
  Result<std::string> json = tree_text(to_json(application));
  if (!json) return std::unexpected(json.error());
  return Result<OwnedEmission>(std::in_place, Key(), std::move(application), std::move(*json));
}

Result<OwnedEmission> OwnedEmission::frame(FrameArtifact artifact) {
  JsonWriter writer(JsonStyle::canonical);
  write_frame_artifact(writer, artifact);
  return Result<OwnedEmission>(std::in_place, Key(), std::move(artifact), writer.take());
}

Result<OwnedEmission> OwnedEmission::snapshot(SnapshotEnvelope envelope) {
  JsonWriter writer(JsonStyle::canonical);
  // Each state byte takes at most four characters ("255,").
  writer.reserve(512 + 4 * envelope.bytes.size());
  write_snapshot_envelope(writer, envelope);
  return Result<OwnedEmission>(std::in_place, Key(), std::move(envelope), writer.take());
}

Result<OwnedEmission> OwnedEmission::evidence_receipt(EvidenceReceipt receipt) {
  JsonWriter writer(JsonStyle::canonical);
  write_evidence_receipt(writer, receipt, MemberOrder::KeyOrder);
  return Result<OwnedEmission>(std::in_place, Key(), std::move(receipt), writer.take());
}

Result<OwnedEmission> OwnedEmission::run_finished(RunFinishedRecord record) {
  JsonWriter writer(JsonStyle::canonical);
  write_run_finished_record(writer, record);
  return Result<OwnedEmission>(std::in_place, Key(), std::move(record), writer.take());
}

std::uint64_t OwnedEmission::logical_bytes() const {
  switch (kind()) {
    case EmissionKind::RunStarted:
    case EmissionKind::EvidenceReceipt:
    case EmissionKind::RunFinished:
      return 0;
    case EmissionKind::Snapshot:
      return get<SnapshotEnvelope>().bytes.size();
    case EmissionKind::Event:
    case EmissionKind::NativeEvidence:
    case EmissionKind::InputValueEvidence:
    case EmissionKind::Frame:
      return json_.size();
  }
  fatal("emission kind out of range");
}

std::string OwnedEmission::record_json() const {
  std::string_view kind_text = spelling(kind());
  std::string record;
  record.reserve(kRecordPrefix.size() + kind_text.size() + kRecordMiddle.size() + json_.size() + 1);
  record.append(kRecordPrefix).append(kind_text).append(kRecordMiddle).append(json_).push_back('}');
  return record;
}

void OwnedEmission::write_record(JsonWriter& writer) const {
  writer.begin_object();
  writer.key("kind");
  writer.write_string(spelling(kind()));
  writer.key("record");
  writer.write_raw(json_);
  writer.end_object();
}

}  // namespace lumivar
