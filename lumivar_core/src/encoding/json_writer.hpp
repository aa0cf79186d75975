#pragma once
// The one JSON writer of the system. Records write themselves straight from
// their structs through the low-level calls (begin_object, key, write_u64, ...)
// in the member order their document requires; generic trees go through
// write_value. Everything is appended to one growing buffer in a single pass.
//
// Styles: canonical and compact write no white space at all (they produce the
// same bytes; the two names say why a text is written). Pretty indents by two
// spaces and puts ": " after keys, for files meant to be read by people.
//
// Number and string formatting is the canonical one in every style: integers
// in plain decimal, floats in their shortest round-trip digits (positional for
// decimal exponents -5..15, always with a fraction part, otherwise d[.ddd]e±X),
// strings with only '"', '\\' and bytes below 0x20 escaped.
//
// The writer does not order keys: callers write members in the order their
// document needs (JsonObject trees are already in byte order of keys).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

enum class JsonStyle : std::uint8_t { canonical, compact, pretty };

// Longest text write_double can produce ("-2.2250738585072014e-308" is 24).
inline constexpr std::size_t kMaxJsonDoubleChars = 32;

// Formats a finite double into out (at least kMaxJsonDoubleChars bytes) and
// returns the number of bytes written. The result for NaN or infinities is
// unspecified; callers reject them first.
std::size_t format_json_double(double value, char* out);

class JsonWriter {
 public:
  explicit JsonWriter(JsonStyle style = JsonStyle::canonical) : style_(style) {}

  // Containers. Every begin must be matched by its end.
  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  // An object member's key; the next write is its value.
  void key(std::string_view name);

  void write_null() { before_value(); append("null", 4); }
  void write_bool(bool b) {
    before_value();
    if (b) append("true", 4); else append("false", 5);
  }
  void write_u64(std::uint64_t value);
  void write_i64(std::int64_t value);
  // False for NaN and infinities; nothing is written then.
  [[nodiscard]] bool write_double(double value);
  void write_string(std::string_view text);
  // Bytes as an array of integers 0 to 255.
  void write_bytes(ByteView bytes);
  // An already encoded JSON value (e.g. a record's canonical bytes), copied as is.
  void write_raw(std::string_view json);
  // A generic tree. False when it holds a non-finite float; the buffer then
  // holds partial output and must be discarded.
  [[nodiscard]] bool write_value(const JsonValue& value);

  [[nodiscard]] std::string_view view() const { return {buffer_.data(), size_}; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] JsonStyle style() const { return style_; }
  // Hands out the text and leaves the writer empty.
  [[nodiscard]] std::string take();
  // Empties the writer, keeping its capacity for the next record.
  void clear() {
    size_ = 0;
    depth_ = 0;
    need_comma_ = false;
    after_key_ = false;
  }
  void reserve(std::size_t bytes) {
    if (bytes > buffer_.size()) grow(bytes - size_);
  }

 private:
  void append(const char* data, std::size_t n) {
    if (buffer_.size() - size_ < n) [[unlikely]] grow(n);
    std::memcpy(buffer_.data() + size_, data, n);
    size_ += n;
  }
  void append(char c) {
    if (buffer_.size() == size_) [[unlikely]] grow(1);
    buffer_[size_++] = c;
  }
  // Room for at least n more bytes; out of line so the fast path stays small.
  void grow(std::size_t n);
  void open(char bracket);
  void close(char bracket);
  void newline_indent();
  // The separator (and, pretty, the line break) that precedes a value.
  void before_value() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (need_comma_) append(',');
    if (style_ == JsonStyle::pretty && depth_ > 0) [[unlikely]] newline_indent();
    need_comma_ = true;
  }
  void append_escaped(std::string_view text);
  void append_escaped_long(std::string_view text);

  std::string buffer_;  // capacity in use is buffer_.size(); text is [0, size_)
  std::size_t size_ = 0;
  std::uint32_t depth_ = 0;
  JsonStyle style_;
  bool need_comma_ = false;  // a value was written in the current container
  bool after_key_ = false;   // a key was written and awaits its value
};

}  // namespace lumivar
