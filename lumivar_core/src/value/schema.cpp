#include "lumivar_core/value/schema.hpp"

#include <cstdint>
#include <optional>

namespace lumivar {

std::string to_string(const SchemaVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.patch);
}

JsonValue to_json(const SchemaVersion& version) {
  JsonObject object;
  object.emplace("major", static_cast<std::uint64_t>(version.major));
  object.emplace("minor", static_cast<std::uint64_t>(version.minor));
  object.emplace("patch", static_cast<std::uint64_t>(version.patch));
  return JsonValue(std::move(object));
}

JsonValue to_json(const SchemaRef& schema) {
  JsonObject object;
  object.emplace("id", schema.id);
  object.emplace("version", to_json(schema.version));
  return JsonValue(std::move(object));
}

namespace {

// Code points with the Unicode White_Space property.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

struct Decoded {
  char32_t code_point;
  std::size_t length;
};

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The code point starting at text[at], or nothing for a malformed sequence.
// Only the shapes white space can take need to be recognised exactly; any other
// well-formed sequence just has to be told apart from white space.
std::optional<Decoded> decode_forward(std::string_view text, std::size_t at) {
  auto b0 = static_cast<unsigned char>(text[at]);
  std::size_t length = b0 < 0x80 ? 1 : (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || text.size() - at < length) return std::nullopt;
  char32_t c = length == 1 ? b0 : length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (std::size_t i = 1; i < length; ++i) {
    auto b = static_cast<unsigned char>(text[at + i]);
    if (!is_continuation(b)) return std::nullopt;
    c = (c << 6) | (b & 0x3F);
  }
  // Overlong forms are malformed, so no disguised space is ever trimmed.
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length]) return std::nullopt;
  return Decoded{c, length};
}

// The code point ending just before text[end].
std::optional<Decoded> decode_backward(std::string_view text, std::size_t end) {
  std::size_t start = end;
  while (start > 0 && end - start < 4) {
    --start;
    if (!is_continuation(static_cast<unsigned char>(text[start]))) break;
  }
  std::optional<Decoded> decoded = decode_forward(text, start);
  if (!decoded || start + decoded->length != end) return std::nullopt;
  return decoded;
}

}  // namespace

std::string_view trim_unicode_white_space(std::string_view text) {
  // Nearly every text starts and ends with a printable ASCII character: then
  // there is nothing to trim, and nothing needs decoding.
  if (!text.empty()) {
    const auto first = static_cast<unsigned char>(text.front());
    const auto last = static_cast<unsigned char>(text.back());
    if (first < 0x80 && last < 0x80 && !is_white_space(first) && !is_white_space(last)) return text;
  }
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end) {
    std::optional<Decoded> d = decode_forward(text.substr(0, end), begin);
    if (!d || !is_white_space(d->code_point)) break;
    begin += d->length;
  }
  while (end > begin) {
    std::optional<Decoded> d = decode_backward(text.substr(begin, end - begin), end - begin);
    if (!d || !is_white_space(d->code_point)) break;
    end -= d->length;
  }
  return text.substr(begin, end - begin);
}

}  // namespace lumivar
