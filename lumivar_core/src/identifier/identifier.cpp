#include "lumivar_core/identifier/identifier.hpp"

#include <string>

#include "lumivar_core/error/message.hpp"

namespace lumivar {

namespace {

bool is_identifier_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

}  // namespace

Result<void> validate_identifier(std::string_view kind_word, std::string_view text) {
  if (text.empty()) return fail(std::string(kind_word) + " must not be empty");
  std::size_t start = 0;
  while (true) {
    std::size_t dot = text.find('.', start);
    std::string_view segment = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (segment.empty()) {
      return fail(std::string(kind_word) + " " + quoted(text) + " contains an empty segment");
    }
    for (char c : segment) {
      if (!is_identifier_char(c)) {
        return fail(std::string(kind_word) + " " + quoted(text) +
                    " contains a character outside lowercase ASCII letters, digits, '_' and '-'");
      }
    }
    if (dot == std::string_view::npos) return {};
    start = dot + 1;
  }
}

}  // namespace lumivar
