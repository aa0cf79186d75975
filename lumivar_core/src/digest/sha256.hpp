#pragma once
// Plain SHA-256 on OpenSSL libcrypto, for artifact and frame digests.

#include <string_view>

#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/content_digest.hpp"

namespace lumivar {

[[nodiscard]] Sha256Digest sha256(ByteView bytes);
[[nodiscard]] inline Sha256Digest sha256(std::string_view text) { return sha256(as_bytes(text)); }

}  // namespace lumivar
