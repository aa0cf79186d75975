#pragma once
// Dotted identifiers (input IDs, execution limit IDs, capability IDs, schema
// family IDs): segments joined by ".", each non-empty and made only of
// lowercase ASCII letters, digits, '_' and '-'.

#include <string_view>

#include "lumivar_core/error/error.hpp"

namespace lumivar {

// kind_word names the identifier in messages ("input ID", "capability ID", ...).
[[nodiscard]] Result<void> validate_identifier(std::string_view kind_word, std::string_view text);

}  // namespace lumivar
