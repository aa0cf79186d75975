#pragma once
// The shared OpenSSL SHA-256 method. Fetched once: an implicit fetch on every
// EVP_DigestInit_ex2 costs a provider lookup, which shows on per-event hashing.

#include <openssl/evp.h>

namespace lumivar::detail {

[[nodiscard]] const EVP_MD* evp_sha256();

// A fresh or reset digest context primed for SHA-256; fatal on failure.
void evp_sha256_init(EVP_MD_CTX* context);

}  // namespace lumivar::detail
