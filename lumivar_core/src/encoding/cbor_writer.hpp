#pragma once
// Deterministic CBOR primitives: shortest-form heads, 9-byte doubles, negative
// zero written as positive zero. Used for canonical structured bytes and for
// records written straight from their structs.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "lumivar_core/value/byte_string.hpp"

namespace lumivar {

enum class CborMajor : std::uint8_t {
  unsigned_integer = 0,
  negative_integer = 1,
  byte_string = 2,
  text_string = 3,
  array = 4,
  map = 5,
  tag = 6,
  simple = 7,
};

// Number of bytes of the head that carries argument (1, 2, 3, 5 or 9).
[[nodiscard]] constexpr std::size_t cbor_head_size(std::uint64_t argument) {
  return argument < 24 ? 1 : argument <= 0xFF ? 2 : argument <= 0xFFFF ? 3 : argument <= 0xFFFFFFFF ? 5 : 9;
}

class CborWriter {
 public:
  CborWriter() = default;

  void write_head(CborMajor major, std::uint64_t argument);
  void write_unsigned(std::uint64_t value) { write_head(CborMajor::unsigned_integer, value); }
  // Non-negative values share the bytes of write_unsigned.
  void write_signed(std::int64_t value);
  // 0xFB and the big-endian binary64; -0.0 becomes +0.0. False for NaN and
  // infinities; nothing is written then.
  [[nodiscard]] bool write_double(double value);
  void write_bool(bool value) { append_byte(value ? 0xF5 : 0xF4); }
  void write_null() { append_byte(0xF6); }
  void write_text(std::string_view text) {
    // Short texts (every map key) take one capacity check and one copy.
    if (text.size() < 24 && buffer_.size() - size_ > text.size()) {
      buffer_[size_] = static_cast<std::uint8_t>(0x60 | text.size());
      std::memcpy(buffer_.data() + size_ + 1, text.data(), text.size());
      size_ += text.size() + 1;
      return;
    }
    write_text_long(text);
  }
  void write_bytes(ByteView bytes);
  void begin_array(std::uint64_t count) { write_head(CborMajor::array, count); }
  void begin_map(std::uint64_t count) { write_head(CborMajor::map, count); }
  // Already encoded items, copied as is.
  void write_raw(ByteView bytes) { append(bytes.data(), bytes.size()); }

  [[nodiscard]] ByteView view() const { return {buffer_.data(), size_}; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] ByteString take();
  void clear() { size_ = 0; }
  // Room for at least `bytes` in all, so a caller that knows about how long
  // its item is spares the doublings on the way.
  void reserve(std::size_t bytes) {
    if (bytes > buffer_.size()) grow(bytes - size_);
  }

 private:
  void append(const std::uint8_t* data, std::size_t n) {
    if (n == 0) return;
    if (buffer_.size() - size_ < n) [[unlikely]] grow(n);
    std::memcpy(buffer_.data() + size_, data, n);
    size_ += n;
  }
  void append_byte(std::uint8_t b) {
    if (buffer_.size() == size_) [[unlikely]] grow(1);
    buffer_[size_++] = b;
  }
  void grow(std::size_t n);
  void write_text_long(std::string_view text);

  ByteString buffer_;  // capacity in use is buffer_.size(); bytes are [0, size_)
  std::size_t size_ = 0;
};

}  // namespace lumivar
