#include "lumivar_recorder/python_sink/python_sink_set.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumivar::recorder {
namespace {

// Records every delivery; fails the delivery numbered `fail_at` (from 0) as if
// sink `fail_sink` had raised.
class FakeDelivery final : public PythonDelivery {
 public:
  explicit FakeDelivery(std::uint64_t sinks) : sinks_(sinks) {}

  std::uint64_t sink_count() const override { return sinks_; }
  std::optional<DeliveryFault> deliver(PythonCallbackKind kind, std::string_view text) override {
    deliveries.push_back({kind, std::string(text)});
    if (fail_at && deliveries.size() - 1 == *fail_at) return fault;
    return std::nullopt;
  }

  struct Delivery {
    PythonCallbackKind kind;
    std::string text;
  };
  std::vector<Delivery> deliveries;
  std::optional<std::size_t> fail_at;
  DeliveryFault fault{1, "ValueError", "ValueError: boom"};

 private:
  std::uint64_t sinks_;
};

constexpr PythonBatchLimits kLimits{32, 262144};

std::string event_record(int n) {
  return R"({"kind":"event","record":{"n":)" + std::to_string(n) + "}}";
}

std::size_t items_in(const std::string& batch_text) {
  if (batch_text == "[]") return 0;
  std::size_t count = 0;
  for (std::size_t at = batch_text.find("{\"kind\""); at != std::string::npos;
       at = batch_text.find("{\"kind\"", at + 1)) {
    ++count;
  }
  return count;
}

TEST(PythonSinkSet, RefusesZeroLimits) {
  FakeDelivery delivery(1);
  for (PythonBatchLimits limits : {PythonBatchLimits{0, 10}, PythonBatchLimits{10, 0}}) {
    auto set = PythonSinkSet::create(delivery, limits);
    ASSERT_FALSE(set);
    EXPECT_EQ(set.error().message, "Python batch item and logical-byte limits must be non-zero");
  }
}

TEST(PythonSinkSet, BatchesOfThirtyTwoThenTheFinalRecordAlone) {
  FakeDelivery delivery(1);
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  ASSERT_TRUE(set.emit(true, R"({"kind":"run_started","record":{}})"));
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(set.emit(false, event_record(i)));
  ASSERT_TRUE(set.emit(true, R"({"kind":"run_finished","record":{}})"));

  std::vector<std::size_t> sizes;
  for (const auto& d : delivery.deliveries) sizes.push_back(items_in(d.text));
  EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 32, 32, 32, 4, 1}));
  EXPECT_EQ(delivery.deliveries[1].text.substr(0, 40), R"([{"kind":"event","record":{"n":0}},{"kin)");
  EXPECT_EQ(delivery.deliveries.back().text, R"([{"kind":"run_finished","record":{}}])");
  const auto& report = set.report();
  EXPECT_EQ(report.status, PythonSinkStatus::kComplete);
  EXPECT_EQ(report.batches_delivered, 6u);
  EXPECT_EQ(report.items_delivered, 102u);
  EXPECT_EQ(report.peak_batch_items, 32u);
}

TEST(PythonSinkSet, OversizedRecordTravelsAlone) {
  FakeDelivery delivery(1);
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  const std::string big = R"({"kind":"event","record":")" + std::string(300000, 'x') + "\"}";
  ASSERT_TRUE(set.emit(false, event_record(1)));
  ASSERT_TRUE(set.emit(false, big));
  ASSERT_TRUE(set.emit(false, event_record(2)));
  ASSERT_TRUE(set.flush());
  ASSERT_EQ(delivery.deliveries.size(), 3u);
  EXPECT_EQ(delivery.deliveries[1].text, "[" + big + "]");
  EXPECT_EQ(set.report().peak_batch_logical_bytes, big.size());
  EXPECT_EQ(set.report().logical_bytes_delivered,
            big.size() + event_record(1).size() + event_record(2).size());
}

TEST(PythonSinkSet, ByteLimitFlushesBeforeARecordThatWouldPassIt) {
  FakeDelivery delivery(1);
  const std::string record = event_record(0);  // every record has the same length
  auto set = PythonSinkSet::create(delivery, {32, 2 * record.size() + 1}).value();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(set.emit(false, event_record(i)));
  ASSERT_TRUE(set.flush());
  std::vector<std::size_t> sizes;
  for (const auto& d : delivery.deliveries) sizes.push_back(items_in(d.text));
  EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 2, 1}));
}

TEST(PythonSinkSet, FailureOfTheSecondSinkIsRecordedAndLaterEmissionsRefused) {
  FakeDelivery delivery(2);
  delivery.fail_at = 0;
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  for (int i = 0; i < 31; ++i) ASSERT_TRUE(set.emit(false, event_record(i)));
  auto refused = set.emit(false, event_record(31));
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "Python emission batch callback failed");

  const auto& report = set.report();
  EXPECT_EQ(report.status, PythonSinkStatus::kFailed);
  ASSERT_TRUE(report.failure);
  EXPECT_EQ(report.failure->sink_index, 1u);
  EXPECT_EQ(report.failure->sink_identity, "python-sink-1");
  EXPECT_EQ(report.failure->batch_size, 32u);
  EXPECT_EQ(report.failure->successfully_delivered_items, 32u);
  EXPECT_EQ(report.batches_delivered, 0u);
  EXPECT_EQ(report.items_delivered, 0u);

  auto later = set.emit(false, event_record(99));
  ASSERT_FALSE(later);
  EXPECT_EQ(later.error().message,
            "Python sink delivery previously failed: ValueError: ValueError: boom");
  set.deliver_list(PythonCallbackKind::kCapabilityOutputs, std::vector<std::string>{"{}"});
  EXPECT_EQ(delivery.deliveries.size(), 1u);
}

TEST(PythonSinkSet, ParseFailureNamesNoSink) {
  FakeDelivery delivery(2);
  delivery.fail_at = 0;
  delivery.fault = DeliveryFault{std::nullopt, "JSONDecodeError", "JSONDecodeError: bad"};
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  ASSERT_FALSE(set.emit(true, R"({"kind":"run_started","record":{}})"));
  const auto& failure = *set.report().failure;
  EXPECT_EQ(failure.sink_index, 0u);
  EXPECT_FALSE(failure.sink_identity);
  EXPECT_EQ(failure.successfully_delivered_items, 0u);
}

TEST(PythonSinkSet, CapabilityListsFlushFirstAndCountTheirElements) {
  FakeDelivery delivery(2);
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  ASSERT_TRUE(set.emit(false, event_record(1)));
  const std::vector<std::string> outputs{R"({"schema":1,"value":2})", R"({"schema":3,"value":4})"};
  set.deliver_list(PythonCallbackKind::kCapabilityOutputs, outputs);
  ASSERT_EQ(delivery.deliveries.size(), 2u);
  EXPECT_EQ(delivery.deliveries[1].kind, PythonCallbackKind::kCapabilityOutputs);
  EXPECT_EQ(delivery.deliveries[1].text, "[" + outputs[0] + "," + outputs[1] + "]");
  const auto& report = set.report();
  EXPECT_EQ(report.batches_delivered, 4u);  // two deliveries, two sinks each
  EXPECT_EQ(report.items_delivered, 2u * (1 + 2));
  EXPECT_EQ(report.logical_bytes_delivered, 2u * (event_record(1).size() + outputs[0].size() + outputs[1].size()));
}

TEST(PythonSinkSet, CapabilityEncodingFailureIsASerializationError) {
  FakeDelivery delivery(1);
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  set.fail_list_encoding(PythonCallbackKind::kCapabilityReceipts, 3,
                         "canonical structured values reject non-finite floats");
  const auto& failure = *set.report().failure;
  EXPECT_EQ(failure.callback, PythonCallbackKind::kCapabilityReceipts);
  EXPECT_EQ(failure.exception_type, "SerializationError");
  EXPECT_EQ(failure.batch_size, 3u);
  EXPECT_FALSE(failure.sink_identity);
  EXPECT_TRUE(delivery.deliveries.empty());
}

TEST(PythonSinkSet, WithoutSinksNothingIsDelivered) {
  FakeDelivery delivery(0);
  auto set = PythonSinkSet::create(delivery, kLimits).value();
  ASSERT_TRUE(set.emit(true, R"({"kind":"run_started","record":{}})"));
  ASSERT_TRUE(set.emit(false, event_record(1)));
  set.deliver_list(PythonCallbackKind::kCapabilityOutputs, std::vector<std::string>{"{}"});
  ASSERT_TRUE(set.flush());
  EXPECT_TRUE(delivery.deliveries.empty());
  EXPECT_EQ(set.report().status, PythonSinkStatus::kNotRequested);
  EXPECT_EQ(set.report().items_delivered, 0u);
}

}  // namespace
}  // namespace lumivar::recorder
