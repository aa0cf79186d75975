#include "lumivar_core/digest/sha256.hpp"

#include "lumivar_core/digest/evp_sha256.hpp"
#include "lumivar_core/error/error.hpp"

namespace lumivar {

namespace detail {

const EVP_MD* evp_sha256() {
  static const EVP_MD* const method = [] {
    EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    if (fetched == nullptr) fatal("OpenSSL provides no SHA-256");
    return fetched;
  }();
  return method;
}

void evp_sha256_init(EVP_MD_CTX* context) {
  if (EVP_DigestInit_ex2(context, evp_sha256(), nullptr) != 1) fatal("SHA-256 initialisation failed");
}

}  // namespace detail

namespace {

// One context per thread, reset for every digest instead of allocated.
struct ThreadContext {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ThreadContext() {
    if (context == nullptr) fatal("cannot allocate a SHA-256 context");
  }
  ~ThreadContext() { EVP_MD_CTX_free(context); }
  ThreadContext(const ThreadContext&) = delete;
  ThreadContext& operator=(const ThreadContext&) = delete;
};

}  // namespace

Sha256Digest sha256(ByteView bytes) {
  thread_local ThreadContext holder;
  detail::evp_sha256_init(holder.context);
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestUpdate(holder.context, bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(holder.context, digest.data(), &length) != 1 || length != digest.size()) {
    fatal("SHA-256 computation failed");
  }
  return digest;
}

}  // namespace lumivar
