#include "chip8_core/event/memory_capture.hpp"

#include <algorithm>

#include "lumivar_core/error/error.hpp"

namespace chip8 {

void append_capture_read(MemoryCapture& capture, std::uint16_t address, std::span<const std::uint8_t> bytes) {
  capture.reads.push_back(MemoryRead{address, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
}

void MemoryWriteRecord::keep_before(std::span<const std::uint8_t> block) {
  if (block.size() > kMaxLength) lumivar::fatal("CHIP-8 memory write is longer than 16 bytes");
  std::ranges::copy(block, before_.begin());
  has_before_ = true;
}

void MemoryWriteRecord::finish(std::span<const std::uint8_t> block, std::vector<MachineEvent>& events) {
  if (length_ > 0xFFFF) lumivar::fatal("CHIP-8 memory write length fits in u16");
  events.push_back(MachineEvent::memory_write(address_, static_cast<std::uint16_t>(length_)));
  if (capture_ != nullptr) [[unlikely]] {
    append_capture_write(block);
  }
}

void MemoryWriteRecord::append_capture_write(std::span<const std::uint8_t> block) {
  if (!has_before_) lumivar::fatal("observed CHIP-8 memory write is missing its before bytes");
  capture_->writes.push_back(MemoryWrite{
      address_,
      std::vector<std::uint8_t>(before_.begin(), before_.begin() + static_cast<std::ptrdiff_t>(length_)),
      std::vector<std::uint8_t>(block.begin(), block.end()),
  });
}

}  // namespace chip8
