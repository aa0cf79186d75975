#pragma once
// Golden-vector comparison for encoder tests: on a mismatch both sides are
// printed in hex, with the offset of the first differing byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "lumivar_core/value/byte_string.hpp"

namespace lumivar::testing {

inline std::string hex(ByteView bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(kHex[bytes[i] >> 4]);
    text.push_back(kHex[bytes[i] & 0x0F]);
  }
  return text;
}
inline std::string hex(std::string_view text) { return hex(as_bytes(text)); }

// "f6 0a ff" or "f60aff" (spaces ignored) to bytes.
inline ByteString from_hex(std::string_view text) {
  ByteString bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ') continue;
    int nibble = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return bytes;
}

inline ::testing::AssertionResult bytes_equal(const char* expected_expr, const char* actual_expr,
                                              ByteView expected, ByteView actual) {
  if (std::ranges::equal(expected, actual)) return ::testing::AssertionSuccess();
  auto mismatch = std::ranges::mismatch(expected, actual);
  auto offset = static_cast<std::size_t>(mismatch.in1 - expected.begin());
  return ::testing::AssertionFailure() << actual_expr << " differs from " << expected_expr << " at byte "
                                       << offset << "\n  expected (" << expected.size()
                                       << " bytes): " << hex(expected) << "\n  actual   (" << actual.size()
                                       << " bytes): " << hex(actual);
}
inline ::testing::AssertionResult bytes_equal(const char* e, const char* a, std::string_view expected,
                                              std::string_view actual) {
  return bytes_equal(e, a, as_bytes(expected), as_bytes(actual));
}

}  // namespace lumivar::testing

// EXPECT_BYTES_EQ(expected, actual): both ByteView-like or both string-like.
#define EXPECT_BYTES_EQ(expected, actual) EXPECT_PRED_FORMAT2(::lumivar::testing::bytes_equal, expected, actual)
