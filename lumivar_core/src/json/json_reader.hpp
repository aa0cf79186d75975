#pragma once
// JsonReader: the pull parser every document of the system is read with.
//
// A document reader calls the typed entry points in the order the members
// appear in the text (read_u64, read_string, read_object, ...), so the text is
// parsed once, straight into the typed document, and the first error in text
// order is the one reported. There is no intermediate tree except where a
// member is "any JSON value" (read_value).
//
// Accepted text: exactly one JSON value (RFC 8259) with optional white space
// (space, tab, LF, CR) around it. Nesting deeper than kMaxJsonDepth arrays and
// objects is refused, by the typed readers as well as by read_value, so no
// input can exhaust the stack. Strings must be valid UTF-8.
//
// Numbers: a number without fraction and exponent is an integer when it fits
// (non-negative: std::uint64_t, negative: std::int64_t); any other number is a
// float, correctly rounded. So 18446744073709551616 is the float 1.8446744073709552e+19
// and "-0" is the float -0.0. read_u64 on such a number reports "invalid type:
// floating point `...`"; a float whose magnitude overflows binary64 is the
// syntax error "number out of range"; one that underflows reads as zero.
//
// Error messages: "<description> at line L column C", L and C counted from 1;
// C counts bytes from the start of the line and a line feed belongs to the line
// it ends. The position is that of the last character read when the error was
// found:
//   - syntax errors: the offending character (for "EOF while parsing ..." the
//     last character of the text; an empty text is "line 1 column 0");
//   - "trailing characters": the first of them;
//   - "invalid type" of a scalar: its last character (closing quote, last
//     digit, last letter of a literal); of a map or sequence: its opening
//     bracket, which is not parsed further;
//   - "invalid value" (integer out of the wanted range): the integer's last digit;
//   - "unknown field", "duplicate field", "unknown variant": the closing quote
//     of the key or variant name;
//   - "missing field", "invalid length": the closing brace or bracket;
//   - error(message) made by a document reader: the last character of the
//     value it just read.
// Descriptions used (text in backticks is inserted as is, strings in `string
// "..."` are escaped like JSON strings):
//   syntax: "expected value", "expected ident", "expected `:`",
//     "expected `,` or `}`", "expected `,` or `]`", "key must be a string",
//     "EOF while parsing a value" / "a string" / "an object" / "a list",
//     "trailing characters", "invalid number", "number out of range",
//     "invalid escape", "invalid unicode code point",
//     "lone leading surrogate in hex escape",
//     "control character (\u0000-\u001F) found while parsing a string",
//     "recursion limit exceeded";
//   shape: "missing field `x`", "duplicate field `x`",
//     "unknown field `x`, expected `a`" / "expected `a` or `b`" /
//     "expected one of `a`, `b`, `c`" / "there are no fields",
//     "unknown variant `x`, expected ..." (same lists; "there are no variants"),
//     "invalid type: T, expected E" with T one of integer `5`, integer `-5`,
//     floating point `1.5`, string "abc", boolean `true`, null, map, sequence,
//     unit variant; "invalid value: integer `70000`, expected u16";
//     "invalid length N, expected E".
//
// After an error the reader is spent: only error() may still be called.
//
// Usage: a struct with two required members and one optional member.
//
//   struct Limits { std::string name; std::uint64_t frames; std::optional<std::uint64_t> steps; };
//
//   Result<Limits> read_limits(JsonReader& reader) {
//     static constexpr FieldSpec kFields[] = {{"name"}, {"frames"}, optional_field("steps")};
//     Limits limits;
//     auto done = reader.read_object("struct Limits", kFields, [&](std::size_t field) -> Result<void> {
//       switch (field) {
//         case 0: return reader.read_string_into(limits.name);
//         case 1: return reader.read_u64_into(limits.frames);
//         default: return reader.read_optional_into(limits.steps, [&] { return reader.read_u64(); });
//       }
//     });
//     if (!done) return std::unexpected(done.error());
//     return limits;
//   }
//
//   // "null" -> std::nullopt; otherwise the document, then only white space.
//   Result<std::optional<Limits>> doc = read_document<Limits>(text, read_limits);
//
// An optional member absent from the text keeps the value the struct had
// before read_object (std::nullopt above); an absent required member ends the
// read with "missing field" at the closing brace.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

// Arrays and objects nested deeper than this are refused ("recursion limit
// exceeded"); the input documents nest a handful of levels.
inline constexpr std::size_t kMaxJsonDepth = 128;

// One member of a struct read with read_object. An optional member may be
// omitted; whether it may also be null is up to the member's reader
// (read_optional_into accepts null).
struct FieldSpec {
  std::string_view name;
  bool required = true;
};
[[nodiscard]] constexpr FieldSpec optional_field(std::string_view name) { return {name, false}; }

// One variant of an externally tagged enum read with read_variant. A unit
// variant is the string "name" (the object form {"name": null} is accepted
// too); a variant with a value is the one-member object {"name": value}.
struct VariantSpec {
  std::string_view name;
  bool has_value = false;
};

// What the next value is, as seen from its first character.
enum class JsonToken : std::uint8_t { end, null, boolean, number, string, array, object, invalid };

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  JsonReader(const JsonReader&) = delete;
  JsonReader& operator=(const JsonReader&) = delete;

  // --- Scalars. Each skips leading white space and reads one value. ---------
  [[nodiscard]] Result<std::uint64_t> read_u64();  // "u64"
  [[nodiscard]] Result<std::uint32_t> read_u32();  // "u32"
  [[nodiscard]] Result<std::uint16_t> read_u16();  // "u16"
  [[nodiscard]] Result<std::uint8_t> read_u8();    // "u8"
  [[nodiscard]] Result<std::int64_t> read_i64();   // "i64"
  // Integers are accepted and converted to the nearest double.
  [[nodiscard]] Result<double> read_f64();  // "f64"
  [[nodiscard]] Result<bool> read_bool();   // "a boolean"
  [[nodiscard]] Result<void> read_null();   // "unit"
  // The decoded string ("a string"). The view points into the text when the
  // string has no escapes and into a buffer of the reader otherwise: it is
  // valid until the next call on the reader.
  [[nodiscard]] Result<std::string_view> read_string_view();
  [[nodiscard]] Result<std::string> read_string();

  // Store-into forms for member callbacks: Result<void>, the value in `out`.
  [[nodiscard]] Result<void> read_u64_into(std::uint64_t& out);
  [[nodiscard]] Result<void> read_u16_into(std::uint16_t& out);
  [[nodiscard]] Result<void> read_u8_into(std::uint8_t& out);
  [[nodiscard]] Result<void> read_i64_into(std::int64_t& out);
  [[nodiscard]] Result<void> read_f64_into(double& out);
  [[nodiscard]] Result<void> read_bool_into(bool& out);
  [[nodiscard]] Result<void> read_string_into(std::string& out);

  // --- Peeking. -------------------------------------------------------------
  // Skips white space and classifies the next value without reading it.
  [[nodiscard]] JsonToken peek();
  // When the next value is `null`, reads it and returns true; otherwise reads
  // nothing and returns false. For optional members.
  [[nodiscard]] Result<bool> consume_null();
  // null -> std::nullopt, otherwise read_value_fn() (a callable returning
  // Result<T>), stored into `out`.
  template <class T, class ReadFn>
  [[nodiscard]] Result<void> read_optional_into(std::optional<T>& out, ReadFn&& read_value_fn);

  // --- Objects. -------------------------------------------------------------
  // A struct: reads '{', then every member; for each one found in `fields`,
  // calls on_field(index) -> Result<void>, which must read the member's value.
  // Refuses unknown members ("unknown field"), members given twice
  // ("duplicate field") and, at the closing brace, absent required members
  // ("missing field", the first in table order). `expecting` names the struct
  // for "invalid type" ("struct SchemaRef"). At most 64 fields.
  template <class OnField>
  [[nodiscard]] Result<void> read_object(std::string_view expecting, std::span<const FieldSpec> fields,
                                         OnField&& on_field);
  // A map with arbitrary keys: calls on_entry(key) -> Result<void> for each
  // member, which must read the value. `key` is valid only until the callback
  // reads the value (copy it first). Keys are not checked for duplicates.
  template <class OnEntry>
  [[nodiscard]] Result<void> read_map(std::string_view expecting, OnEntry&& on_entry);

  // Low-level object access, for shapes the helpers above do not cover.
  // begin_object reads '{' (or reports invalid type against `expecting`).
  // next_key(first) reads the ',' before a member unless `first`, then the key
  // and ':'; it returns std::nullopt after reading the closing '}'. The key
  // view is valid until the next call.
  [[nodiscard]] Result<void> begin_object(std::string_view expecting);
  [[nodiscard]] Result<std::optional<std::string_view>> next_key(bool first);

  // --- Sequences. -----------------------------------------------------------
  // Reads '[', then calls on_element(index) -> Result<void> for each element,
  // which must read it; returns the element count after the closing ']'.
  template <class OnElement>
  [[nodiscard]] Result<std::size_t> read_array(std::string_view expecting, OnElement&& on_element);
  // Low-level: begin_array reads '['; next_element(first) reads the ',' before
  // an element unless `first` and returns true when an element follows, false
  // after reading the closing ']'.
  [[nodiscard]] Result<void> begin_array(std::string_view expecting);
  [[nodiscard]] Result<bool> next_element(bool first);

  // --- Enums. ---------------------------------------------------------------
  // A string naming one of `variants` (unit variants only); returns its index.
  [[nodiscard]] Result<std::size_t> read_enum(std::string_view expecting,
                                              std::span<const std::string_view> variants);
  // An externally tagged enum: "name" for a unit variant, {"name": value} for
  // a variant with a value. Calls on_variant(index) -> Result<void>, which
  // reads the value of a variant with a value (and reads nothing for a unit
  // variant). A variant with a value given as a string is "invalid type: unit
  // variant, expected newtype variant"; an object with other than one member
  // is "invalid length N, expected map with a single key".
  template <class OnVariant>
  [[nodiscard]] Result<void> read_variant(std::string_view expecting, std::span<const VariantSpec> variants,
                                          OnVariant&& on_variant);

  // --- Generic values. ------------------------------------------------------
  // Any JSON value as a tree; in an object given the same key twice, the
  // later member wins.
  [[nodiscard]] Result<JsonValue> read_value();
  // Reads and discards one value, checking its syntax.
  [[nodiscard]] Result<void> skip_value();

  // Position bookmarks: a reader may look ahead (for instance for a tag
  // member) and come back. Only marks of this reader are valid.
  struct Mark {
    std::size_t offset = 0;
    std::size_t depth = 0;
  };
  [[nodiscard]] Mark mark() const { return {pos_, depth_}; }
  void rewind(Mark m) {
    pos_ = m.offset;
    depth_ = m.depth;
  }

  // --- Ending and errors. ---------------------------------------------------
  // After the one top-level value: only white space may follow.
  [[nodiscard]] Result<void> finish();
  // An error of a document reader (e.g. an identifier that fails its check)
  // with the position of the last character read appended.
  [[nodiscard]] Error error(std::string_view description) const;
  [[nodiscard]] std::unexpected<Error> fail(std::string_view description) const {
    return std::unexpected<Error>(error(description));
  }
  // "invalid type: <what was found>, expected <expecting>" for the next value,
  // reading a scalar to its end first. For document readers that dispatch on
  // peek() and find a token they do not accept.
  [[nodiscard]] Error invalid_type(std::string_view expecting);
  // "invalid length N, expected E" at the last character read.
  [[nodiscard]] Error invalid_length(std::size_t length, std::string_view expecting) const;

  // Byte offset of the next unread character.
  [[nodiscard]] std::size_t offset() const { return pos_; }

 private:
  struct FieldCursor {
    std::span<const FieldSpec> fields;
    std::uint64_t seen = 0;
    std::size_t next = 0;  // the field expected next: the one after the last read
    bool first = true;
  };
  // Reads up to and including the ':' of the next member of a struct and
  // returns its field index, or std::nullopt after the closing '}' once the
  // required members are checked.
  [[nodiscard]] Result<std::optional<std::size_t>> next_field(FieldCursor& cursor);
  struct VariantHead {
    std::size_t index = 0;
    bool object_form = false;
  };
  [[nodiscard]] Result<VariantHead> begin_variant(std::string_view expecting,
                                                  std::span<const VariantSpec> variants);
  [[nodiscard]] Result<void> end_variant(const VariantSpec& variant, bool object_form);

  [[nodiscard]] Error error_at(std::size_t offset, std::string_view description) const;
  [[nodiscard]] Error eof_error(std::string_view description) const;
  void skip_white_space() {
    // Most tokens follow their predecessor directly or after one space.
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return;
      ++pos_;
    }
  }
  // Helpers of the .cpp (number and string scanning, literals, ...).
  friend struct JsonReaderAccess;

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t depth_ = 0;
  std::string scratch_;  // decoded strings with escapes, reused
};

// Reads a whole document: the text `null` (with white space around) is
// "absent"; anything else is read with read_fn(JsonReader&) -> Result<T> and
// must be followed by white space only.
template <class T, class ReadFn>
[[nodiscard]] Result<std::optional<T>> read_document(std::string_view text, ReadFn&& read_fn);
// The same without the `null` special case: the text must hold a T.
template <class T, class ReadFn>
[[nodiscard]] Result<T> read_required_document(std::string_view text, ReadFn&& read_fn);
// A whole text as a generic tree.
[[nodiscard]] Result<JsonValue> parse_json(std::string_view text);

// ---------------------------------------------------------------------------
// Template definitions.

template <class T, class ReadFn>
Result<void> JsonReader::read_optional_into(std::optional<T>& out, ReadFn&& read_value_fn) {
  auto null = consume_null();
  if (!null) return std::unexpected(std::move(null.error()));
  if (*null) {
    out.reset();
    return {};
  }
  auto value = read_value_fn();
  if (!value) return std::unexpected(std::move(value.error()));
  out = std::move(*value);
  return {};
}

template <class OnField>
Result<void> JsonReader::read_object(std::string_view expecting, std::span<const FieldSpec> fields,
                                     OnField&& on_field) {
  if (auto begun = begin_object(expecting); !begun) return begun;
  FieldCursor cursor{fields};
  for (;;) {
    auto field = next_field(cursor);
    if (!field) return std::unexpected(std::move(field.error()));
    if (!*field) return {};
    Result<void> member = on_field(**field);
    if (!member) return member;
  }
}

template <class OnEntry>
Result<void> JsonReader::read_map(std::string_view expecting, OnEntry&& on_entry) {
  if (auto begun = begin_object(expecting); !begun) return begun;
  for (bool first = true;; first = false) {
    auto key = next_key(first);
    if (!key) return std::unexpected(std::move(key.error()));
    if (!*key) return {};
    Result<void> entry = on_entry(**key);
    if (!entry) return entry;
  }
}

template <class OnElement>
Result<std::size_t> JsonReader::read_array(std::string_view expecting, OnElement&& on_element) {
  if (auto begun = begin_array(expecting); !begun) return std::unexpected(std::move(begun.error()));
  std::size_t count = 0;
  for (;; ++count) {
    auto more = next_element(count == 0);
    if (!more) return std::unexpected(std::move(more.error()));
    if (!*more) return count;
    Result<void> element = on_element(count);
    if (!element) return std::unexpected(std::move(element.error()));
  }
}

template <class OnVariant>
Result<void> JsonReader::read_variant(std::string_view expecting, std::span<const VariantSpec> variants,
                                      OnVariant&& on_variant) {
  auto head = begin_variant(expecting, variants);
  if (!head) return std::unexpected(std::move(head.error()));
  const VariantSpec& variant = variants[head->index];
  if (!variant.has_value && head->object_form) {
    // {"Unit": null}: the value of a unit variant in object form.
    if (auto null = read_null(); !null) return null;
  }
  if (Result<void> value = on_variant(head->index); !value) return value;
  return end_variant(variant, head->object_form);
}

template <class T, class ReadFn>
Result<std::optional<T>> read_document(std::string_view text, ReadFn&& read_fn) {
  JsonReader reader(text);
  auto null = reader.consume_null();
  if (!null) return std::unexpected(std::move(null.error()));
  std::optional<T> document;
  if (!*null) {
    Result<T> value = read_fn(reader);
    if (!value) return std::unexpected(std::move(value.error()));
    document.emplace(std::move(*value));
  }
  if (auto end = reader.finish(); !end) return std::unexpected(std::move(end.error()));
  return document;
}

template <class T, class ReadFn>
Result<T> read_required_document(std::string_view text, ReadFn&& read_fn) {
  JsonReader reader(text);
  Result<T> value = read_fn(reader);
  if (!value) return value;
  if (auto end = reader.finish(); !end) return std::unexpected(std::move(end.error()));
  return value;
}

}  // namespace lumivar
