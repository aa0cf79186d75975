#pragma once
// OwnedEmission: one item of a run's emission stream, holding its payload and
// the payload's canonical JSON, written once when the emission is made. Those
// bytes are the item's logical size for the budgets, the "record" of its
// Python record and, for a normalized event, the input of the event
// projection; the recorder writes its binary records from the payload struct.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/emission/evidence_channel.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/event/normalized_event.hpp"
#include "lumivar_core/event/normalized_event_json.hpp"
#include "lumivar_core/receipt/evidence_receipt.hpp"
#include "lumivar_core/replay/frame_artifact.hpp"
#include "lumivar_core/replay/snapshot_envelope.hpp"
#include "lumivar_core/schedule/input_application.hpp"

namespace lumivar {

// Variant order of the stream; the payload variant below follows it.
enum class EmissionKind : std::uint8_t {
  RunStarted = 0,
  Event = 1,
  NativeEvidence = 2,
  InputValueEvidence = 3,
  Frame = 4,
  Snapshot = 5,
  EvidenceReceipt = 6,
  RunFinished = 7,
};

// "run_started", "event", "native_evidence", "input_value_evidence", "frame",
// "snapshot", "evidence_receipt", "run_finished"
[[nodiscard]] std::string_view spelling(EmissionKind kind);

// The accounting channel of a kind; none for the evidence receipt, which is
// not budgeted.
[[nodiscard]] std::optional<EvidenceChannel> emission_channel(EmissionKind kind);

class OwnedEmission {
  // Only the factories below can name this, so only they construct emissions
  // (in place, inside their Result, without moving the payload again).
  class Key {
    friend class OwnedEmission;
    Key() = default;
  };

 public:
  using Payload = std::variant<RunStartedRecord, NormalizedEvent, NativeEvidenceRecord, InputApplication,
                               FrameArtifact, SnapshotEnvelope, EvidenceReceipt, RunFinishedRecord>;

  // Each fails only when the payload holds a non-finite float.
  [[nodiscard]] static Result<OwnedEmission> run_started(RunStartedRecord record);
  [[nodiscard]] static Result<OwnedEmission> event(NormalizedEvent&& event);
  [[nodiscard]] static Result<OwnedEmission> event(const NormalizedEvent& event) {
    return OwnedEmission::event(NormalizedEvent(event));
  }
  [[nodiscard]] static Result<OwnedEmission> native_evidence(NativeEvidenceRecord record);
  [[nodiscard]] static Result<OwnedEmission> input_value_evidence(InputApplication application);
  [[nodiscard]] static Result<OwnedEmission> frame(FrameArtifact artifact);
  [[nodiscard]] static Result<OwnedEmission> snapshot(SnapshotEnvelope envelope);
  [[nodiscard]] static Result<OwnedEmission> evidence_receipt(EvidenceReceipt receipt);
  [[nodiscard]] static Result<OwnedEmission> run_finished(RunFinishedRecord record);

  [[nodiscard]] EmissionKind kind() const { return static_cast<EmissionKind>(payload_.index()); }
  [[nodiscard]] const Payload& payload() const { return payload_; }
  // The payload of the kind the caller knows it holds.
  template <class T>
  [[nodiscard]] const T& get() const {
    return std::get<T>(payload_);
  }

  // Moves the payload out; the JSON text stays.
  template <class T>
  [[nodiscard]] T take_payload() && {
    return std::get<T>(std::move(payload_));
  }

  // The payload's canonical JSON (keys in byte order at every level).
  [[nodiscard]] std::string_view payload_json() const { return json_; }
  // For an event: where its run_id member sits in payload_json().
  [[nodiscard]] ByteRange run_id_member() const { return run_id_member_; }

  // The size budgets count: the canonical JSON length, the state bytes for a
  // snapshot, 0 for the envelope records and the receipt.
  [[nodiscard]] std::uint64_t logical_bytes() const;

  // The Python record {"kind":"...","record":<payload JSON>}, keys in byte order.
  [[nodiscard]] std::string record_json() const;
  void write_record(JsonWriter& writer) const;

  friend bool operator==(const OwnedEmission&, const OwnedEmission&) = default;

  template <class T>
  OwnedEmission(Key, T&& payload, std::string json, ByteRange run_id_member = {})
      : payload_(std::in_place_type<std::remove_cvref_t<T>>, std::forward<T>(payload)),
        json_(std::move(json)),
        run_id_member_(run_id_member) {}

 private:
  Payload payload_;
  std::string json_;
  ByteRange run_id_member_;
};

}  // namespace lumivar
