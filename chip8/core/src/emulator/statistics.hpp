#pragma once
// Run-wide statistics of the emulator. The sets are updated on every cycle, so
// their containers are chosen for the hot path. Executed addresses and the
// transitions most steps make (fall-through, skip and self edges) are flag bits
// of one byte per source address, so a typical step costs one byte OR; only the
// remaining edges (jumps, calls, returns) go to a hash set. Written addresses
// are a 65,536-bit bitmap. Membership and sizes are those of plain sets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace chip8 {

// A set of 16-bit addresses.
class AddressSet {
 public:
  void insert(std::uint16_t address) { words_[address >> 6] |= std::uint64_t{1} << (address & 63); }
  // Inserts address, address + 1, ... address + length - 1, wrapping at 64 KiB.
  void insert_range(std::uint16_t address, std::uint16_t length);
  bool contains(std::uint16_t address) const { return ((words_[address >> 6] >> (address & 63)) & 1) != 0; }
  std::size_t size() const;
  void clear() { words_.fill(0); }

  friend bool operator==(const AddressSet&, const AddressSet&) = default;

 private:
  std::array<std::uint64_t, 0x10000 / 64> words_{};
};

// A hash set of (from, to) pairs for the edges that are not fall-through, skip or
// self edges. Open addressing with linear probing, at most half full.
class EdgeHashSet {
 public:
  EdgeHashSet();

  void insert(std::uint16_t from, std::uint16_t to) {
    const std::uint32_t k = key(from, to);
    std::size_t slot = slot_of(k);
    while (true) {
      const std::uint32_t held = slots_[slot];
      if (held == k) return;
      if (held == kEmptySlot) break;
      slot = (slot + 1) & (slots_.size() - 1);
    }
    add(slot, k);
  }
  bool contains(std::uint16_t from, std::uint16_t to) const;
  std::size_t size() const { return count_; }
  void clear();

  friend bool operator==(const EdgeHashSet& a, const EdgeHashSet& b);

 private:
  // Self edges never reach this set, so the key of (0xFFFF, 0xFFFF) marks empty slots.
  static constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;

  static constexpr std::uint32_t key(std::uint16_t from, std::uint16_t to) {
    return static_cast<std::uint32_t>(from) << 16 | to;
  }
  std::size_t slot_of(std::uint32_t k) const { return static_cast<std::size_t>((k * 0x9E3779B1u) >> hash_shift_); }
  void add(std::size_t slot, std::uint32_t k);
  void grow();

  std::vector<std::uint32_t> slots_;  // power-of-two size
  std::size_t count_ = 0;
  unsigned hash_shift_ = 0;
};

// The executed-address set and the transition set, kept together because every
// step adds to both.
class StepCoverage {
 public:
  // Adds `from` to the executed addresses and (from, to) to the transitions.
  void record(std::uint16_t from, std::uint16_t to) {
    const auto delta = static_cast<std::uint16_t>(to - from);
    const std::uint8_t edge = delta < kEdgeMarks.size() ? kEdgeMarks[delta] : 0;
    if (edge == 0) [[unlikely]] other_edges_.insert(from, to);
    marks_[from] |= static_cast<std::uint8_t>(kExecuted | edge);
  }

  bool executed(std::uint16_t address) const { return (marks_[address] & kExecuted) != 0; }
  std::size_t executed_count() const;
  bool has_transition(std::uint16_t from, std::uint16_t to) const;
  std::size_t transition_count() const;
  void clear();

  friend bool operator==(const StepCoverage&, const StepCoverage&) = default;

 private:
  static constexpr std::uint8_t kExecuted = 1;     // address was the PC before a step
  static constexpr std::uint8_t kFallThrough = 2;  // edge (a, a + 2)
  static constexpr std::uint8_t kSkip = 4;         // edge (a, a + 4)
  static constexpr std::uint8_t kSelf = 8;         // edge (a, a): halted steps and key-wait polls
  // The mark of the edge (a, a + delta) for small deltas; 0 means the hash set keeps it.
  static constexpr std::array<std::uint8_t, 5> kEdgeMarks{kSelf, 0, kFallThrough, 0, kSkip};

  std::array<std::uint8_t, 0x10000> marks_{};
  EdgeHashSet other_edges_;
};

// Counters that stop at their maximum instead of wrapping.
inline void saturating_increment(std::uint32_t& counter) {
  if (counter != std::numeric_limits<std::uint32_t>::max()) ++counter;
}

struct EmulatorStatistics {
  StepCoverage coverage;                 // executed addresses (PC before each step) and (PC before, PC after) transitions
  AddressSet written_addresses;          // every byte covered by a memory_write event
  std::uint8_t max_stack_depth = 0;      // largest SP seen after a step
  std::uint32_t draw_count = 0;          // draw events, saturating
  std::uint32_t collision_count = 0;     // draw events with collision, saturating
  std::uint32_t input_opcode_count = 0;  // key_wait_entered plus key_wait_resolved events, saturating

  void clear();

  friend bool operator==(const EmulatorStatistics&, const EmulatorStatistics&) = default;
};

}  // namespace chip8
