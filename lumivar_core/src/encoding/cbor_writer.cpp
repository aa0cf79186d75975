#include "lumivar_core/encoding/cbor_writer.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

namespace lumivar {

namespace {

void store_be(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
}

}  // namespace

void CborWriter::grow(std::size_t n) {
  std::size_t capacity = std::max({size_ + n, buffer_.size() * 2, std::size_t{256}});
  buffer_.resize(capacity);
}

void CborWriter::write_head(CborMajor major, std::uint64_t argument) {
  std::uint8_t head[9];
  auto type = static_cast<std::uint8_t>(static_cast<std::uint8_t>(major) << 5);
  std::size_t size = cbor_head_size(argument);
  if (size == 1) {
    head[0] = static_cast<std::uint8_t>(type | argument);
  } else {
    // Additional information 24, 25, 26, 27 for 1, 2, 4, 8 argument bytes.
    std::size_t bytes = size - 1;
    head[0] = static_cast<std::uint8_t>(type | (24 + std::countr_zero(bytes)));
    store_be(head + 1, argument, bytes);
  }
  append(head, size);
}

void CborWriter::write_signed(std::int64_t value) {
  if (value >= 0) {
    write_head(CborMajor::unsigned_integer, static_cast<std::uint64_t>(value));
  } else {
    // -1 - value, computed without overflow for INT64_MIN.
    write_head(CborMajor::negative_integer, ~static_cast<std::uint64_t>(value));
  }
}

bool CborWriter::write_double(double value) {
  if (!std::isfinite(value)) return false;
  if (value == 0.0) value = 0.0;  // -0.0 compares equal and becomes +0.0
  std::uint8_t item[9];
  item[0] = 0xFB;
  store_be(item + 1, std::bit_cast<std::uint64_t>(value), 8);
  append(item, sizeof item);
  return true;
}

void CborWriter::write_text_long(std::string_view text) {
  write_head(CborMajor::text_string, text.size());
  append(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void CborWriter::write_bytes(ByteView bytes) {
  write_head(CborMajor::byte_string, bytes.size());
  append(bytes.data(), bytes.size());
}

ByteString CborWriter::take() {
  buffer_.resize(size_);
  ByteString bytes = std::move(buffer_);
  buffer_ = ByteString();
  size_ = 0;
  return bytes;
}

}  // namespace lumivar
