#pragma once
// Content digests and artifact identities: the 32-byte SHA-256 values that name
// documents, frames and artifacts.

#include <array>
#include <cstdint>
#include <string>
#include <cstddef>
#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

// A plain SHA-256 output.
using Sha256Digest = std::array<std::uint8_t, 32>;

enum class DigestAlgorithm : std::uint8_t { sha256 = 0 };

// "sha256"
[[nodiscard]] std::string_view digest_algorithm_name(DigestAlgorithm algorithm);

struct ContentDigest {
  DigestAlgorithm algorithm = DigestAlgorithm::sha256;
  Sha256Digest value{};

  [[nodiscard]] static ContentDigest sha256(const Sha256Digest& value) {
    return ContentDigest{DigestAlgorithm::sha256, value};
  }

  friend bool operator==(const ContentDigest&, const ContentDigest&) = default;
};

// "sha256:" followed by 64 lowercase hexadecimal digits, as messages show it.
[[nodiscard]] std::string to_text(const ContentDigest& digest);
// The same text for a bare SHA-256 output.
[[nodiscard]] std::string sha256_text(const Sha256Digest& digest);

// {"algorithm": "sha256", "value": [b0, ..., b31]}
[[nodiscard]] JsonValue to_json(const ContentDigest& digest);

}  // namespace lumivar
