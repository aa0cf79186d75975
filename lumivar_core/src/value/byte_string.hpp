#pragma once
// The two byte-string types of the system. JSON text (canonical, compact and
// pretty) is held in std::string; every other byte string (CBOR, state images,
// frame payloads, hash input) is a ByteString. Conversions between them are
// explicit so a JSON text never ends up where binary bytes are expected.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lumivar {

using ByteString = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The bytes of a text, e.g. JSON text entering a hash as one part.
[[nodiscard]] inline ByteView as_bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace lumivar
