#pragma once
// Memory accesses of one observed step, and the hooks the instruction set calls
// to report them. Without an active capture (a null pointer) the read hook does
// nothing and the write hook only appends its memory_write event, so plain cycles
// pay one pointer test per block access and allocate nothing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "chip8_core/event/machine_event.hpp"

namespace chip8 {

struct MemoryRead {
  std::uint16_t address = 0;
  std::vector<std::uint8_t> bytes;  // copied at the time of the read

  friend bool operator==(const MemoryRead&, const MemoryRead&) = default;
};

struct MemoryWrite {
  std::uint16_t address = 0;
  std::vector<std::uint8_t> before;  // same length as after, 1-16 bytes
  std::vector<std::uint8_t> after;

  friend bool operator==(const MemoryWrite&, const MemoryWrite&) = default;
};

// Present only while an observed step runs.
struct MemoryCapture {
  std::vector<MemoryRead> reads;    // in the order the instruction read
  std::vector<MemoryWrite> writes;  // in the order the instruction wrote

  friend bool operator==(const MemoryCapture&, const MemoryCapture&) = default;
};

void append_capture_read(MemoryCapture& capture, std::uint16_t address, std::span<const std::uint8_t> bytes);

// Reports a block read. `bytes` is the block as it stands in memory.
inline void record_read(MemoryCapture* capture, std::uint16_t address, std::span<const std::uint8_t> bytes) {
  if (capture != nullptr && !bytes.empty()) [[unlikely]] {
    append_capture_read(*capture, address, bytes);
  }
}

// Reports one block write: construct it over the block before changing memory
// (it keeps the old bytes only while a capture is active), write, then `finish`.
class MemoryWriteRecord {
 public:
  static constexpr std::size_t kMaxLength = 16;

  MemoryWriteRecord(MemoryCapture* capture, std::uint16_t address, std::span<const std::uint8_t> block)
      : capture_(capture), address_(address), length_(block.size()) {
    if (capture_ != nullptr) [[unlikely]] {
      keep_before(block);
    }
  }

  // Appends the memory_write event and, while capturing, the before and after bytes.
  void finish(std::span<const std::uint8_t> block, std::vector<MachineEvent>& events);

 private:
  void keep_before(std::span<const std::uint8_t> block);
  void append_capture_write(std::span<const std::uint8_t> block);

  MemoryCapture* capture_;
  std::uint16_t address_;
  std::size_t length_;
  bool has_before_ = false;
  std::array<std::uint8_t, kMaxLength> before_{};  // filled only while capturing
};

}  // namespace chip8
