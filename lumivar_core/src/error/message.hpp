#pragma once
// Helpers shared by every message that names a value.

#include <string>
#include <string_view>

namespace lumivar {

// The text in double quotes with '"' and '\\' escaped by a backslash; nothing
// else is changed. Used wherever a message shows a name or an identifier.
[[nodiscard]] std::string quoted(std::string_view text);

}  // namespace lumivar
