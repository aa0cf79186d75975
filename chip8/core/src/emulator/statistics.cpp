#include "chip8_core/emulator/statistics.hpp"

#include <algorithm>
#include <bit>

namespace chip8 {
namespace {

constexpr std::size_t kInitialSlots = 256;  // enough for the jump, call and return edges of most programs

}  // namespace

void AddressSet::insert_range(std::uint16_t address, std::uint16_t length) {
  for (std::uint16_t i = 0; i < length; ++i) insert(static_cast<std::uint16_t>(address + i));
}

std::size_t AddressSet::size() const {
  std::size_t count = 0;
  for (const std::uint64_t word : words_) count += static_cast<std::size_t>(std::popcount(word));
  return count;
}

TransitionSet::TransitionSet() : slots_(kInitialSlots, kEmptySlot), hash_shift_(32 - std::countr_zero(kInitialSlots)) {}

bool TransitionSet::contains(std::uint16_t from, std::uint16_t to) const {
  switch (static_cast<std::uint16_t>(to - from)) {
    case 2: return fall_through_.contains(from);
    case 4: return skip_.contains(from);
    case 0: return self_.contains(from);
    default: return contains_other(key(from, to));
  }
}

std::size_t TransitionSet::size() const {
  return fall_through_.size() + skip_.size() + self_.size() + other_count_;
}

void TransitionSet::clear() {
  fall_through_.clear();
  skip_.clear();
  self_.clear();
  std::ranges::fill(slots_, kEmptySlot);
  other_count_ = 0;
}

bool TransitionSet::contains_other(std::uint32_t key) const {
  for (std::size_t slot = slot_of(key);; slot = (slot + 1) & (slots_.size() - 1)) {
    if (slots_[slot] == key) return true;
    if (slots_[slot] == kEmptySlot) return false;
  }
}

void TransitionSet::add_other(std::size_t slot, std::uint32_t key) {
  slots_[slot] = key;
  ++other_count_;
  // Keep the load at most one half so probe sequences stay short.
  if (other_count_ * 2 > slots_.size()) grow();
}

void TransitionSet::grow() {
  std::vector<std::uint32_t> old = std::move(slots_);
  slots_.assign(old.size() * 2, kEmptySlot);
  hash_shift_ -= 1;
  for (const std::uint32_t key : old) {
    if (key == kEmptySlot) continue;
    std::size_t slot = slot_of(key);
    while (slots_[slot] != kEmptySlot) slot = (slot + 1) & (slots_.size() - 1);
    slots_[slot] = key;
  }
}

bool operator==(const TransitionSet& a, const TransitionSet& b) {
  if (a.fall_through_ != b.fall_through_ || a.skip_ != b.skip_ || a.self_ != b.self_) return false;
  if (a.other_count_ != b.other_count_) return false;
  for (const std::uint32_t key : a.slots_) {
    if (key != TransitionSet::kEmptySlot && !b.contains_other(key)) return false;
  }
  return true;
}

void EmulatorStatistics::clear() {
  executed_addresses.clear();
  transitions.clear();
  written_addresses.clear();
  max_stack_depth = 0;
  draw_count = 0;
  collision_count = 0;
  input_opcode_count = 0;
}

}  // namespace chip8
