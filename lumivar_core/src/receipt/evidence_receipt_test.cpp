#include "lumivar_core/receipt/evidence_receipt.hpp"

#include <gtest/gtest.h>

#include "lumivar_core/encoding/hex_testing.hpp"

namespace lumivar {
namespace {

EmissionTally complete_envelope() {
  EmissionTally tally;
  tally[EvidenceChannel::Envelope].item_count = 2;
  return tally;
}

CapabilityReceipt capability(std::string id, CapabilityStatus status) {
  return CapabilityReceipt{std::move(id), status, std::nullopt, 0, std::nullopt};
}

EvidenceReceipt build(const ObservationRequest& request, const EmissionTally& tally,
                      std::vector<CapabilityReceipt> capabilities = {}) {
  return build_evidence_receipt(request, "run-1", "chip8", "mv", tally, capabilities);
}

std::vector<ChannelStatus> statuses(const EvidenceReceipt& receipt) {
  std::vector<ChannelStatus> out;
  for (const ChannelReceipt& channel : receipt.channels) out.push_back(channel.status);
  return out;
}

constexpr ChannelStatus kOmitted = ChannelStatus::Omitted;
constexpr ChannelStatus kComplete = ChannelStatus::Complete;

TEST(EvidenceReceipt, DefaultRequestWithCompleteEnvelope) {
  EvidenceReceipt receipt = build(ObservationRequest{}, complete_envelope());
  EXPECT_EQ(receipt.schema_version, (SchemaVersion{2, 1, 0}));
  ASSERT_EQ(receipt.channels.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(receipt.channels[i].channel, kEvidenceChannels[i]);
  EXPECT_EQ(statuses(receipt),
            (std::vector{kOmitted, kOmitted, kOmitted, kOmitted, kOmitted, kOmitted, kComplete}));
  EXPECT_EQ(receipt.status, ReceiptStatus::Complete);
  EXPECT_EQ(receipt.fulfilled_guarantee, ObservationGuarantee::Summary);
  EXPECT_EQ(receipt.channels[6].item_count, 2u);
  EXPECT_FALSE(receipt.channels[6].encoded_bytes.has_value());
}

TEST(EvidenceReceipt, RequestedChannels) {
  ObservationRequest request;
  request.normalized_events.events = EventSelectionLevel::Lifecycle;
  request.capabilities.push_back(CapabilityRequest{"chip8.framebuffer", false, JsonValue()});
  request.native_evidence.enabled = true;
  request.frames.capture = FrameCapture::Hashes;
  request.snapshots.capture = SnapshotCapture{SnapshotCaptureKind::EverySteps, 0};
  request.input_value_evidence.enabled = true;
  EvidenceReceipt receipt = build(request, complete_envelope());
  for (const ChannelReceipt& channel : receipt.channels) {
    EXPECT_TRUE(channel.requested) << spelling(channel.channel);
    EXPECT_EQ(channel.status, kComplete) << spelling(channel.channel);
  }
}

TEST(EvidenceReceipt, StatusRules) {
  ObservationRequest frames;
  frames.frames.capture = FrameCapture::Full;

  EmissionTally complete = complete_envelope();
  EmissionTally truncated_frames = complete_envelope();
  truncated_frames[EvidenceChannel::Frames].status = ChannelStatus::Truncated;
  EmissionTally truncated_unrequested = complete_envelope();
  truncated_unrequested[EvidenceChannel::Snapshots].status = ChannelStatus::Truncated;
  EmissionTally short_envelope;
  short_envelope[EvidenceChannel::Envelope].item_count = 1;
  EmissionTally failed = complete_envelope();
  failed.failure = EmissionFailure{EvidenceChannel::Frames, "boom"};
  failed[EvidenceChannel::Frames].status = ChannelStatus::Failed;
  EmissionTally failed_short;
  failed_short.failure = EmissionFailure{std::nullopt, "boom"};

  struct Case {
    const char* name;
    const EmissionTally& tally;
    std::vector<CapabilityReceipt> capabilities;
    ReceiptStatus status;
    ChannelStatus frames_status;
    ChannelStatus envelope_status;
  };
  const Case cases[] = {
      {"complete", complete, {}, ReceiptStatus::Complete, kComplete, kComplete},
      {"truncated frames", truncated_frames, {}, ReceiptStatus::Incomplete, ChannelStatus::Truncated, kComplete},
      // An unrequested channel reads omitted whatever happened on it.
      {"truncated unrequested", truncated_unrequested, {}, ReceiptStatus::Complete, kComplete, kComplete},
      {"run_finished missing", short_envelope, {}, ReceiptStatus::Incomplete, kComplete, kOmitted},
      {"failure", failed, {}, ReceiptStatus::Failed, ChannelStatus::Failed, kComplete},
      // With a failure recorded the short envelope keeps its own status.
      {"failure, short envelope", failed_short, {}, ReceiptStatus::Failed, kComplete, kComplete},
      {"failed capability",
       complete,
       {capability("a.b", CapabilityStatus::Fulfilled), capability("c.d", CapabilityStatus::Failed)},
       ReceiptStatus::Failed,
       kComplete,
       kComplete},
      {"incomplete capability",
       complete,
       {capability("a.b", CapabilityStatus::Incomplete)},
       ReceiptStatus::Incomplete,
       kComplete,
       kComplete},
      {"unavailable capability",
       complete,
       {capability("a.b", CapabilityStatus::Unavailable)},
       ReceiptStatus::Complete,
       kComplete,
       kComplete},
  };
  for (const Case& c : cases) {
    EvidenceReceipt receipt = build(frames, c.tally, c.capabilities);
    EXPECT_EQ(receipt.status, c.status) << c.name;
    EXPECT_EQ(receipt.channels[3].status, c.frames_status) << c.name;
    EXPECT_EQ(receipt.channels[6].status, c.envelope_status) << c.name;
    EXPECT_EQ(receipt.fulfilled_guarantee.has_value(), c.status == ReceiptStatus::Complete) << c.name;
    EXPECT_EQ(receipt.capabilities, c.capabilities) << c.name;
    EXPECT_EQ(receipt.failure, c.tally.failure) << c.name;
  }
}

TEST(EvidenceReceipt, BudgetReceipt) {
  ObservationRequest request;
  request.budgets.max_frame_bytes = 100;
  EmissionTally tally = complete_envelope();
  tally.total_logical_bytes = 77;
  EvidenceReceipt fitted = build(request, tally);
  EXPECT_EQ(fitted.budgets.configured, request.budgets);
  EXPECT_FALSE(fitted.budgets.exceeded.has_value());
  EXPECT_EQ(fitted.budgets.observed_logical_bytes, 77u);
  tally.last_exceeded = BudgetKind::FrameBytes;
  EXPECT_EQ(build(request, tally).budgets.exceeded, BudgetKind::FrameBytes);
}

EvidenceReceipt sample_receipt() {
  ObservationRequest request;
  request.frames.capture = FrameCapture::Hashes;
  request.budgets.max_frame_bytes = 64;
  EmissionTally tally = complete_envelope();
  tally[EvidenceChannel::Frames] = ChannelTally{3, 150, ChannelStatus::Truncated};
  tally.total_logical_bytes = 150;
  tally.last_exceeded = BudgetKind::FrameBytes;
  CapabilityReceipt fulfilled{"chip8.framebuffer", CapabilityStatus::Fulfilled,
                              CapabilitySchema{"chip8.framebuffer", {1, 0, 0}}, 12, std::nullopt};
  return build_evidence_receipt(request, "run-1", "chip8", "mv", tally,
                                std::vector{fulfilled, capability("x.y", CapabilityStatus::Unavailable)});
}

constexpr std::string_view kNullBudgets =
    R"("max_input_value_bytes":null,"max_input_value_events":null,"max_native_bytes":null,)"
    R"("max_native_events":null,"max_normalized_bytes":null,"max_normalized_events":null,)"
    R"("max_snapshot_bytes":null,"max_total_logical_bytes":null)";

TEST(EvidenceReceipt, KeyOrderJson) {
  JsonWriter writer;
  write_evidence_receipt(writer, sample_receipt());
  auto channel = [](std::string_view name, bool requested, std::string_view status, int items, int bytes) {
    return R"({"channel":")" + std::string(name) + R"(","encoded_bytes":null,"item_count":)" +
           std::to_string(items) + R"(,"logical_bytes":)" + std::to_string(bytes) +
           R"(,"requested":)" + (requested ? "true" : "false") + R"(,"status":")" + std::string(status) + R"("})";
  };
  std::string expected =
      R"({"budgets":{"configured":{"max_capability_bytes":null,"max_frame_bytes":64,)" + std::string(kNullBudgets) +
      R"(},"exceeded":"frame_bytes","observed_logical_bytes":150},)"
      R"("capabilities":[{"id":"chip8.framebuffer","logical_bytes":12,"message":null,)"
      R"("output_schema":{"id":"chip8.framebuffer","version":{"major":1,"minor":0,"patch":0}},"status":"fulfilled"},)"
      R"({"id":"x.y","logical_bytes":0,"message":null,"output_schema":null,"status":"unavailable"}],)"
      R"("channels":[)" +
      channel("normalized_events", false, "omitted", 0, 0) + "," + channel("capabilities", false, "omitted", 0, 0) +
      "," + channel("native_evidence", false, "omitted", 0, 0) + "," + channel("frames", true, "truncated", 3, 150) +
      "," + channel("snapshots", false, "omitted", 0, 0) + "," +
      channel("input_value_evidence", false, "omitted", 0, 0) + "," + channel("envelope", true, "complete", 2, 0) +
      R"(],"failure":null,"fulfilled_guarantee":null,"machine_id":"chip8","machine_version":"mv",)"
      R"("requested_guarantee":"summary","run_id":"run-1","schema_version":{"major":2,"minor":1,"patch":0},)"
      R"("status":"incomplete"})";
  EXPECT_BYTES_EQ(expected, writer.view());
}

TEST(EvidenceReceipt, DocumentOrderJson) {
  EvidenceReceipt receipt = sample_receipt();
  receipt.channels.resize(1);
  receipt.capabilities.resize(1);
  receipt.failure = EmissionFailure{std::nullopt, "sink \"a\" failed"};
  JsonWriter writer(JsonStyle::pretty);
  write_evidence_receipt(writer, receipt, MemberOrder::DocumentOrder);
  EXPECT_EQ(writer.view(),
            R"({
  "schema_version": {
    "major": 2,
    "minor": 1,
    "patch": 0
  },
  "run_id": "run-1",
  "machine_id": "chip8",
  "machine_version": "mv",
  "requested_guarantee": "summary",
  "fulfilled_guarantee": null,
  "status": "incomplete",
  "channels": [
    {
      "channel": "normalized_events",
      "requested": false,
      "status": "omitted",
      "item_count": 0,
      "logical_bytes": 0,
      "encoded_bytes": null
    }
  ],
  "capabilities": [
    {
      "id": "chip8.framebuffer",
      "status": "fulfilled",
      "output_schema": {
        "id": "chip8.framebuffer",
        "version": {
          "major": 1,
          "minor": 0,
          "patch": 0
        }
      },
      "logical_bytes": 12,
      "message": null
    }
  ],
  "budgets": {
    "configured": {
      "max_normalized_events": null,
      "max_normalized_bytes": null,
      "max_capability_bytes": null,
      "max_native_events": null,
      "max_native_bytes": null,
      "max_frame_bytes": 64,
      "max_snapshot_bytes": null,
      "max_input_value_events": null,
      "max_input_value_bytes": null,
      "max_total_logical_bytes": null
    },
    "exceeded": "frame_bytes",
    "observed_logical_bytes": 150
  },
  "failure": {
    "channel": null,
    "message": "sink \"a\" failed"
  }
})");
}

TEST(EvidenceReceipt, Spellings) {
  EXPECT_EQ(spelling(ChannelStatus::Complete), "complete");
  EXPECT_EQ(spelling(ChannelStatus::Omitted), "omitted");
  EXPECT_EQ(spelling(ChannelStatus::Truncated), "truncated");
  EXPECT_EQ(spelling(ChannelStatus::Failed), "failed");
  EXPECT_EQ(spelling(CapabilityStatus::Fulfilled), "fulfilled");
  EXPECT_EQ(spelling(CapabilityStatus::Unavailable), "unavailable");
  EXPECT_EQ(spelling(CapabilityStatus::Failed), "failed");
  EXPECT_EQ(spelling(CapabilityStatus::Incomplete), "incomplete");
  EXPECT_EQ(spelling(ReceiptStatus::Complete), "complete");
  EXPECT_EQ(spelling(ReceiptStatus::Incomplete), "incomplete");
  EXPECT_EQ(spelling(ReceiptStatus::Failed), "failed");
}

}  // namespace
}  // namespace lumivar
