#include "lumivar_core/encoding/json_writer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <utility>

namespace lumivar {

namespace {

// The escape of every byte: 0 for bytes copied unchanged, the letter of a
// two-character escape, or 'u' for \u00XX.
constexpr std::array<char, 256> make_escape_table() {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}
constexpr std::array<char, 256> kEscape = make_escape_table();

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// True when any of the eight bytes needs escaping (below 0x20, '"' or '\\').
// The classic "has a zero byte" and "has a byte less than n" word tests are
// exact about whether such a byte exists, which is all that is asked here.
inline bool word_needs_escape(std::uint64_t w) {
  std::uint64_t below_space = (w - kOnes * 0x20) & ~w & kHighs;
  std::uint64_t q = w ^ (kOnes * '"');
  std::uint64_t quote = (q - kOnes) & ~q & kHighs;
  std::uint64_t b = w ^ (kOnes * '\\');
  std::uint64_t backslash = (b - kOnes) & ~b & kHighs;
  return (below_space | quote | backslash) != 0;
}

// Writes the escape of byte c (escape is its table entry) and returns the end.
inline char* write_escape(char* out, unsigned char c, char escape) {
  static constexpr char kHex[] = "0123456789abcdef";
  *out++ = '\\';
  if (escape == 'u') {
    *out++ = 'u';
    *out++ = '0';
    *out++ = '0';
    *out++ = kHex[c >> 4];
    *out++ = kHex[c & 0x0F];
  } else {
    *out++ = escape;
  }
  return out;
}

}  // namespace

std::size_t format_json_double(double value, char* out) {
  // Shortest round-trip digits in scientific form, e.g. "-1.2345e+03".
  char sci[kMaxJsonDoubleChars];
  std::to_chars_result r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
  const char* p = sci;
  char* o = out;
  if (*p == '-') *o++ = *p++;
  char digits[20];
  std::size_t n = 0;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits[n++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), r.ptr, exponent);

  if (exponent >= -5 && exponent <= 15) {
    if (exponent >= 0) {
      auto whole = static_cast<std::size_t>(exponent) + 1;
      for (std::size_t i = 0; i < whole; ++i) *o++ = i < n ? digits[i] : '0';
      *o++ = '.';
      if (n > whole) {
        for (std::size_t i = whole; i < n; ++i) *o++ = digits[i];
      } else {
        *o++ = '0';
      }
    } else {
      *o++ = '0';
      *o++ = '.';
      for (int i = -1; i > exponent; --i) *o++ = '0';
      for (std::size_t i = 0; i < n; ++i) *o++ = digits[i];
    }
  } else {
    *o++ = digits[0];
    if (n > 1) {
      *o++ = '.';
      for (std::size_t i = 1; i < n; ++i) *o++ = digits[i];
    }
    *o++ = 'e';
    *o++ = exponent < 0 ? '-' : '+';
    o = std::to_chars(o, out + kMaxJsonDoubleChars, std::abs(exponent)).ptr;
  }
  return static_cast<std::size_t>(o - out);
}

void JsonWriter::grow(std::size_t n) {
  std::size_t needed = size_ + n;
  std::size_t capacity = std::max({needed, buffer_.size() * 2, std::size_t{256}});
  buffer_.resize(capacity);
}

void JsonWriter::newline_indent() {
  std::size_t n = 1 + 2 * static_cast<std::size_t>(depth_);
  if (buffer_.size() - size_ < n) grow(n);
  buffer_[size_] = '\n';
  std::fill_n(buffer_.data() + size_ + 1, n - 1, ' ');
  size_ += n;
}

void JsonWriter::open(char bracket) {
  before_value();
  append(bracket);
  ++depth_;
  need_comma_ = false;
}

void JsonWriter::close(char bracket) {
  --depth_;
  if (style_ == JsonStyle::pretty && need_comma_) newline_indent();
  append(bracket);
  need_comma_ = true;
  after_key_ = false;
}

void JsonWriter::key(std::string_view name) {
  if (need_comma_) append(',');
  if (style_ == JsonStyle::pretty) newline_indent();
  append_escaped(name);
  if (style_ == JsonStyle::pretty) append(": ", 2); else append(':');
  need_comma_ = true;
  after_key_ = true;
}

void JsonWriter::write_u64(std::uint64_t value) {
  before_value();
  constexpr std::size_t kMax = 20;
  if (buffer_.size() - size_ < kMax) grow(kMax);
  char* start = buffer_.data() + size_;
  size_ += static_cast<std::size_t>(std::to_chars(start, start + kMax, value).ptr - start);
}

void JsonWriter::write_i64(std::int64_t value) {
  before_value();
  constexpr std::size_t kMax = 20;
  if (buffer_.size() - size_ < kMax) grow(kMax);
  char* start = buffer_.data() + size_;
  size_ += static_cast<std::size_t>(std::to_chars(start, start + kMax, value).ptr - start);
}

bool JsonWriter::write_double(double value) {
  // Exponent all ones: NaN or an infinity.
  if ((std::bit_cast<std::uint64_t>(value) & 0x7FF0000000000000ULL) == 0x7FF0000000000000ULL) return false;
  before_value();
  if (buffer_.size() - size_ < kMaxJsonDoubleChars) grow(kMaxJsonDoubleChars);
  size_ += format_json_double(value, buffer_.data() + size_);
  return true;
}

void JsonWriter::write_string(std::string_view text) {
  before_value();
  append_escaped(text);
}

void JsonWriter::append_escaped(std::string_view text) {
  // Room for the worst case (every byte a six-byte \u00XX) up front, so the
  // loop below writes through a plain pointer without capacity checks. Very
  // long texts reserve as they go instead, to keep the buffer from ballooning.
  constexpr std::size_t kReserveLimit = 1 << 16;
  if (text.size() > kReserveLimit) [[unlikely]] {
    append_escaped_long(text);
    return;
  }
  std::size_t worst = 6 * text.size() + 2;
  if (buffer_.size() - size_ < worst) grow(worst);
  char* out = buffer_.data() + size_;
  *out++ = '"';
  const char* p = text.data();
  const char* end = p + text.size();
  const char* run = p;
  while (p < end) {
    // Skip eight clean bytes at a time; almost every key and text is clean.
    while (end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      if (word_needs_escape(w)) break;
      p += 8;
    }
    if (p == end) break;
    auto c = static_cast<unsigned char>(*p);
    char escape = kEscape[c];
    if (escape == 0) {
      ++p;
      continue;
    }
    std::memcpy(out, run, static_cast<std::size_t>(p - run));
    out += p - run;
    out = write_escape(out, c, escape);
    run = ++p;
  }
  std::memcpy(out, run, static_cast<std::size_t>(end - run));
  out += end - run;
  *out++ = '"';
  size_ = static_cast<std::size_t>(out - buffer_.data());
}

void JsonWriter::append_escaped_long(std::string_view text) {
  append('"');
  const char* p = text.data();
  const char* end = p + text.size();
  const char* run = p;
  for (; p < end; ++p) {
    auto c = static_cast<unsigned char>(*p);
    char escape = kEscape[c];
    if (escape == 0) continue;
    append(run, static_cast<std::size_t>(p - run));
    char sequence[6];
    append(sequence, static_cast<std::size_t>(write_escape(sequence, c, escape) - sequence));
    run = p + 1;
  }
  append(run, static_cast<std::size_t>(end - run));
  append('"');
}

void JsonWriter::write_bytes(ByteView bytes) {
  begin_array();
  for (std::uint8_t b : bytes) write_u64(b);
  end_array();
}

void JsonWriter::write_raw(std::string_view json) {
  before_value();
  append(json.data(), json.size());
}

bool JsonWriter::write_value(const JsonValue& value) {
  switch (value.value.index()) {
    case 0: write_null(); return true;
    case 1: write_bool(value.as<bool>()); return true;
    case 2: write_u64(value.as<std::uint64_t>()); return true;
    case 3: write_i64(value.as<std::int64_t>()); return true;
    case 4: return write_double(value.as<double>());
    case 5: write_string(value.as<std::string>()); return true;
    case 6:
      begin_array();
      for (const JsonValue& element : value.as<JsonArray>()) {
        if (!write_value(element)) return false;
      }
      end_array();
      return true;
    case 7:
      begin_object();
      for (const auto& [name, member] : value.as<JsonObject>()) {
        key(name);
        if (!write_value(member)) return false;
      }
      end_object();
      return true;
  }
  fatal("JSON value kind out of range");
}

std::string JsonWriter::take() {
  buffer_.resize(size_);
  std::string text = std::move(buffer_);
  buffer_ = std::string();
  clear();
  return text;
}

}  // namespace lumivar
