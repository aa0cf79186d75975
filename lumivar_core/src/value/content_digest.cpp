#include "lumivar_core/value/content_digest.hpp"

namespace lumivar {

std::string_view digest_algorithm_name(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::sha256: return "sha256";
  }
  fatal("digest algorithm out of range");
}

std::string sha256_text(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "sha256:";
  text.reserve(text.size() + 2 * digest.size());
  for (std::uint8_t b : digest) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 0x0F]);
  }
  return text;
}

std::string to_text(const ContentDigest& digest) {
  // The only algorithm is SHA-256, whose text form carries the "sha256:" prefix.
  return sha256_text(digest.value);
}

JsonValue to_json(const ContentDigest& digest) {
  JsonObject object;
  object.emplace("algorithm", std::string(digest_algorithm_name(digest.algorithm)));
  object.emplace("value", bytes_to_json(digest.value));
  return JsonValue(std::move(object));
}

}  // namespace lumivar
