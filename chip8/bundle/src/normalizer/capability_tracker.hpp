#pragma once
// The capability tracker: watches the evidence a run emits so that the
// statistics capabilities (control-flow and visual motifs, the input summary)
// can be computed without storing the stream, keeps the outputs built from
// native evidence, and turns all of it into capability outputs and receipts
// at the end of the run.
//
// It fails at most once (a native evidence kind that is no capability ID);
// the owner stops offering emissions from then on, and every request is
// reported "failed" with that text.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/emission/owned_emission.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"
#include "lumivar_core/receipt/evidence_receipt.hpp"
#include "lumivar_core/value/content_digest.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kNoNativeOutputMessage = "requested native evidence produced no capability output";

// Counters saturate at the largest 64-bit value.
struct ControlFlowCounters {
  std::uint64_t instructions = 0;
  std::uint64_t branches = 0;
  std::uint64_t calls = 0;
  std::uint64_t returns = 0;
  std::uint64_t interrupts = 0;
  std::uint64_t traps = 0;
  std::uint64_t call_depth = 0;  // open calls; a return never takes it below 0
  std::uint64_t max_call_depth = 0;

  friend bool operator==(const ControlFlowCounters&, const ControlFlowCounters&) = default;
};

struct VisualCounters {
  std::uint64_t frame_events = 0;
  std::uint64_t frame_artifacts = 0;
  std::uint64_t frame_hash_changes = 0;
  std::uint64_t repeated_frame_hashes = 0;
  std::uint64_t full_artifacts = 0;
  std::uint64_t display_write_events = 0;
  std::uint64_t display_state_writes = 0;
  std::uint64_t max_display_writes_per_event = 0;
  std::uint64_t input_events = 0;
  std::optional<lumivar::Sha256Digest> previous_frame_digest;

  friend bool operator==(const VisualCounters&, const VisualCounters&) = default;
};

struct InputCounters {
  std::uint64_t values = 0;
  std::set<std::string, std::less<>> distinct_inputs;

  friend bool operator==(const InputCounters&, const InputCounters&) = default;
};

// What the capabilities of a run delivered: outputs and receipts in request order.
struct CapabilityResults {
  std::vector<lumivar::CapabilityOutput> outputs;
  std::vector<lumivar::CapabilityReceipt> receipts;

  friend bool operator==(const CapabilityResults&, const CapabilityResults&) = default;
};

class CapabilityTracker {
 public:
  // Clears every counter and output and takes the requests (those whose
  // capability resolved as available, in request order).
  void start(std::span<const lumivar::CapabilityRequest> requests);

  // One emission on its way to the stream. The owner stops calling once
  // failed() is true.
  void observe(const lumivar::OwnedEmission& emission);

  // Native evidence the stream has already taken: its payload is kept by
  // moving rather than copying (the framebuffer's is 16 KiB of pixels).
  void observe_native_evidence(lumivar::NativeEvidenceRecord&& record);

  // One output and one receipt per request, in request order; a native
  // capability without output gets an "unavailable" (optional request) or
  // "failed" (required) receipt instead of an output.
  [[nodiscard]] lumivar::Result<CapabilityResults> finish() const;

  // finish(), or when the tracker or finish failed, no outputs and a "failed"
  // receipt carrying the failure text for every request. The stored native
  // outputs move into the result, so this is called once, at the end.
  [[nodiscard]] CapabilityResults deliver();

  [[nodiscard]] bool failed() const { return failure_.has_value(); }
  [[nodiscard]] const std::optional<std::string>& failure() const { return failure_; }
  [[nodiscard]] const ControlFlowCounters& control_flow() const { return control_flow_; }
  [[nodiscard]] const VisualCounters& visual() const { return visual_; }
  [[nodiscard]] const InputCounters& inputs() const { return inputs_; }

 private:
  void observe_event(const lumivar::NormalizedEvent& event);
  void observe_frame(const lumivar::FrameArtifact& artifact);
  void observe_native_evidence(const lumivar::NativeEvidenceRecord& record);
  // Whether the record is native evidence the requests ask for; sets the
  // failure for a kind that is not a canonical capability ID.
  [[nodiscard]] bool wanted_native_evidence(const lumivar::NativeEvidenceRecord& record);
  // finish() over a const tracker copies the native outputs, over a mutable
  // one it moves them.
  template <class Tracker>
  [[nodiscard]] static lumivar::Result<CapabilityResults> finish_of(Tracker& tracker);

  std::vector<lumivar::CapabilityRequest> requests_;
  bool control_flow_wanted_ = false;
  bool visual_wanted_ = false;
  bool input_summary_wanted_ = false;
  ControlFlowCounters control_flow_;
  VisualCounters visual_;
  InputCounters inputs_;
  std::map<std::string, lumivar::CapabilityOutput, std::less<>> native_outputs_;
  std::optional<std::string> failure_;
};

// One "unavailable" receipt for every capability of the prepared observation
// that was requested directly but resolved unavailable, in the observation's
// capability order, carrying its preparation message.
[[nodiscard]] std::vector<lumivar::CapabilityReceipt> unavailable_capability_receipts(
    const lumivar::PreparedObservation& observation);

}  // namespace chip8::bundle
