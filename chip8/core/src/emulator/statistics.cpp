#include "chip8_core/emulator/statistics.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace chip8 {
namespace {

constexpr std::size_t kInitialSlots = 256;  // room for the jump, call and return edges of most programs

}  // namespace

void AddressSet::insert_range(std::uint16_t address, std::uint16_t length) {
  for (std::uint16_t i = 0; i < length; ++i) insert(static_cast<std::uint16_t>(address + i));
}

std::size_t AddressSet::size() const {
  std::size_t count = 0;
  for (const std::uint64_t word : words_) count += static_cast<std::size_t>(std::popcount(word));
  return count;
}

EdgeHashSet::EdgeHashSet()
    : slots_(kInitialSlots, kEmptySlot), hash_shift_(32 - static_cast<unsigned>(std::countr_zero(kInitialSlots))) {}

bool EdgeHashSet::contains(std::uint16_t from, std::uint16_t to) const {
  const std::uint32_t k = key(from, to);
  for (std::size_t slot = slot_of(k);; slot = (slot + 1) & (slots_.size() - 1)) {
    if (slots_[slot] == k) return true;
    if (slots_[slot] == kEmptySlot) return false;
  }
}

void EdgeHashSet::clear() {
  std::ranges::fill(slots_, kEmptySlot);
  count_ = 0;
}

void EdgeHashSet::add(std::size_t slot, std::uint32_t k) {
  slots_[slot] = k;
  ++count_;
  if (count_ * 2 > slots_.size()) grow();
}

void EdgeHashSet::grow() {
  std::vector<std::uint32_t> old = std::move(slots_);
  slots_.assign(old.size() * 2, kEmptySlot);
  hash_shift_ -= 1;
  for (const std::uint32_t k : old) {
    if (k == kEmptySlot) continue;
    std::size_t slot = slot_of(k);
    while (slots_[slot] != kEmptySlot) slot = (slot + 1) & (slots_.size() - 1);
    slots_[slot] = k;
  }
}

bool operator==(const EdgeHashSet& a, const EdgeHashSet& b) {
  if (a.count_ != b.count_) return false;
  for (const std::uint32_t k : a.slots_) {
    if (k != EdgeHashSet::kEmptySlot && !b.contains(static_cast<std::uint16_t>(k >> 16), static_cast<std::uint16_t>(k))) {
      return false;
    }
  }
  return true;
}

std::size_t StepCoverage::executed_count() const {
  return static_cast<std::size_t>(std::ranges::count_if(marks_, [](std::uint8_t m) { return (m & kExecuted) != 0; }));
}

bool StepCoverage::has_transition(std::uint16_t from, std::uint16_t to) const {
  switch (static_cast<std::uint16_t>(to - from)) {
    case 2: return (marks_[from] & kFallThrough) != 0;
    case 4: return (marks_[from] & kSkip) != 0;
    case 0: return (marks_[from] & kSelf) != 0;
    default: return other_edges_.contains(from, to);
  }
}

std::size_t StepCoverage::transition_count() const {
  // Eight marks at a time: the edge bits of every byte of a word are counted
  // by one population count of the word under the mask repeated per byte.
  constexpr std::uint64_t kEdgeBitsPerByte = 0x0101010101010101ull * (kFallThrough | kSkip | kSelf);
  static_assert(sizeof(marks_) % sizeof(std::uint64_t) == 0);
  std::size_t count = other_edges_.size();
  for (std::size_t offset = 0; offset < marks_.size(); offset += sizeof(std::uint64_t)) {
    std::uint64_t word = 0;
    std::memcpy(&word, marks_.data() + offset, sizeof(word));
    count += static_cast<std::size_t>(std::popcount(word & kEdgeBitsPerByte));
  }
  return count;
}

void StepCoverage::clear() {
  marks_.fill(0);
  other_edges_.clear();
}

void EmulatorStatistics::clear() {
  coverage.clear();
  written_addresses.clear();
  max_stack_depth = 0;
  draw_count = 0;
  collision_count = 0;
  input_opcode_count = 0;
}

}  // namespace chip8
