#include "chip8_bundle/contract/key_input_id.hpp"

#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

std::string format_key_input_id(std::uint8_t key) {
  if (key >= kKeyInputCount) lumivar::fatal("canonical CHIP-8 key input ID");
  std::string id(kKeyInputPrefix);
  id.push_back("0123456789abcdef"[key]);
  return id;
}

std::optional<std::uint8_t> parse_key_input_id(std::string_view input_id) {
  if (input_id.size() <= kKeyInputPrefix.size() || !input_id.starts_with(kKeyInputPrefix)) {
    return std::nullopt;
  }
  std::string_view digits = input_id.substr(kKeyInputPrefix.size());
  if (digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;  // a lone "+"
  unsigned value = 0;
  for (const char c : digits) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a') + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A') + 10;
    } else {
      return std::nullopt;  // includes "-" and a second sign
    }
    // Leading zeros keep the value small, so checking after each digit both
    // bounds the value and keeps it from overflowing on long inputs.
    value = value * 16 + digit;
    if (value >= kKeyInputCount) return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

}  // namespace chip8::bundle
