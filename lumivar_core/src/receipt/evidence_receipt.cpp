#include "lumivar_core/receipt/evidence_receipt.hpp"

#include <algorithm>
#include <utility>

namespace lumivar {

namespace {

constexpr std::size_t kEnvelopeItemsOfCompleteStream = 2;  // run_started and run_finished

void write_capability_schema(JsonWriter& writer, const CapabilitySchema& schema) {
  writer.begin_object();
  writer.key("id");
  writer.write_string(schema.id);
  writer.key("version");
  write_schema_version(writer, schema.version);
  writer.end_object();
}

void write_channel_receipt(JsonWriter& writer, const ChannelReceipt& receipt, MemberOrder order) {
  JsonMember members[] = {
      {"channel", [&](JsonWriter& w) { w.write_string(spelling(receipt.channel)); }},
      {"requested", [&](JsonWriter& w) { w.write_bool(receipt.requested); }},
      {"status", [&](JsonWriter& w) { w.write_string(spelling(receipt.status)); }},
      {"item_count", [&](JsonWriter& w) { w.write_u64(receipt.item_count); }},
      {"logical_bytes", [&](JsonWriter& w) { w.write_u64(receipt.logical_bytes); }},
      {"encoded_bytes", [&](JsonWriter& w) { write_optional_u64(w, receipt.encoded_bytes); }},
  };
  write_object_members(writer, order, members);
}

void write_budget_receipt(JsonWriter& writer, const BudgetReceipt& receipt, MemberOrder order) {
  JsonMember members[] = {
      {"configured", [&](JsonWriter& w) { write_emission_budgets(w, receipt.configured, order); }},
      {"exceeded",
       [&](JsonWriter& w) {
         if (receipt.exceeded) w.write_string(spelling(*receipt.exceeded)); else w.write_null();
       }},
      {"observed_logical_bytes", [&](JsonWriter& w) { w.write_u64(receipt.observed_logical_bytes); }},
  };
  write_object_members(writer, order, members);
}

void write_emission_failure(JsonWriter& writer, const EmissionFailure& failure, MemberOrder order) {
  JsonMember members[] = {
      {"channel",
       [&](JsonWriter& w) {
         if (failure.channel) w.write_string(spelling(*failure.channel)); else w.write_null();
       }},
      {"message", [&](JsonWriter& w) { w.write_string(failure.message); }},
  };
  write_object_members(writer, order, members);
}

void write_guarantee(JsonWriter& writer, const std::optional<ObservationGuarantee>& guarantee) {
  if (guarantee) writer.write_string(spelling(*guarantee)); else writer.write_null();
}

}  // namespace

std::string_view spelling(ChannelStatus status) {
  switch (status) {
    case ChannelStatus::Complete: return "complete";
    case ChannelStatus::Omitted: return "omitted";
    case ChannelStatus::Truncated: return "truncated";
    case ChannelStatus::Failed: return "failed";
  }
  fatal("channel status out of range");
}

std::string_view spelling(CapabilityStatus status) {
  switch (status) {
    case CapabilityStatus::Fulfilled: return "fulfilled";
    case CapabilityStatus::Unavailable: return "unavailable";
    case CapabilityStatus::Failed: return "failed";
    case CapabilityStatus::Incomplete: return "incomplete";
  }
  fatal("capability status out of range");
}

std::string_view spelling(ReceiptStatus status) {
  switch (status) {
    case ReceiptStatus::Complete: return "complete";
    case ReceiptStatus::Incomplete: return "incomplete";
    case ReceiptStatus::Failed: return "failed";
  }
  fatal("receipt status out of range");
}

bool channel_requested(const ObservationRequest& request, EvidenceChannel channel) {
  switch (channel) {
    case EvidenceChannel::NormalizedEvents: return !request.normalized_events.events.is_none();
    case EvidenceChannel::Capabilities: return !request.capabilities.empty();
    case EvidenceChannel::NativeEvidence: return request.native_evidence.enabled;
    case EvidenceChannel::Frames: return request.frames.capture != FrameCapture::None;
    case EvidenceChannel::Snapshots: return request.snapshots.capture.kind != SnapshotCaptureKind::None;
    case EvidenceChannel::InputValueEvidence: return request.input_value_evidence.enabled;
    case EvidenceChannel::Envelope: return true;
  }
  fatal("evidence channel out of range");
}

EvidenceReceipt build_evidence_receipt(const ObservationRequest& request, std::string run_id, std::string machine_id,
                                       std::string machine_version, const EmissionTally& tally,
                                       std::span<const CapabilityReceipt> capabilities) {
  EvidenceReceipt receipt;
  receipt.run_id = std::move(run_id);
  receipt.machine_id = std::move(machine_id);
  receipt.machine_version = std::move(machine_version);
  receipt.requested_guarantee = request.guarantee;

  receipt.channels.reserve(kEvidenceChannelCount);
  for (EvidenceChannel channel : kEvidenceChannels) {
    const ChannelTally& counted = tally[channel];
    ChannelReceipt entry;
    entry.channel = channel;
    entry.requested = channel_requested(request, channel);
    entry.status = !entry.requested ? ChannelStatus::Omitted : counted.status.value_or(ChannelStatus::Complete);
    entry.item_count = counted.item_count;
    entry.logical_bytes = counted.logical_bytes;
    receipt.channels.push_back(entry);
  }
  bool envelope_short = tally[EvidenceChannel::Envelope].item_count < kEnvelopeItemsOfCompleteStream;
  if (!tally.failure && envelope_short) {
    receipt.channels[static_cast<std::size_t>(EvidenceChannel::Envelope)].status = ChannelStatus::Omitted;
  }

  receipt.capabilities.assign(capabilities.begin(), capabilities.end());
  auto any_capability = [&](CapabilityStatus status) {
    return std::ranges::any_of(receipt.capabilities,
                               [&](const CapabilityReceipt& c) { return c.status == status; });
  };
  bool truncated = std::ranges::any_of(
      receipt.channels, [](const ChannelReceipt& c) { return c.status == ChannelStatus::Truncated; });
  if (tally.failure || any_capability(CapabilityStatus::Failed)) {
    receipt.status = ReceiptStatus::Failed;
  } else if (any_capability(CapabilityStatus::Incomplete) || truncated || envelope_short) {
    receipt.status = ReceiptStatus::Incomplete;
  } else {
    receipt.status = ReceiptStatus::Complete;
  }
  if (receipt.status == ReceiptStatus::Complete) receipt.fulfilled_guarantee = request.guarantee;

  receipt.budgets = BudgetReceipt{request.budgets, tally.last_exceeded, tally.total_logical_bytes};
  receipt.failure = tally.failure;
  return receipt;
}

void write_emission_budgets(JsonWriter& writer, const EmissionBudgets& budgets, MemberOrder order) {
  auto limit = [](const std::optional<std::uint64_t>& value) {
    return [&value](JsonWriter& w) { write_optional_u64(w, value); };
  };
  JsonMember members[] = {
      {"max_normalized_events", limit(budgets.max_normalized_events)},
      {"max_normalized_bytes", limit(budgets.max_normalized_bytes)},
      {"max_capability_bytes", limit(budgets.max_capability_bytes)},
      {"max_native_events", limit(budgets.max_native_events)},
      {"max_native_bytes", limit(budgets.max_native_bytes)},
      {"max_frame_bytes", limit(budgets.max_frame_bytes)},
      {"max_snapshot_bytes", limit(budgets.max_snapshot_bytes)},
      {"max_input_value_events", limit(budgets.max_input_value_events)},
      {"max_input_value_bytes", limit(budgets.max_input_value_bytes)},
      {"max_total_logical_bytes", limit(budgets.max_total_logical_bytes)},
  };
  write_object_members(writer, order, members);
}

void write_capability_receipt(JsonWriter& writer, const CapabilityReceipt& receipt, MemberOrder order) {
  JsonMember members[] = {
      {"id", [&](JsonWriter& w) { w.write_string(receipt.id); }},
      {"status", [&](JsonWriter& w) { w.write_string(spelling(receipt.status)); }},
      {"output_schema",
       [&](JsonWriter& w) {
         if (receipt.output_schema) write_capability_schema(w, *receipt.output_schema); else w.write_null();
       }},
      {"logical_bytes", [&](JsonWriter& w) { w.write_u64(receipt.logical_bytes); }},
      {"message", [&](JsonWriter& w) { write_optional_string(w, receipt.message); }},
  };
  write_object_members(writer, order, members);
}

void write_evidence_receipt(JsonWriter& writer, const EvidenceReceipt& receipt, MemberOrder order) {
  JsonMember members[] = {
      {"schema_version", [&](JsonWriter& w) { write_schema_version(w, receipt.schema_version); }},
      {"run_id", [&](JsonWriter& w) { w.write_string(receipt.run_id); }},
      {"machine_id", [&](JsonWriter& w) { w.write_string(receipt.machine_id); }},
      {"machine_version", [&](JsonWriter& w) { w.write_string(receipt.machine_version); }},
      {"requested_guarantee", [&](JsonWriter& w) { w.write_string(spelling(receipt.requested_guarantee)); }},
      {"fulfilled_guarantee", [&](JsonWriter& w) { write_guarantee(w, receipt.fulfilled_guarantee); }},
      {"status", [&](JsonWriter& w) { w.write_string(spelling(receipt.status)); }},
      {"channels",
       [&](JsonWriter& w) {
         w.begin_array();
         for (const ChannelReceipt& channel : receipt.channels) write_channel_receipt(w, channel, order);
         w.end_array();
       }},
      {"capabilities",
       [&](JsonWriter& w) {
         w.begin_array();
         for (const CapabilityReceipt& capability : receipt.capabilities) {
           write_capability_receipt(w, capability, order);
         }
         w.end_array();
       }},
      {"budgets", [&](JsonWriter& w) { write_budget_receipt(w, receipt.budgets, order); }},
      {"failure",
       [&](JsonWriter& w) {
         if (receipt.failure) write_emission_failure(w, *receipt.failure, order); else w.write_null();
       }},
  };
  write_object_members(writer, order, members);
}

}  // namespace lumivar
