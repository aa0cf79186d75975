#pragma once
// The accounting channels of the emission stream and the budgets that bound
// them. Both orders are the variant orders of their documents: receipts list
// channels in this order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumivar {

enum class EvidenceChannel : std::uint8_t {
  NormalizedEvents = 0,
  Capabilities = 1,
  NativeEvidence = 2,
  Frames = 3,
  Snapshots = 4,
  InputValueEvidence = 5,
  Envelope = 6,
};

inline constexpr std::size_t kEvidenceChannelCount = 7;

inline constexpr std::array<EvidenceChannel, kEvidenceChannelCount> kEvidenceChannels = {
    EvidenceChannel::NormalizedEvents, EvidenceChannel::Capabilities, EvidenceChannel::NativeEvidence,
    EvidenceChannel::Frames,           EvidenceChannel::Snapshots,    EvidenceChannel::InputValueEvidence,
    EvidenceChannel::Envelope,
};

// "normalized_events", "capabilities", ... "envelope"
[[nodiscard]] std::string_view spelling(EvidenceChannel channel);

enum class BudgetKind : std::uint8_t {
  NormalizedEvents = 0,
  NormalizedBytes = 1,
  CapabilityBytes = 2,
  NativeEvents = 3,
  NativeBytes = 4,
  FrameBytes = 5,
  SnapshotBytes = 6,
  InputValueEvents = 7,
  InputValueBytes = 8,
  TotalLogicalBytes = 9,
};

// JSON spelling: "normalized_events", "normalized_bytes", ...
[[nodiscard]] std::string_view spelling(BudgetKind kind);
// Text form in messages: NormalizedEvents, NormalizedBytes, ...
[[nodiscard]] std::string_view message_text(BudgetKind kind);

}  // namespace lumivar
