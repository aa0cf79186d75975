#include "lumivar_core/emission/budgeted_sink.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lumivar_core/emission/emission_sink_testing.hpp"
#include "lumivar_core/event/normalized_event_testing.hpp"

namespace lumivar {
namespace {

using testing::RecordingSink;

OwnedEmission event_emission(std::uint64_t sequence) {
  NormalizedEvent event = testing::minimal_event("run-1");
  event.sequence = sequence;
  return OwnedEmission::event(std::move(event)).value();
}

OwnedEmission frame_emission(std::size_t payload_bytes) {
  return OwnedEmission::frame(frame_artifact_full(SchemaRef{"chip8.frame", {1, 0, 0}}, "run-1", "chip8", "mv", 0, 0,
                                                  0, ByteString(payload_bytes, 1)))
      .value();
}

OwnedEmission native_emission() {
  return OwnedEmission::native_evidence(native_evidence_record("run-1", "chip8", "mv",
                                                               NativeEvent{{"chip8.event", {1, 0, 0}}, "k", {}}, 0, 0))
      .value();
}

OwnedEmission input_emission() {
  InputApplication application;
  application.input_id = "chip8.key.1";
  return OwnedEmission::input_value_evidence(std::move(application)).value();
}

OwnedEmission snapshot_emission(std::size_t bytes) {
  return OwnedEmission::snapshot(snapshot_envelope(SchemaRef{"chip8.session.snapshot", {5, 0, 0}}, "run-1", "chip8",
                                                   "mv", 0, 0, ByteString(bytes, 0)))
      .value();
}

OwnedEmission run_started() { return OwnedEmission::run_started(RunStartedRecord{}).value(); }
OwnedEmission run_finished() { return OwnedEmission::run_finished(RunFinishedRecord{}).value(); }

CapabilityOutput output(std::string id, JsonValue value) {
  return CapabilityOutput{CapabilitySchema{std::move(id), {1, 0, 0}}, std::move(value)};
}

// Every evidence channel requested.
ObservationRequest full_request(OverflowPolicy overflow) {
  ObservationRequest request;
  request.normalized_events.events = EventSelectionLevel::All;
  request.capabilities.push_back(CapabilityRequest{"a.b", false, JsonValue()});
  request.native_evidence.enabled = true;
  request.frames.capture = FrameCapture::Full;
  request.snapshots.capture = SnapshotCapture{SnapshotCaptureKind::Final, 0};
  request.input_value_evidence.enabled = true;
  request.overflow = overflow;
  return request;
}

BudgetedSink make_sink(ObservationRequest request, DownstreamSinks downstream = {}) {
  Result<BudgetedSink> sink = BudgetedSink::create(std::move(request), "run-1", "chip8", "mv", downstream);
  if (!sink) throw std::runtime_error(sink.error().message);
  return std::move(*sink);
}

const ChannelReceipt& channel_of(const EvidenceReceipt& receipt, EvidenceChannel channel) {
  return receipt.channels[static_cast<std::size_t>(channel)];
}

TEST(BudgetedSink, CreationChecksTheRequest) {
  ObservationRequest request;
  request.normalized_events.state_diffs = true;
  Result<BudgetedSink> sink = BudgetedSink::create(request, "run-1", "chip8", "mv", {});
  ASSERT_FALSE(sink.has_value());
  EXPECT_EQ(sink.error().message, "state diffs require normalized access detail");
}

TEST(BudgetedSink, ForwardsToFileRecorderFirstThenPython) {
  std::vector<std::string> log;
  RecordingSink file("file", &log);
  RecordingSink python("python", &log);
  BudgetedSink sink = make_sink(full_request(OverflowPolicy::Fail), {&file, &python});
  ASSERT_TRUE(sink.emit(run_started()).has_value());
  ASSERT_TRUE(sink.emit(event_emission(0)).has_value());
  ASSERT_TRUE(sink.emit(frame_emission(4)).has_value());
  std::vector<CapabilityOutput> outputs = {output("a.b", JsonValue(1)), output("c.d", JsonValue(2))};
  sink.record_capability_outputs(outputs);
  std::vector<CapabilityReceipt> receipts = {CapabilityReceipt{"a.b", CapabilityStatus::Fulfilled, {}, 0, {}}};
  sink.record_capability_receipts(receipts);
  ASSERT_TRUE(sink.emit(run_finished()).has_value());
  Result<EvidenceReceipt> receipt = sink.finish();
  ASSERT_TRUE(receipt.has_value());

  EXPECT_EQ(log, (std::vector<std::string>{
                     "file:run_started", "python:run_started", "file:event", "python:event", "file:frame",
                     "python:frame", "file:capability_outputs", "python:capability_outputs",
                     "file:capability_outputs", "python:capability_outputs", "python:capability_receipts",
                     "file:run_finished", "python:run_finished", "file:evidence_receipt",
                     "python:evidence_receipt"}));
  // Each admitted output travels on its own; receipts as one list.
  ASSERT_EQ(python.outputs.size(), 2u);
  EXPECT_EQ(python.outputs[1], (std::vector<CapabilityOutput>{outputs[1]}));
  EXPECT_EQ(python.receipts, (std::vector<std::vector<CapabilityReceipt>>{receipts}));
  EXPECT_EQ(python.emissions.back().get<EvidenceReceipt>(), *receipt);
  EXPECT_EQ(receipt->status, ReceiptStatus::Complete);
  EXPECT_EQ(receipt->capabilities, receipts);
}

TEST(BudgetedSink, CountsWithoutDownstreamSinks) {
  BudgetedSink sink = make_sink(full_request(OverflowPolicy::Fail));
  OwnedEmission event = event_emission(0);
  OwnedEmission snapshot = snapshot_emission(40);
  ASSERT_TRUE(sink.emit(run_started()).has_value());
  ASSERT_TRUE(sink.emit(event).has_value());
  ASSERT_TRUE(sink.emit(event).has_value());
  ASSERT_TRUE(sink.emit(snapshot).has_value());
  const EmissionTally& tally = sink.tally();
  EXPECT_EQ(tally[EvidenceChannel::NormalizedEvents], (ChannelTally{2, 2 * event.logical_bytes(), std::nullopt}));
  // A snapshot counts its state bytes, not its JSON.
  EXPECT_EQ(tally[EvidenceChannel::Snapshots], (ChannelTally{1, 40, std::nullopt}));
  EXPECT_EQ(tally[EvidenceChannel::Envelope], (ChannelTally{1, 0, std::nullopt}));
  EXPECT_EQ(tally.total_logical_bytes, 2 * event.logical_bytes() + 40);
}

// One budget set so that two items fit and the third does not.
struct BudgetCase {
  const char* name;
  OwnedEmission (*make)();
  EvidenceChannel channel;
  void (*set_budget)(EmissionBudgets&, std::uint64_t item_bytes);
  BudgetKind exceeded;
};

const BudgetCase kBudgetCases[] = {
    {"normalized events", [] { return event_emission(0); }, EvidenceChannel::NormalizedEvents,
     [](EmissionBudgets& b, std::uint64_t) { b.max_normalized_events = 2; }, BudgetKind::NormalizedEvents},
    {"normalized bytes", [] { return event_emission(0); }, EvidenceChannel::NormalizedEvents,
     [](EmissionBudgets& b, std::uint64_t n) { b.max_normalized_bytes = 3 * n - 1; }, BudgetKind::NormalizedBytes},
    {"item limit before byte limit", [] { return event_emission(0); }, EvidenceChannel::NormalizedEvents,
     [](EmissionBudgets& b, std::uint64_t n) {
       b.max_normalized_events = 2;
       b.max_normalized_bytes = 2 * n;
       b.max_total_logical_bytes = 2 * n;
     },
     BudgetKind::NormalizedEvents},
    {"byte limit before total", [] { return event_emission(0); }, EvidenceChannel::NormalizedEvents,
     [](EmissionBudgets& b, std::uint64_t n) {
       b.max_normalized_bytes = 2 * n;
       b.max_total_logical_bytes = 2 * n;
     },
     BudgetKind::NormalizedBytes},
    {"native events", native_emission, EvidenceChannel::NativeEvidence,
     [](EmissionBudgets& b, std::uint64_t) { b.max_native_events = 2; }, BudgetKind::NativeEvents},
    {"native bytes", native_emission, EvidenceChannel::NativeEvidence,
     [](EmissionBudgets& b, std::uint64_t n) { b.max_native_bytes = 2 * n + 1; }, BudgetKind::NativeBytes},
    {"input value events", input_emission, EvidenceChannel::InputValueEvidence,
     [](EmissionBudgets& b, std::uint64_t) { b.max_input_value_events = 2; }, BudgetKind::InputValueEvents},
    {"input value bytes", input_emission, EvidenceChannel::InputValueEvidence,
     [](EmissionBudgets& b, std::uint64_t n) { b.max_input_value_bytes = 2 * n; }, BudgetKind::InputValueBytes},
    {"snapshot bytes", [] { return snapshot_emission(100); }, EvidenceChannel::Snapshots,
     [](EmissionBudgets& b, std::uint64_t) { b.max_snapshot_bytes = 250; }, BudgetKind::SnapshotBytes},
    {"total bytes", [] { return event_emission(0); }, EvidenceChannel::NormalizedEvents,
     [](EmissionBudgets& b, std::uint64_t n) { b.max_total_logical_bytes = 2 * n; }, BudgetKind::TotalLogicalBytes},
};

TEST(BudgetedSink, AllowIncompleteDropsTheItemAndTruncatesTheChannel) {
  for (const BudgetCase& c : kBudgetCases) {
    OwnedEmission item = c.make();
    ObservationRequest request = full_request(OverflowPolicy::AllowIncomplete);
    c.set_budget(request.budgets, item.logical_bytes());
    RecordingSink python("python");
    BudgetedSink sink = make_sink(request, {nullptr, &python});
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(sink.emit(item).has_value()) << c.name << " item " << i;
    EXPECT_EQ(python.emissions.size(), 2u) << c.name;

    EvidenceReceipt receipt = sink.build_receipt();
    const ChannelReceipt& channel = channel_of(receipt, c.channel);
    EXPECT_EQ(channel.status, ChannelStatus::Truncated) << c.name;
    EXPECT_EQ(channel.item_count, 2u) << c.name;
    EXPECT_EQ(channel.logical_bytes, 2 * item.logical_bytes()) << c.name;
    EXPECT_EQ(receipt.budgets.exceeded, c.exceeded) << c.name;
    EXPECT_EQ(receipt.budgets.observed_logical_bytes, 2 * item.logical_bytes()) << c.name;
    EXPECT_EQ(receipt.status, ReceiptStatus::Incomplete) << c.name;
    EXPECT_FALSE(receipt.failure.has_value()) << c.name;
  }
}

TEST(BudgetedSink, FailRefusesTheItemWithAnError) {
  for (const BudgetCase& c : kBudgetCases) {
    OwnedEmission item = c.make();
    ObservationRequest request = full_request(OverflowPolicy::Fail);
    c.set_budget(request.budgets, item.logical_bytes());
    RecordingSink python("python");
    BudgetedSink sink = make_sink(request, {nullptr, &python});
    EXPECT_TRUE(sink.emit(item).has_value()) << c.name;
    EXPECT_TRUE(sink.emit(item).has_value()) << c.name;
    Result<void> third = sink.emit(item);
    ASSERT_FALSE(third.has_value()) << c.name;
    std::string message = "emission budget exceeded: " + std::string(message_text(c.exceeded));
    EXPECT_EQ(third.error().message, message) << c.name;
    EXPECT_EQ(python.emissions.size(), 2u) << c.name;

    EvidenceReceipt receipt = sink.build_receipt();
    const ChannelReceipt& channel = channel_of(receipt, c.channel);
    EXPECT_EQ(channel.status, ChannelStatus::Failed) << c.name;
    EXPECT_EQ(channel.item_count, 2u) << c.name;
    EXPECT_EQ(receipt.budgets.exceeded, c.exceeded) << c.name;
    EXPECT_EQ(receipt.status, ReceiptStatus::Failed) << c.name;
    EXPECT_EQ(receipt.failure, (EmissionFailure{c.channel, message})) << c.name;
  }
}

TEST(BudgetedSink, FrameByteLimitBoundsEachFrame) {
  OwnedEmission small = frame_emission(2);
  OwnedEmission large = frame_emission(200);
  for (OverflowPolicy overflow : {OverflowPolicy::AllowIncomplete, OverflowPolicy::Fail}) {
    ObservationRequest request = full_request(overflow);
    // Far below the channel's running total, just above one small frame.
    request.budgets.max_frame_bytes = small.logical_bytes();
    RecordingSink python("python");
    BudgetedSink sink = make_sink(request, {nullptr, &python});
    EXPECT_TRUE(sink.emit(small).has_value());
    Result<void> refused = sink.emit(large);
    EXPECT_EQ(refused.has_value(), overflow == OverflowPolicy::AllowIncomplete);
    if (!refused) {
      EXPECT_EQ(refused.error().message, "emission budget exceeded: FrameBytes");
    }
    EXPECT_TRUE(sink.emit(small).has_value());
    EXPECT_TRUE(sink.emit(small).has_value());
    EXPECT_EQ(python.emissions.size(), 3u);
    EXPECT_EQ(sink.tally()[EvidenceChannel::Frames].item_count, 3u);
    EXPECT_EQ(sink.tally()[EvidenceChannel::Frames].logical_bytes, 3 * small.logical_bytes());
    EXPECT_EQ(sink.tally().last_exceeded, BudgetKind::FrameBytes);
  }
}

TEST(BudgetedSink, BudgetsEqualToTheTotalsAdmitEverything) {
  OwnedEmission event = event_emission(0);
  OwnedEmission frame = frame_emission(8);
  ObservationRequest request = full_request(OverflowPolicy::Fail);
  request.budgets.max_normalized_events = 2;
  request.budgets.max_normalized_bytes = 2 * event.logical_bytes();
  request.budgets.max_frame_bytes = frame.logical_bytes();
  request.budgets.max_total_logical_bytes = 2 * event.logical_bytes() + frame.logical_bytes();
  BudgetedSink sink = make_sink(request);
  for (const OwnedEmission* emission : {&event, &event, &frame}) ASSERT_TRUE(sink.emit(*emission).has_value());
  ASSERT_TRUE(sink.emit(run_started()).has_value());
  ASSERT_TRUE(sink.emit(run_finished()).has_value());
  Result<EvidenceReceipt> receipt = sink.finish();
  ASSERT_TRUE(receipt.has_value());
  EXPECT_FALSE(receipt->budgets.exceeded.has_value());
  EXPECT_EQ(channel_of(*receipt, EvidenceChannel::NormalizedEvents).status, ChannelStatus::Complete);
  EXPECT_EQ(channel_of(*receipt, EvidenceChannel::Envelope).item_count, 2u);
  EXPECT_EQ(receipt->status, ReceiptStatus::Complete);
  EXPECT_EQ(receipt->fulfilled_guarantee, ObservationGuarantee::Summary);
}

TEST(BudgetedSink, DownstreamFailureFailsTheChannel) {
  struct Case {
    const char* name;
    bool file_fails;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"file recorder", true, {"file:event"}},
      {"python sink", false, {"file:event", "python:event"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> log;
    RecordingSink file("file", &log);
    RecordingSink python("python", &log);
    (c.file_fails ? file : python).fail_calls({0}, "Python emission batch callback failed");
    BudgetedSink sink = make_sink(full_request(OverflowPolicy::AllowIncomplete), {&file, &python});
    Result<void> result = sink.emit(event_emission(0));
    ASSERT_FALSE(result.has_value()) << c.name;
    EXPECT_EQ(result.error().message, "Python emission batch callback failed") << c.name;
    EXPECT_EQ(log, c.log) << c.name;
    const ChannelTally& tally = sink.tally()[EvidenceChannel::NormalizedEvents];
    EXPECT_EQ(tally, (ChannelTally{0, 0, ChannelStatus::Failed})) << c.name;
    EXPECT_EQ(sink.tally().total_logical_bytes, 0u) << c.name;
    EXPECT_EQ(sink.tally().failure,
              (EmissionFailure{EvidenceChannel::NormalizedEvents, "Python emission batch callback failed"}))
        << c.name;
  }
}

TEST(BudgetedSink, FailedChannelStaysFailedWhenLaterTruncated) {
  ObservationRequest request = full_request(OverflowPolicy::AllowIncomplete);
  request.budgets.max_normalized_events = 1;
  RecordingSink python("python");
  python.fail_calls({0}, "boom");
  BudgetedSink sink = make_sink(request, {nullptr, &python});
  EXPECT_FALSE(sink.emit(event_emission(0)).has_value());
  EXPECT_TRUE(sink.emit(event_emission(1)).has_value());
  EXPECT_TRUE(sink.emit(event_emission(2)).has_value());  // over the budget: dropped
  EXPECT_EQ(sink.tally()[EvidenceChannel::NormalizedEvents].status, ChannelStatus::Failed);
  EXPECT_EQ(sink.tally()[EvidenceChannel::NormalizedEvents].item_count, 1u);
  EXPECT_EQ(sink.tally().last_exceeded, BudgetKind::NormalizedEvents);
}

TEST(BudgetedSink, FinishTwiceFails) {
  RecordingSink python("python");
  BudgetedSink sink = make_sink(ObservationRequest{}, {nullptr, &python});
  ASSERT_TRUE(sink.finish().has_value());
  EXPECT_TRUE(sink.receipt_emitted());
  Result<EvidenceReceipt> again = sink.finish();
  ASSERT_FALSE(again.has_value());
  EXPECT_EQ(again.error().message, "budgeted sink already emitted an evidence receipt");
  EXPECT_EQ(python.emissions.size(), 1u);
  // The receipt is not budgeted: nothing was counted for it.
  EXPECT_EQ(sink.tally().total_logical_bytes, 0u);
  for (const ChannelTally& channel : sink.tally().channels) EXPECT_EQ(channel.item_count, 0u);
}

TEST(BudgetedSink, ReceiptForwardingFailureIsReportedByTheNextReceipt) {
  std::vector<std::string> log;
  RecordingSink file("file", &log);
  RecordingSink python("python", &log);
  file.fail_calls({2}, "disk full");
  BudgetedSink sink = make_sink(ObservationRequest{}, {&file, &python});
  ASSERT_TRUE(sink.emit(run_started()).has_value());
  ASSERT_TRUE(sink.emit(run_finished()).has_value());

  Result<EvidenceReceipt> first = sink.finish();
  ASSERT_FALSE(first.has_value());
  EXPECT_EQ(first.error().message, "disk full");
  EXPECT_FALSE(sink.receipt_emitted());
  EXPECT_EQ(log.back(), "file:evidence_receipt");  // the Python sink was not offered it

  Result<EvidenceReceipt> second = sink.finish();
  ASSERT_TRUE(second.has_value());
  EXPECT_TRUE(sink.receipt_emitted());
  EXPECT_EQ(second->failure, (EmissionFailure{std::nullopt, "disk full"}));
  EXPECT_EQ(second->status, ReceiptStatus::Failed);
  EXPECT_EQ(channel_of(*second, EvidenceChannel::Envelope).status, ChannelStatus::Complete);
  EXPECT_EQ(python.emissions.back().get<EvidenceReceipt>(), *second);
}

TEST(BudgetedSink, CapabilityOutputs) {
  CapabilityOutput small = output("a.b", JsonValue(1));
  CapabilityOutput bad = output("c.d", JsonValue(std::numeric_limits<double>::quiet_NaN()));
  CapabilityOutput large = output("e.f", JsonValue("a long capability output value"));
  std::uint64_t small_bytes = capability_output_json(small).value().size();
  EXPECT_EQ(capability_output_json(small).value(),
            R"({"schema":{"id":"a.b","version":{"major":1,"minor":0,"patch":0}},"value":1})");

  for (OverflowPolicy overflow : {OverflowPolicy::AllowIncomplete, OverflowPolicy::Fail}) {
    ObservationRequest request = full_request(overflow);
    request.budgets.max_capability_bytes = 2 * small_bytes;
    RecordingSink file("file");
    RecordingSink python("python");
    BudgetedSink sink = make_sink(request, {&file, &python});
    std::vector<CapabilityOutput> outputs = {small, bad, large, small};
    sink.record_capability_outputs(outputs);

    EXPECT_EQ(python.outputs, (std::vector<std::vector<CapabilityOutput>>{{small}, {small}}));
    EXPECT_EQ(file.outputs, python.outputs);
    const ChannelTally& tally = sink.tally()[EvidenceChannel::Capabilities];
    EXPECT_EQ(tally.item_count, 2u);
    EXPECT_EQ(tally.logical_bytes, 2 * small_bytes);
    EXPECT_EQ(sink.tally().last_exceeded, BudgetKind::CapabilityBytes);
    // The non-finite output failed the channel; the budget refusal does not undo that.
    EXPECT_EQ(tally.status, ChannelStatus::Failed);
    if (overflow == OverflowPolicy::Fail) {
      EXPECT_EQ(sink.tally().failure,
                (EmissionFailure{EvidenceChannel::Capabilities, "emission budget exceeded: CapabilityBytes"}));
    } else {
      EXPECT_EQ(sink.tally().failure, (EmissionFailure{EvidenceChannel::Capabilities,
                                                       "cannot convert value to canonical JSON: non-finite float"}));
    }
  }
}

TEST(BudgetedSink, CapabilityReceiptsGoOnlyToThePythonSink) {
  std::vector<std::string> log;
  RecordingSink file("file", &log);
  RecordingSink python("python", &log);
  BudgetedSink sink = make_sink(ObservationRequest{}, {&file, &python});
  std::vector<CapabilityReceipt> first = {CapabilityReceipt{"a.b", CapabilityStatus::Unavailable, {}, 0, "why"}};
  std::vector<CapabilityReceipt> second = {CapabilityReceipt{"c.d", CapabilityStatus::Failed, {}, 0, {}}};
  sink.record_capability_receipts(first);
  sink.record_capability_receipts(second);
  EXPECT_EQ(log, (std::vector<std::string>{"python:capability_receipts", "python:capability_receipts"}));
  EXPECT_EQ(sink.build_receipt().capabilities, (std::vector{first[0], second[0]}));
  EXPECT_EQ(sink.build_receipt().status, ReceiptStatus::Failed);
}

TEST(EvidenceChannel, Spellings) {
  const std::string_view channels[] = {"normalized_events", "capabilities",         "native_evidence", "frames",
                                       "snapshots",         "input_value_evidence", "envelope"};
  for (std::size_t i = 0; i < kEvidenceChannelCount; ++i) EXPECT_EQ(spelling(kEvidenceChannels[i]), channels[i]);

  struct Kind {
    std::string_view json;
    std::string_view text;
  };
  const Kind kinds[] = {
      {"normalized_events", "NormalizedEvents"}, {"normalized_bytes", "NormalizedBytes"},
      {"capability_bytes", "CapabilityBytes"},   {"native_events", "NativeEvents"},
      {"native_bytes", "NativeBytes"},           {"frame_bytes", "FrameBytes"},
      {"snapshot_bytes", "SnapshotBytes"},       {"input_value_events", "InputValueEvents"},
      {"input_value_bytes", "InputValueBytes"},  {"total_logical_bytes", "TotalLogicalBytes"},
  };
  for (std::size_t i = 0; i < std::size(kinds); ++i) {
    auto kind = static_cast<BudgetKind>(i);
    EXPECT_EQ(spelling(kind), kinds[i].json);
    EXPECT_EQ(message_text(kind), kinds[i].text);
  }
}

}  // namespace
}  // namespace lumivar
