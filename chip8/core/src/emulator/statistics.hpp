#pragma once
// Run-wide statistics of the emulator. The three sets are updated on every
// cycle, so their containers are chosen for the hot path: addresses live in a
// 65,536-bit bitmap, and the transition set keeps the edges most steps produce
// (fall-through, skip and self edges) in bitmaps indexed by the source address,
// with only the remaining edges (jumps, calls, returns) in a hash set.

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

// A set of (from, to) address pairs.
class TransitionSet {
 public:
  TransitionSet();

  void insert(std::uint16_t from, std::uint16_t to) {
    switch (static_cast<std::uint16_t>(to - from)) {
      case 2: fall_through_.insert(from); return;
      case 4: skip_.insert(from); return;
      case 0: self_.insert(from); return;
      default: insert_other(key(from, to)); return;
    }
  }
  bool contains(std::uint16_t from, std::uint16_t to) const;
  std::size_t size() const;
  void clear();

  friend bool operator==(const TransitionSet& a, const TransitionSet& b);

 private:
  // Self edges never reach the hash set, so the key of (0xFFFF, 0xFFFF) can mark empty slots.
  static constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;

  static constexpr std::uint32_t key(std::uint16_t from, std::uint16_t to) {
    return static_cast<std::uint32_t>(from) << 16 | to;
  }
  std::size_t slot_of(std::uint32_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> hash_shift_);
  }
  void insert_other(std::uint32_t key) {
    std::size_t slot = slot_of(key);
    while (true) {
      const std::uint32_t held = slots_[slot];
      if (held == key) return;
      if (held == kEmptySlot) break;
      slot = (slot + 1) & (slots_.size() - 1);
    }
    add_other(slot, key);
  }
  void add_other(std::size_t slot, std::uint32_t key);
  bool contains_other(std::uint32_t key) const;
  void grow();

  AddressSet fall_through_;  // (a, a + 2)
  AddressSet skip_;          // (a, a + 4)
  AddressSet self_;          // (a, a): halted steps and key-wait polls
  std::vector<std::uint32_t> slots_;  // open addressing, linear probing, power-of-two size
  std::size_t other_count_ = 0;
  unsigned hash_shift_ = 0;
};

// Counters that stop at their maximum instead of wrapping.
inline void saturating_increment(std::uint32_t& counter) {
  if (counter != std::numeric_limits<std::uint32_t>::max()) ++counter;
}

struct EmulatorStatistics {
  AddressSet executed_addresses;       // PC before each step
  TransitionSet transitions;           // (PC before, PC after) of each step
  AddressSet written_addresses;        // every byte covered by a memory_write event
  std::uint8_t max_stack_depth = 0;    // largest SP seen after a step
  std::uint32_t draw_count = 0;        // draw events, saturating
  std::uint32_t collision_count = 0;   // draw events with collision, saturating
  std::uint32_t input_opcode_count = 0;  // key_wait_entered plus key_wait_resolved events, saturating

  void clear();

  friend bool operator==(const EmulatorStatistics&, const EmulatorStatistics&) = default;
};

}  // namespace chip8
