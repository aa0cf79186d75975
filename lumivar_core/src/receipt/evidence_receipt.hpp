#pragma once
// EvidenceReceipt: the closing statement of a run's evidence: what was asked
// for, what each channel delivered, what became of each requested capability,
// how much of the budgets was used and what failure, if any, stopped emission.
// The budgeted sink builds it from its tallies; building cannot fail.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumivar_core/emission/evidence_channel.hpp"
#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/event/json_members.hpp"
#include "lumivar_core/observation/normalizer_catalog.hpp"
#include "lumivar_core/observation/observation_request.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

inline constexpr SchemaVersion kEvidenceReceiptSchemaVersion{2, 1, 0};

enum class ChannelStatus : std::uint8_t { Complete = 0, Omitted = 1, Truncated = 2, Failed = 3 };
enum class CapabilityStatus : std::uint8_t { Fulfilled = 0, Unavailable = 1, Failed = 2, Incomplete = 3 };
enum class ReceiptStatus : std::uint8_t { Complete = 0, Incomplete = 1, Failed = 2 };

[[nodiscard]] std::string_view spelling(ChannelStatus status);
[[nodiscard]] std::string_view spelling(CapabilityStatus status);
[[nodiscard]] std::string_view spelling(ReceiptStatus status);

struct ChannelReceipt {
  EvidenceChannel channel = EvidenceChannel::NormalizedEvents;
  bool requested = false;
  ChannelStatus status = ChannelStatus::Omitted;
  std::uint64_t item_count = 0;
  std::uint64_t logical_bytes = 0;
  std::optional<std::uint64_t> encoded_bytes;  // filled by a recorder that knows encoded sizes

  friend bool operator==(const ChannelReceipt&, const ChannelReceipt&) = default;
};

struct CapabilityReceipt {
  std::string id;  // capability ID
  CapabilityStatus status = CapabilityStatus::Fulfilled;
  std::optional<CapabilitySchema> output_schema;
  std::uint64_t logical_bytes = 0;
  std::optional<std::string> message;

  friend bool operator==(const CapabilityReceipt&, const CapabilityReceipt&) = default;
};

struct BudgetReceipt {
  EmissionBudgets configured;
  std::optional<BudgetKind> exceeded;  // the budget exceeded most recently
  std::uint64_t observed_logical_bytes = 0;

  friend bool operator==(const BudgetReceipt&, const BudgetReceipt&) = default;
};

struct EmissionFailure {
  std::optional<EvidenceChannel> channel;  // none for a failure that belongs to no channel
  std::string message;

  friend bool operator==(const EmissionFailure&, const EmissionFailure&) = default;
};

// Members in document order.
struct EvidenceReceipt {
  SchemaVersion schema_version = kEvidenceReceiptSchemaVersion;
  std::string run_id;
  std::string machine_id;
  std::string machine_version;
  ObservationGuarantee requested_guarantee = ObservationGuarantee::Summary;
  std::optional<ObservationGuarantee> fulfilled_guarantee;  // requested_guarantee when status is complete
  ReceiptStatus status = ReceiptStatus::Complete;
  std::vector<ChannelReceipt> channels;  // seven, in channel order
  std::vector<CapabilityReceipt> capabilities;
  BudgetReceipt budgets;
  std::optional<EmissionFailure> failure;

  friend bool operator==(const EvidenceReceipt&, const EvidenceReceipt&) = default;
};

// What the budgeted sink counted on one channel. status is set only once the
// channel was truncated or failed.
struct ChannelTally {
  std::uint64_t item_count = 0;
  std::uint64_t logical_bytes = 0;
  std::optional<ChannelStatus> status;

  friend bool operator==(const ChannelTally&, const ChannelTally&) = default;
};

// Everything of the budgeted sink a receipt is built from.
struct EmissionTally {
  std::array<ChannelTally, kEvidenceChannelCount> channels{};
  std::uint64_t total_logical_bytes = 0;
  std::optional<BudgetKind> last_exceeded;
  std::optional<EmissionFailure> failure;  // the most recent one

  [[nodiscard]] ChannelTally& operator[](EvidenceChannel channel) {
    return channels[static_cast<std::size_t>(channel)];
  }
  [[nodiscard]] const ChannelTally& operator[](EvidenceChannel channel) const {
    return channels[static_cast<std::size_t>(channel)];
  }
};

// Whether the request asks for evidence on a channel (the envelope always).
[[nodiscard]] bool channel_requested(const ObservationRequest& request, EvidenceChannel channel);

[[nodiscard]] EvidenceReceipt build_evidence_receipt(const ObservationRequest& request, std::string run_id,
                                                     std::string machine_id, std::string machine_version,
                                                     const EmissionTally& tally,
                                                     std::span<const CapabilityReceipt> capabilities);

// JSON forms. KeyOrder for JSON that leaves the system (records, run result),
// DocumentOrder for the published receipt file; nested documents follow the
// same order.
void write_evidence_receipt(JsonWriter& writer, const EvidenceReceipt& receipt,
                            MemberOrder order = MemberOrder::KeyOrder);
void write_capability_receipt(JsonWriter& writer, const CapabilityReceipt& receipt,
                              MemberOrder order = MemberOrder::KeyOrder);
void write_emission_budgets(JsonWriter& writer, const EmissionBudgets& budgets,
                            MemberOrder order = MemberOrder::KeyOrder);

}  // namespace lumivar
