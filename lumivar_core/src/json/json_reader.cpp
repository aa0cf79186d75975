#include "lumivar_core/json/json_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "lumivar_core/encoding/json_writer.hpp"

namespace lumivar {

namespace {

constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";


// Bytes a string scan can step over without a second look: printable ASCII
// other than '"' and '\\'. One table load per byte instead of four compares.
constexpr std::array<bool, 256> make_plain_string_bytes() {
  std::array<bool, 256> plain{};
  for (int b = 0x20; b < 0x80; ++b) plain[b] = b != '"' && b != '\\';
  return plain;
}
constexpr std::array<bool, 256> kPlainStringByte = make_plain_string_bytes();

// The token a value starting with each byte is.
constexpr std::array<JsonToken, 256> make_token_table() {
  std::array<JsonToken, 256> table{};
  table.fill(JsonToken::invalid);
  table['n'] = JsonToken::null;
  table['t'] = table['f'] = JsonToken::boolean;
  table['"'] = JsonToken::string;
  table['['] = JsonToken::array;
  table['{'] = JsonToken::object;
  table['-'] = JsonToken::number;
  for (int c = '0'; c <= '9'; ++c) table[c] = JsonToken::number;
  return table;
}
constexpr std::array<JsonToken, 256> kTokenOf = make_token_table();

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// Flags (in the byte's high bit) the bytes of w that end a plain run inside a
// string: below 0x20, '"', '\\' or non-ASCII. The borrow of the subtraction
// tricks can flag bytes above a flagged one, never below it, so the lowest
// flag (the first such byte in memory on a little-endian machine) is exact.
inline std::uint64_t string_stop_bytes(std::uint64_t w) {
  std::uint64_t below_space = (w - kOnes * 0x20) & ~w;
  std::uint64_t q = w ^ (kOnes * '"');
  std::uint64_t quote = (q - kOnes) & ~q;
  std::uint64_t b = w ^ (kOnes * '\\');
  std::uint64_t backslash = (b - kOnes) & ~b;
  return (below_space | quote | backslash | w) & kHighs;
}
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A number as scanned: an integer when it has neither fraction nor exponent
// and fits its 64-bit type, a float otherwise.
struct Number {
  enum class Kind : std::uint8_t { unsigned_integer, signed_integer, floating };
  Kind kind = Kind::unsigned_integer;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0.0;
};

void append_decimal(std::string& out, std::uint64_t u) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, u);
  out.append(buffer, r.ptr);
}

void append_decimal(std::string& out, std::int64_t i) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, i);
  out.append(buffer, r.ptr);
}

// "integer `5`", "integer `-5`", "floating point `1.5`": the found value as
// the shape messages show it.
std::string describe_number(const Number& n) {
  std::string out;
  switch (n.kind) {
    case Number::Kind::unsigned_integer:
      out = "integer `";
      append_decimal(out, n.u);
      break;
    case Number::Kind::signed_integer:
      out = "integer `";
      append_decimal(out, n.i);
      break;
    case Number::Kind::floating: {
      out = "floating point `";
      char buffer[kMaxJsonDoubleChars];
      out.append(buffer, format_json_double(n.f, buffer));
      break;
    }
  }
  out += '`';
  return out;
}

// `string "..."` with the text escaped like a JSON string, so a control
// character or quote in the input cannot disturb the message.
std::string describe_string(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "string \"";
  out.reserve(out.size() + text.size() + 1);
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (b < 0x20) {
          out += "\\u00";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`" after "expected ".
template <class Names>
std::string expected_names(std::string_view subject, std::string_view found, const Names& names,
                           std::string_view none) {
  std::string out;
  out.append("unknown ").append(subject).append(" `").append(found).append("`, ");
  const std::size_t n = names.size();
  if (n == 0) return out.append(none);
  out.append(n <= 2 ? "expected " : "expected one of ");
  for (std::size_t k = 0; k < n; ++k) {
    if (k > 0) out.append(n == 2 ? " or " : ", ");
    out.append("`").append(names[k]).append("`");
  }
  return out;
}

struct FieldNames {
  std::span<const FieldSpec> fields;
  std::size_t size() const { return fields.size(); }
  std::string_view operator[](std::size_t k) const { return fields[k].name; }
};
struct VariantNames {
  std::span<const VariantSpec> variants;
  std::size_t size() const { return variants.size(); }
  std::string_view operator[](std::size_t k) const { return variants[k].name; }
};

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// The scanning machinery behind the public entry points. A struct of static
// functions (a friend of JsonReader) so the header stays small.
struct JsonReaderAccess {
  static char at(const JsonReader& r) { return r.text_[r.pos_]; }
  static bool at_end(const JsonReader& r) { return r.pos_ >= r.text_.size(); }

  // The rest of a literal whose first letter is at the position.
  static Result<void> literal(JsonReader& r, std::string_view word) {
    for (std::size_t k = 1; k < word.size(); ++k) {
      std::size_t p = r.pos_ + k;
      if (p >= r.text_.size()) return std::unexpected(r.eof_error(kEofValue));
      if (r.text_[p] != word[k]) return std::unexpected(r.error_at(p, "expected ident"));
    }
    r.pos_ += word.size();
    return {};
  }

  // `true` or `false` at the position (first letter already classified).
  static Result<bool> boolean(JsonReader& r) {
    bool value = at(r) == 't';
    if (auto ok = literal(r, value ? "true" : "false"); !ok) return std::unexpected(std::move(ok.error()));
    return value;
  }

  // Magnitude class of a decimal whose conversion was out of range: whether
  // its first significant digit lies below the decimal point. Used only to
  // tell an underflow (read as zero) from an overflow.
  static bool underflows(std::string_view digits_int, std::string_view digits_frac, std::int64_t exponent) {
    std::int64_t position = 0;  // decimal exponent of the first significant digit
    std::size_t k = digits_int.find_first_not_of('0');
    if (k != std::string_view::npos) {
      position = static_cast<std::int64_t>(digits_int.size() - k) - 1;
    } else {
      k = digits_frac.find_first_not_of('0');
      if (k == std::string_view::npos) return true;  // zero; not reached in practice
      position = -static_cast<std::int64_t>(k) - 1;
    }
    return position + exponent < 0;
  }

  // A number starting at the position (a '-' or a digit).
  static Result<Number> number(JsonReader& r) {
    // Fast path: a short non-negative integer (counters, versions, bytes).
    const std::string_view t = r.text_;
    std::size_t p = r.pos_;
    if (t[p] >= '1' && t[p] <= '9') {
      std::uint64_t magnitude = 0;
      const std::size_t limit = std::min(t.size(), p + 19);  // nineteen digits always fit
      for (; p < limit && is_digit(t[p]); ++p) magnitude = magnitude * 10 + static_cast<std::uint64_t>(t[p] - '0');
      if (p == t.size() || (p < limit && t[p] != '.' && t[p] != 'e' && t[p] != 'E')) {
        r.pos_ = p;
        Number n;
        n.u = magnitude;
        return n;
      }
    } else if (t[p] == '0' && (p + 1 == t.size() || (!is_digit(t[p + 1]) && t[p + 1] != '.' && t[p + 1] != 'e' &&
                                                      t[p + 1] != 'E'))) {
      r.pos_ = p + 1;
      return Number{};
    }
    return number_slow(r);
  }

  [[gnu::noinline]] static Result<Number> number_slow(JsonReader& r) {
    const std::string_view t = r.text_;
    const std::size_t begin = r.pos_;
    std::size_t p = begin;
    const bool negative = t[p] == '-';
    if (negative) ++p;
    if (p >= t.size()) return std::unexpected(r.eof_error(kEofValue));

    std::uint64_t magnitude = 0;
    bool integer_overflow = false;
    const std::size_t int_begin = p;
    if (t[p] == '0') {
      ++p;
      if (p < t.size() && is_digit(t[p])) return std::unexpected(r.error_at(p, "invalid number"));
    } else if (is_digit(t[p])) {
      for (; p < t.size() && is_digit(t[p]); ++p) {
        auto d = static_cast<std::uint64_t>(t[p] - '0');
        // Nineteen digits always fit; only longer numbers need the check.
        if (p - int_begin >= 19 && magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / 10) {
          integer_overflow = true;
        }
        magnitude = magnitude * 10 + d;
      }
    } else {
      return std::unexpected(r.error_at(p, "invalid number"));
    }
    const std::size_t int_end = p;

    bool is_float = false;
    std::size_t frac_begin = p, frac_end = p;
    if (p < t.size() && t[p] == '.') {
      is_float = true;
      ++p;
      if (p >= t.size()) return std::unexpected(r.eof_error(kEofValue));
      if (!is_digit(t[p])) return std::unexpected(r.error_at(p, "invalid number"));
      frac_begin = p;
      while (p < t.size() && is_digit(t[p])) ++p;
      frac_end = p;
    }
    std::int64_t exponent = 0;
    if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
      is_float = true;
      ++p;
      bool exponent_negative = false;
      if (p < t.size() && (t[p] == '+' || t[p] == '-')) exponent_negative = t[p++] == '-';
      if (p >= t.size()) return std::unexpected(r.eof_error(kEofValue));
      if (!is_digit(t[p])) return std::unexpected(r.error_at(p, "invalid number"));
      for (; p < t.size() && is_digit(t[p]); ++p) {
        // Saturates far beyond any binary64 exponent; only the class matters then.
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (t[p] - '0');
      }
      if (exponent_negative) exponent = -exponent;
    }
    r.pos_ = p;

    Number n;
    if (!is_float && !integer_overflow) {
      if (!negative) {
        n.kind = Number::Kind::unsigned_integer;
        n.u = magnitude;
        return n;
      }
      // "-0" stays a float so the sign survives, as -0.0.
      if (magnitude != 0 && magnitude <= (std::uint64_t{1} << 63)) {
        n.kind = Number::Kind::signed_integer;
        n.i = static_cast<std::int64_t>(0 - magnitude);
        return n;
      }
    }
    n.kind = Number::Kind::floating;
    auto conv = std::from_chars(t.data() + begin, t.data() + p, n.f);
    if (conv.ec == std::errc::result_out_of_range) {
      if (!underflows(t.substr(int_begin, int_end - int_begin), t.substr(frac_begin, frac_end - frac_begin),
                      exponent)) {
        return std::unexpected(r.error_at(p - 1, "number out of range"));
      }
      n.f = negative ? -0.0 : 0.0;
    } else if (conv.ec != std::errc{} || conv.ptr != t.data() + p) {
      fatal("JSON number scan and conversion disagree");
    }
    return n;
  }

  // Checks one UTF-8 sequence whose lead byte (>= 0x80) is at p; returns its
  // length or an error at the first byte that makes it invalid.
  static Result<std::size_t> utf8_sequence(const JsonReader& r, std::size_t p) {
    const std::string_view t = r.text_;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(t[k]); };
    const unsigned char lead = byte(p);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // no overlong forms
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return std::unexpected(r.error_at(p, "invalid unicode code point"));
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (p + k >= t.size()) return std::unexpected(r.eof_error(kEofString));
      unsigned char b = byte(p + k);
      unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
      if (b < lo || b > hi) return std::unexpected(r.error_at(p + k, "invalid unicode code point"));
    }
    return length;
  }

  // Four hex digits after "\u" at p; returns the code unit.
  static Result<std::uint32_t> hex4(const JsonReader& r, std::size_t p) {
    std::uint32_t unit = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      if (p + k >= r.text_.size()) return std::unexpected(r.eof_error(kEofString));
      int v = hex_value(r.text_[p + k]);
      if (v < 0) return std::unexpected(r.error_at(p + k, "invalid escape"));
      unit = unit * 16 + static_cast<std::uint32_t>(v);
    }
    return unit;
  }

  // A string starting at the position (at its opening quote). The view
  // points into the text when there is no escape and into r.scratch_
  // otherwise.
  static Result<std::string_view> string(JsonReader& r) {
    // Fast path: plain printable ASCII up to the closing quote, the form of
    // nearly every key and identifier. Everything else goes the long way.
    const std::string_view t = r.text_;
    const std::size_t begin = r.pos_ + 1;
    std::size_t p = begin;
    while (p < t.size() && kPlainStringByte[static_cast<unsigned char>(t[p])]) ++p;
    if (p < t.size() && t[p] == '"') [[likely]] {
      r.pos_ = p + 1;
      return std::string_view(t.data() + begin, p - begin);
    }
    return string_slow(r);
  }

  [[gnu::noinline]] static Result<std::string_view> string_slow(JsonReader& r) {
    const std::string_view t = r.text_;
    std::size_t p = r.pos_ + 1;
    std::size_t run = p;   // start of the bytes not yet copied to scratch_
    bool escaped = false;  // scratch_ holds the decoded prefix
    for (;;) {
      // Plain printable ASCII: the common case.
      if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time while they are all plain.
        while (p + 8 <= t.size()) {
          std::uint64_t w;
          std::memcpy(&w, t.data() + p, 8);
          std::uint64_t stop = string_stop_bytes(w);
          if (stop != 0) {
            p += static_cast<std::size_t>(std::countr_zero(stop)) / 8;
            break;
          }
          p += 8;
        }
      }
      while (p < t.size() && kPlainStringByte[static_cast<unsigned char>(t[p])]) ++p;
      if (p >= t.size()) return std::unexpected(r.eof_error(kEofString));
      auto b = static_cast<unsigned char>(t[p]);
      if (b == '"') {
        r.pos_ = p + 1;
        if (!escaped) return t.substr(run, p - run);
        r.scratch_.append(t.data() + run, p - run);
        return std::string_view(r.scratch_);
      }
      if (b < 0x20) return std::unexpected(r.error_at(p, kControlCharacter));
      if (b >= 0x80) {
        auto length = utf8_sequence(r, p);
        if (!length) return std::unexpected(std::move(length.error()));
        p += *length;
        continue;
      }
      // A backslash.
      if (!escaped) {
        r.scratch_.clear();
        escaped = true;
      }
      r.scratch_.append(t.data() + run, p - run);
      ++p;
      if (p >= t.size()) return std::unexpected(r.eof_error(kEofString));
      char e = t[p];
      switch (e) {
        case '"': r.scratch_ += '"'; break;
        case '\\': r.scratch_ += '\\'; break;
        case '/': r.scratch_ += '/'; break;
        case 'b': r.scratch_ += '\b'; break;
        case 'f': r.scratch_ += '\f'; break;
        case 'n': r.scratch_ += '\n'; break;
        case 'r': r.scratch_ += '\r'; break;
        case 't': r.scratch_ += '\t'; break;
        case 'u': {
          auto unit = hex4(r, p + 1);
          if (!unit) return std::unexpected(std::move(unit.error()));
          p += 4;  // p at the last hex digit
          std::uint32_t cp = *unit;
          if (cp >= 0xDC00 && cp <= 0xDFFF) return std::unexpected(r.error_at(p, "invalid unicode code point"));
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A leading surrogate must be followed by "\u" and a trailing one.
            for (char c : {'\\', 'u'}) {
              ++p;
              if (p >= t.size()) return std::unexpected(r.eof_error(kEofString));
              if (t[p] != c) return std::unexpected(r.error_at(p, "lone leading surrogate in hex escape"));
            }
            auto trail = hex4(r, p + 1);
            if (!trail) return std::unexpected(std::move(trail.error()));
            p += 4;
            if (*trail < 0xDC00 || *trail > 0xDFFF) {
              return std::unexpected(r.error_at(p, "invalid unicode code point"));
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*trail - 0xDC00);
          }
          append_utf8(r.scratch_, cp);
          break;
        }
        default:
          return std::unexpected(r.error_at(p, "invalid escape"));
      }
      ++p;
      run = p;
    }
  }

  // Reads '[' or '{' at the position, one level deeper.
  static Result<void> open(JsonReader& r) {
    if (r.depth_ >= kMaxJsonDepth) return std::unexpected(r.error_at(r.pos_, "recursion limit exceeded"));
    ++r.depth_;
    ++r.pos_;
    return {};
  }

  // Up to and including the key of the next object member, or std::nullopt
  // after the closing '}'.
  static Result<std::optional<std::string_view>> member_key(JsonReader& r, bool first) {
    auto opened = member_open(r, first);
    if (!opened) return std::unexpected(std::move(opened.error()));
    if (!*opened) return std::nullopt;
    auto key = string(r);
    if (!key) return std::unexpected(std::move(key.error()));
    return *key;
  }

  // Up to the opening quote of the next member's key (true), or past the
  // closing '}' (false).
  static Result<bool> member_open(JsonReader& r, bool first) {
    r.skip_white_space();
    if (at_end(r)) return std::unexpected(r.eof_error(kEofObject));
    char c = at(r);
    if (c == '}') {
      ++r.pos_;
      --r.depth_;
      return false;
    }
    if (!first) {
      if (c != ',') return std::unexpected(r.error_at(r.pos_, "expected `,` or `}`"));
      ++r.pos_;
      r.skip_white_space();
      if (at_end(r)) return std::unexpected(r.eof_error(kEofObject));
      c = at(r);
    }
    if (c != '"') return std::unexpected(r.error_at(r.pos_, "key must be a string"));
    return true;
  }

  // With the position at a key's opening quote: the index of the field whose
  // name the key spells in plain bytes, trying `guess` first and then the
  // others in table order, with the position moved past the closing quote;
  // fields.size() with the position unchanged when none does (the key then
  // takes the general path). Plain bytes (printable ASCII other than '"' and
  // '\\') decode to themselves, so a match is exactly that key.
  static std::size_t plain_field(JsonReader& r, std::span<const FieldSpec> fields, std::size_t guess) {
    const std::string_view t = r.text_;
    const std::size_t begin = r.pos_ + 1;
    auto spells = [&](std::string_view name) {
      const std::size_t end = begin + name.size();
      if (end >= t.size() || t[end] != '"' || t.compare(begin, name.size(), name) != 0) return false;
      for (char c : name) {
        if (!kPlainStringByte[static_cast<unsigned char>(c)]) return false;
      }
      return true;
    };
    std::size_t found = fields.size();
    if (guess < fields.size() && spells(fields[guess].name)) {
      found = guess;
    } else {
      for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k != guess && spells(fields[k].name)) {
          found = k;
          break;
        }
      }
    }
    if (found < fields.size()) r.pos_ = begin + fields[found].name.size() + 1;
    return found;
  }

  static Result<void> colon(JsonReader& r) {
    r.skip_white_space();
    if (at_end(r)) return std::unexpected(r.eof_error(kEofObject));
    if (at(r) != ':') return std::unexpected(r.error_at(r.pos_, "expected `:`"));
    ++r.pos_;
    return {};
  }

  // The value at the position as a tree, or only checked when `out` is null.
  static Result<void> value(JsonReader& r, JsonValue* out) {
    switch (r.peek()) {
      case JsonToken::end:
        return std::unexpected(r.eof_error(kEofValue));
      case JsonToken::invalid:
        return std::unexpected(r.error_at(r.pos_, "expected value"));
      case JsonToken::null:
        if (auto ok = literal(r, "null"); !ok) return ok;
        if (out) *out = JsonValue(nullptr);
        return {};
      case JsonToken::boolean: {
        auto b = boolean(r);
        if (!b) return std::unexpected(std::move(b.error()));
        if (out) *out = JsonValue(*b);
        return {};
      }
      case JsonToken::number: {
        auto n = number(r);
        if (!n) return std::unexpected(std::move(n.error()));
        if (out) {
          switch (n->kind) {
            case Number::Kind::unsigned_integer: *out = JsonValue(n->u); break;
            case Number::Kind::signed_integer: *out = JsonValue(n->i); break;
            case Number::Kind::floating: *out = JsonValue(n->f); break;
          }
        }
        return {};
      }
      case JsonToken::string: {
        auto s = string(r);
        if (!s) return std::unexpected(std::move(s.error()));
        if (out) *out = JsonValue(std::string(*s));
        return {};
      }
      case JsonToken::array: {
        if (auto ok = open(r); !ok) return ok;
        JsonArray array;
        for (bool first = true;; first = false) {
          auto more = r.next_element(first);
          if (!more) return std::unexpected(std::move(more.error()));
          if (!*more) break;
          JsonValue element;
          if (auto ok = value(r, out ? &element : nullptr); !ok) return ok;
          if (out) array.push_back(std::move(element));
        }
        if (out) *out = JsonValue(std::move(array));
        return {};
      }
      case JsonToken::object: {
        if (auto ok = open(r); !ok) return ok;
        JsonObject object;
        for (bool first = true;; first = false) {
          auto key = member_key(r, first);
          if (!key) return std::unexpected(std::move(key.error()));
          if (!*key) break;
          std::string name;
          if (out) name.assign(**key);  // the view may point into scratch_
          if (auto ok = colon(r); !ok) return ok;
          JsonValue member;
          if (auto ok = value(r, out ? &member : nullptr); !ok) return ok;
          if (out) object.insert_or_assign(std::move(name), std::move(member));
        }
        if (out) *out = JsonValue(std::move(object));
        return {};
      }
    }
    fatal("unreachable JSON token");
  }

  // An unsigned integer no larger than `max`.
  static Result<std::uint64_t> unsigned_integer(JsonReader& r, std::uint64_t max, std::string_view expected) {
    if (r.peek() != JsonToken::number) return std::unexpected(r.invalid_type(expected));
    auto n = number(r);
    if (!n) return std::unexpected(std::move(n.error()));
    if (n->kind == Number::Kind::unsigned_integer && n->u <= max) return n->u;
    return std::unexpected(number_mismatch(r, *n, expected));
  }

  // A number that is not of the wanted kind or range: an integer is an
  // invalid value, a float an invalid type.
  static Error number_mismatch(const JsonReader& r, const Number& n, std::string_view expected) {
    std::string message = n.kind == Number::Kind::floating ? "invalid type: " : "invalid value: ";
    message.append(describe_number(n)).append(", expected ").append(expected);
    return r.error(message);
  }
};

// --- Positions and errors ----------------------------------------------------

Error JsonReader::error_at(std::size_t offset, std::string_view description) const {
  std::size_t line = 1;
  std::size_t column = 0;
  if (!text_.empty()) {
    if (offset >= text_.size()) offset = text_.size() - 1;
    // Computed only here, when an error is made, so reading never tracks lines.
    std::size_t line_start = 0;
    const char* const base = text_.data();
    for (const void* hit; (hit = std::memchr(base + line_start, '\n', offset - line_start)) != nullptr;) {
      ++line;
      line_start = static_cast<std::size_t>(static_cast<const char*>(hit) - base) + 1;
    }
    column = offset - line_start + 1;
  }
  std::string message;
  message.reserve(description.size() + 40);
  message.append(description).append(" at line ");
  append_decimal(message, std::uint64_t{line});
  message.append(" column ");
  append_decimal(message, std::uint64_t{column});
  return Error{std::move(message)};
}

Error JsonReader::eof_error(std::string_view description) const { return error_at(text_.size(), description); }

Error JsonReader::error(std::string_view description) const {
  return error_at(pos_ == 0 ? 0 : pos_ - 1, description);
}

Error JsonReader::invalid_length(std::size_t length, std::string_view expecting) const {
  std::string message = "invalid length ";
  append_decimal(message, std::uint64_t{length});
  message.append(", expected ").append(expecting);
  return error(message);
}

Error JsonReader::invalid_type(std::string_view expecting) {
  using A = JsonReaderAccess;
  std::string found;
  switch (peek()) {
    case JsonToken::end:
      return eof_error(kEofValue);
    case JsonToken::invalid:
      return error_at(pos_, "expected value");
    case JsonToken::null:
      if (auto ok = A::literal(*this, "null"); !ok) return std::move(ok.error());
      found = "null";
      break;
    case JsonToken::boolean: {
      auto b = A::boolean(*this);
      if (!b) return std::move(b.error());
      found = *b ? "boolean `true`" : "boolean `false`";
      break;
    }
    case JsonToken::number: {
      auto n = A::number(*this);
      if (!n) return std::move(n.error());
      found = describe_number(*n);
      break;
    }
    case JsonToken::string: {
      auto s = A::string(*this);
      if (!s) return std::move(s.error());
      found = describe_string(*s);
      break;
    }
    case JsonToken::array:
    case JsonToken::object: {
      // Reported at the bracket, which counts as read.
      std::string message = "invalid type: ";
      message.append(peek() == JsonToken::array ? "sequence" : "map").append(", expected ").append(expecting);
      return error_at(pos_, message);
    }
  }
  std::string message = "invalid type: ";
  message.append(found).append(", expected ").append(expecting);
  return error(message);
}

JsonToken JsonReader::peek() {
  skip_white_space();
  if (pos_ >= text_.size()) return JsonToken::end;
  return kTokenOf[static_cast<unsigned char>(text_[pos_])];
}

Result<void> JsonReader::finish() {
  skip_white_space();
  if (pos_ < text_.size()) return std::unexpected(error_at(pos_, "trailing characters"));
  return {};
}

// --- Scalars -----------------------------------------------------------------

Result<std::uint64_t> JsonReader::read_u64() {
  return JsonReaderAccess::unsigned_integer(*this, std::numeric_limits<std::uint64_t>::max(), "u64");
}

Result<std::uint32_t> JsonReader::read_u32() {
  return JsonReaderAccess::unsigned_integer(*this, std::numeric_limits<std::uint32_t>::max(), "u32")
      .transform([](std::uint64_t u) { return static_cast<std::uint32_t>(u); });
}

Result<std::uint16_t> JsonReader::read_u16() {
  return JsonReaderAccess::unsigned_integer(*this, std::numeric_limits<std::uint16_t>::max(), "u16")
      .transform([](std::uint64_t u) { return static_cast<std::uint16_t>(u); });
}

Result<std::uint8_t> JsonReader::read_u8() {
  return JsonReaderAccess::unsigned_integer(*this, std::numeric_limits<std::uint8_t>::max(), "u8")
      .transform([](std::uint64_t u) { return static_cast<std::uint8_t>(u); });
}

Result<std::int64_t> JsonReader::read_i64() {
  if (peek() != JsonToken::number) return std::unexpected(invalid_type("i64"));
  auto n = JsonReaderAccess::number(*this);
  if (!n) return std::unexpected(std::move(n.error()));
  if (n->kind == Number::Kind::signed_integer) return n->i;
  if (n->kind == Number::Kind::unsigned_integer &&
      n->u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<std::int64_t>(n->u);
  }
  return std::unexpected(JsonReaderAccess::number_mismatch(*this, *n, "i64"));
}

Result<double> JsonReader::read_f64() {
  if (peek() != JsonToken::number) return std::unexpected(invalid_type("f64"));
  auto n = JsonReaderAccess::number(*this);
  if (!n) return std::unexpected(std::move(n.error()));
  switch (n->kind) {
    case Number::Kind::unsigned_integer: return static_cast<double>(n->u);
    case Number::Kind::signed_integer: return static_cast<double>(n->i);
    case Number::Kind::floating: return n->f;
  }
  fatal("unreachable number kind");
}

Result<bool> JsonReader::read_bool() {
  if (peek() != JsonToken::boolean) return std::unexpected(invalid_type("a boolean"));
  return JsonReaderAccess::boolean(*this);
}

Result<void> JsonReader::read_null() {
  if (peek() != JsonToken::null) return std::unexpected(invalid_type("unit"));
  return JsonReaderAccess::literal(*this, "null");
}

Result<std::string_view> JsonReader::read_string_view() {
  if (peek() != JsonToken::string) return std::unexpected(invalid_type("a string"));
  return JsonReaderAccess::string(*this);
}

Result<std::string> JsonReader::read_string() {
  return read_string_view().transform([](std::string_view s) { return std::string(s); });
}

namespace {
template <class T>
Result<void> store(Result<T>&& result, T& out) {
  if (!result) return std::unexpected(std::move(result.error()));
  out = std::move(*result);
  return {};
}
}  // namespace

Result<void> JsonReader::read_u64_into(std::uint64_t& out) { return store(read_u64(), out); }
Result<void> JsonReader::read_u16_into(std::uint16_t& out) { return store(read_u16(), out); }
Result<void> JsonReader::read_u8_into(std::uint8_t& out) { return store(read_u8(), out); }
Result<void> JsonReader::read_i64_into(std::int64_t& out) { return store(read_i64(), out); }
Result<void> JsonReader::read_f64_into(double& out) { return store(read_f64(), out); }
Result<void> JsonReader::read_bool_into(bool& out) { return store(read_bool(), out); }

Result<void> JsonReader::read_string_into(std::string& out) {
  auto s = read_string_view();
  if (!s) return std::unexpected(std::move(s.error()));
  out.assign(*s);
  return {};
}

Result<bool> JsonReader::consume_null() {
  if (peek() != JsonToken::null) return false;
  if (auto ok = JsonReaderAccess::literal(*this, "null"); !ok) return std::unexpected(std::move(ok.error()));
  return true;
}

// --- Containers --------------------------------------------------------------

Result<void> JsonReader::begin_object(std::string_view expecting) {
  if (peek() != JsonToken::object) return std::unexpected(invalid_type(expecting));
  return JsonReaderAccess::open(*this);
}

Result<std::optional<std::string_view>> JsonReader::next_key(bool first) {
  auto key = JsonReaderAccess::member_key(*this, first);
  if (!key || !*key) return key;
  if (auto ok = JsonReaderAccess::colon(*this); !ok) return std::unexpected(std::move(ok.error()));
  return key;
}

Result<std::optional<std::size_t>> JsonReader::next_field(FieldCursor& cursor) {
  if (cursor.first && cursor.fields.size() > 64) fatal("JSON struct reader supports at most 64 fields");
  auto opened = JsonReaderAccess::member_open(*this, cursor.first);
  cursor.first = false;
  if (!opened) return std::unexpected(std::move(opened.error()));
  if (!*opened) {
    for (std::size_t k = 0; k < cursor.fields.size(); ++k) {
      if (cursor.fields[k].required && (cursor.seen & (std::uint64_t{1} << k)) == 0) {
        std::string message = "missing field `";
        message.append(cursor.fields[k].name).append("`");
        return std::unexpected(error(message));
      }
    }
    return std::nullopt;
  }
  // Members mostly come in table order, so the field after the last one read
  // is tried first, straight against the text.
  std::size_t index = JsonReaderAccess::plain_field(*this, cursor.fields, cursor.next);
  if (index == cursor.fields.size()) {
    auto key = JsonReaderAccess::string(*this);
    if (!key) return std::unexpected(std::move(key.error()));
    const std::string_view name = *key;
    // Length and first byte rule out most names before a full comparison.
    for (index = 0; index < cursor.fields.size(); ++index) {
      std::string_view candidate = cursor.fields[index].name;
      if (candidate.size() == name.size() && (name.empty() || candidate[0] == name[0]) && candidate == name) break;
    }
    if (index == cursor.fields.size()) {
      return std::unexpected(error(expected_names("field", name, FieldNames{cursor.fields}, "there are no fields")));
    }
  }
  cursor.next = index + 1;
  const std::uint64_t bit = std::uint64_t{1} << index;
  if (cursor.seen & bit) {
    std::string message = "duplicate field `";
    message.append(cursor.fields[index].name).append("`");
    return std::unexpected(error(message));
  }
  cursor.seen |= bit;
  if (auto ok = JsonReaderAccess::colon(*this); !ok) return std::unexpected(std::move(ok.error()));
  return index;
}

Result<void> JsonReader::begin_array(std::string_view expecting) {
  if (peek() != JsonToken::array) return std::unexpected(invalid_type(expecting));
  return JsonReaderAccess::open(*this);
}

Result<bool> JsonReader::next_element(bool first) {
  skip_white_space();
  if (pos_ >= text_.size()) return std::unexpected(eof_error(kEofList));
  char c = text_[pos_];
  if (c == ']') {
    ++pos_;
    --depth_;
    return false;
  }
  if (!first) {
    if (c != ',') return std::unexpected(error_at(pos_, "expected `,` or `]`"));
    ++pos_;
  }
  return true;
}

// --- Enums -------------------------------------------------------------------

Result<std::size_t> JsonReader::read_enum(std::string_view expecting, std::span<const std::string_view> variants) {
  if (peek() != JsonToken::string) return std::unexpected(invalid_type(expecting));
  auto name = JsonReaderAccess::string(*this);
  if (!name) return std::unexpected(std::move(name.error()));
  for (std::size_t k = 0; k < variants.size(); ++k) {
    if (variants[k] == *name) return k;
  }
  return std::unexpected(error(expected_names("variant", *name, variants, "there are no variants")));
}

Result<JsonReader::VariantHead> JsonReader::begin_variant(std::string_view expecting,
                                                          std::span<const VariantSpec> variants) {
  using A = JsonReaderAccess;
  auto find = [&](std::string_view name) -> Result<std::size_t> {
    for (std::size_t k = 0; k < variants.size(); ++k) {
      if (variants[k].name == name) return k;
    }
    return std::unexpected(error(expected_names("variant", name, VariantNames{variants}, "there are no variants")));
  };
  JsonToken token = peek();
  if (token == JsonToken::string) {
    auto name = A::string(*this);
    if (!name) return std::unexpected(std::move(name.error()));
    auto index = find(*name);
    if (!index) return std::unexpected(std::move(index.error()));
    if (variants[*index].has_value) {
      return std::unexpected(error("invalid type: unit variant, expected newtype variant"));
    }
    return VariantHead{*index, false};
  }
  if (token != JsonToken::object) return std::unexpected(invalid_type(expecting));
  if (auto ok = A::open(*this); !ok) return std::unexpected(std::move(ok.error()));
  auto key = A::member_key(*this, true);
  if (!key) return std::unexpected(std::move(key.error()));
  if (!*key) return std::unexpected(invalid_length(0, "map with a single key"));
  auto index = find(**key);
  if (!index) return std::unexpected(std::move(index.error()));
  if (auto ok = A::colon(*this); !ok) return std::unexpected(std::move(ok.error()));
  return VariantHead{*index, true};
}

Result<void> JsonReader::end_variant(const VariantSpec&, bool object_form) {
  if (!object_form) return {};
  // Count any further members (checking their syntax) so the message can say
  // how many there were.
  std::size_t members = 1;
  for (;;) {
    auto key = next_key(false);
    if (!key) return std::unexpected(std::move(key.error()));
    if (!*key) break;
    ++members;
    if (auto ok = skip_value(); !ok) return ok;
  }
  if (members != 1) return std::unexpected(invalid_length(members, "map with a single key"));
  return {};
}

// --- Generic values ----------------------------------------------------------

Result<JsonValue> JsonReader::read_value() {
  JsonValue value;
  if (auto ok = JsonReaderAccess::value(*this, &value); !ok) return std::unexpected(std::move(ok.error()));
  return value;
}

Result<void> JsonReader::skip_value() { return JsonReaderAccess::value(*this, nullptr); }

Result<JsonValue> parse_json(std::string_view text) {
  return read_required_document<JsonValue>(text, [](JsonReader& reader) { return reader.read_value(); });
}

}  // namespace lumivar
