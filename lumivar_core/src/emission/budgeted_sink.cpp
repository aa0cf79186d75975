#include "lumivar_core/emission/budgeted_sink.hpp"

#include <limits>
#include <utility>

namespace lumivar {

namespace {

constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint64_t>::max();

struct Limit {
  std::optional<std::uint64_t> value;
  BudgetKind kind = BudgetKind::TotalLogicalBytes;
};

// The item and byte limits of a channel; absent limits do not apply.
struct ChannelLimits {
  Limit items;
  Limit bytes;
};

ChannelLimits channel_limits(const EmissionBudgets& budgets, EvidenceChannel channel) {
  switch (channel) {
    case EvidenceChannel::NormalizedEvents:
      return {{budgets.max_normalized_events, BudgetKind::NormalizedEvents},
              {budgets.max_normalized_bytes, BudgetKind::NormalizedBytes}};
    case EvidenceChannel::Capabilities:
      return {{}, {budgets.max_capability_bytes, BudgetKind::CapabilityBytes}};
    case EvidenceChannel::NativeEvidence:
      return {{budgets.max_native_events, BudgetKind::NativeEvents},
              {budgets.max_native_bytes, BudgetKind::NativeBytes}};
    case EvidenceChannel::Frames:
      return {{}, {budgets.max_frame_bytes, BudgetKind::FrameBytes}};
    case EvidenceChannel::Snapshots:
      return {{}, {budgets.max_snapshot_bytes, BudgetKind::SnapshotBytes}};
    case EvidenceChannel::InputValueEvidence:
      return {{budgets.max_input_value_events, BudgetKind::InputValueEvents},
              {budgets.max_input_value_bytes, BudgetKind::InputValueBytes}};
    case EvidenceChannel::Envelope:
      return {};
  }
  fatal("evidence channel out of range");
}

bool exceeds(const Limit& limit, std::uint64_t figure) { return limit.value && figure > *limit.value; }

}  // namespace

BudgetedSink::BudgetedSink(ObservationRequest request, std::string run_id, std::string machine_id,
                           std::string machine_version, DownstreamSinks downstream)
    : request_(std::move(request)),
      run_id_(std::move(run_id)),
      machine_id_(std::move(machine_id)),
      machine_version_(std::move(machine_version)),
      downstream_(downstream) {}

Result<BudgetedSink> BudgetedSink::create(ObservationRequest request, std::string run_id, std::string machine_id,
                                          std::string machine_version, DownstreamSinks downstream) {
  if (Result<void> checked = check_observation_request(request); !checked) {
    return std::unexpected(checked.error());
  }
  return BudgetedSink(std::move(request), std::move(run_id), std::move(machine_id), std::move(machine_version),
                      downstream);
}

Result<BudgetedSink::Admission> BudgetedSink::admit(EvidenceChannel channel, std::uint64_t logical_bytes) {
  ChannelTally& counted = tally_[channel];
  // Frames and the envelope have no running limit, but their counters are
  // checked like every other so that none of them can wrap.
  if (counted.item_count == kMaxCount) return fail("emission item count overflow");
  if (logical_bytes > kMaxCount - counted.logical_bytes) return fail("emission byte count overflow");
  if (logical_bytes > kMaxCount - tally_.total_logical_bytes) return fail("total emission byte count overflow");
  std::uint64_t items = counted.item_count + 1;
  // A frame's byte limit bounds each frame on its own.
  std::uint64_t bytes = channel == EvidenceChannel::Frames ? logical_bytes : counted.logical_bytes + logical_bytes;
  std::uint64_t total = tally_.total_logical_bytes + logical_bytes;

  ChannelLimits limits = channel_limits(request_.budgets, channel);
  std::optional<BudgetKind> exceeded;
  if (exceeds(limits.items, items)) {
    exceeded = limits.items.kind;
  } else if (exceeds(limits.bytes, bytes)) {
    exceeded = limits.bytes.kind;
  } else if (exceeds(Limit{request_.budgets.max_total_logical_bytes, BudgetKind::TotalLogicalBytes}, total)) {
    exceeded = BudgetKind::TotalLogicalBytes;
  }
  if (!exceeded) return Admission::Admitted;

  tally_.last_exceeded = *exceeded;
  std::string message = "emission budget exceeded: " + std::string(message_text(*exceeded));
  if (request_.overflow == OverflowPolicy::AllowIncomplete) {
    // A channel that already failed stays failed: truncation is the lesser news.
    if (counted.status != ChannelStatus::Failed) counted.status = ChannelStatus::Truncated;
    return Admission::Refused;
  }
  mark_failed(channel);
  record_failure(channel, message);
  return fail(std::move(message));
}

Result<void> BudgetedSink::forward(const OwnedEmission& emission) {
  if (downstream_.file_recorder != nullptr) {
    if (Result<void> written = downstream_.file_recorder->emit(emission); !written) return written;
  }
  if (downstream_.python_batch_sink != nullptr) return downstream_.python_batch_sink->emit(emission);
  return {};
}

void BudgetedSink::count(EvidenceChannel channel, std::uint64_t logical_bytes) {
  // admit checked that none of these can overflow.
  ChannelTally& counted = tally_[channel];
  counted.item_count += 1;
  counted.logical_bytes += logical_bytes;
  tally_.total_logical_bytes += logical_bytes;
}

void BudgetedSink::mark_failed(EvidenceChannel channel) { tally_[channel].status = ChannelStatus::Failed; }

void BudgetedSink::record_failure(std::optional<EvidenceChannel> channel, std::string message) {
  tally_.failure = EmissionFailure{channel, std::move(message)};
}

Result<void> BudgetedSink::emit(const OwnedEmission& emission) {
  std::optional<EvidenceChannel> channel = emission_channel(emission.kind());
  if (!channel) {
    // The evidence receipt: not budgeted, not counted, and its failure
    // belongs to no channel.
    Result<void> forwarded = forward(emission);
    if (!forwarded) record_failure(std::nullopt, forwarded.error().message);
    return forwarded;
  }
  std::uint64_t logical_bytes = emission.logical_bytes();
  Result<Admission> admission = admit(*channel, logical_bytes);
  if (!admission) return std::unexpected(std::move(admission.error()));
  if (*admission == Admission::Refused) return {};
  Result<void> forwarded = forward(emission);
  if (!forwarded) {
    mark_failed(*channel);
    record_failure(*channel, forwarded.error().message);
    return forwarded;
  }
  count(*channel, logical_bytes);
  return {};
}

void BudgetedSink::record_capability_outputs(std::span<const CapabilityOutput> outputs) {
  constexpr EvidenceChannel kChannel = EvidenceChannel::Capabilities;
  for (const CapabilityOutput& output : outputs) {
    Result<std::string> json = capability_output_json(output);
    if (!json) {
      mark_failed(kChannel);
      record_failure(kChannel, std::move(json.error().message));
      continue;
    }
    std::uint64_t logical_bytes = json->size();
    // A "fail" overflow is recorded by admit; nothing is returned from here.
    Result<Admission> admission = admit(kChannel, logical_bytes);
    if (!admission || *admission == Admission::Refused) continue;
    if (downstream_.file_recorder != nullptr) downstream_.file_recorder->record_encoded_capability_output(output, *json);
    if (downstream_.python_batch_sink != nullptr) {
      downstream_.python_batch_sink->record_encoded_capability_output(output, *json);
    }
    count(kChannel, logical_bytes);
  }
}

void BudgetedSink::record_capability_receipts(std::span<const CapabilityReceipt> receipts) {
  capability_receipts_.insert(capability_receipts_.end(), receipts.begin(), receipts.end());
  if (downstream_.python_batch_sink != nullptr) downstream_.python_batch_sink->record_capability_receipts(receipts);
}

EvidenceReceipt BudgetedSink::build_receipt() const {
  return build_evidence_receipt(request_, run_id_, machine_id_, machine_version_, tally_, capability_receipts_);
}

Result<EvidenceReceipt> BudgetedSink::finish() {
  if (receipt_emitted_) return fail("budgeted sink already emitted an evidence receipt");
  EvidenceReceipt receipt = build_receipt();
  Result<OwnedEmission> emission = OwnedEmission::evidence_receipt(receipt);
  if (!emission) return std::unexpected(std::move(emission.error()));
  if (Result<void> emitted = emit(*emission); !emitted) return std::unexpected(std::move(emitted.error()));
  receipt_emitted_ = true;
  return receipt;
}

}  // namespace lumivar
