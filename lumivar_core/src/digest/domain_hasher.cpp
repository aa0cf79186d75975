#include "lumivar_core/digest/domain_hasher.hpp"

#include <utility>

#include "lumivar_core/digest/evp_sha256.hpp"
#include "lumivar_core/error/error.hpp"

namespace lumivar {

struct DomainHasher::Context {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  Context() {
    if (context == nullptr) fatal("cannot allocate a SHA-256 context");
  }
  ~Context() { EVP_MD_CTX_free(context); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

DomainHasher::DomainHasher() : context_(std::make_unique<Context>()) {}

DomainHasher::DomainHasher(std::string_view kind) : DomainHasher() { begin(kind); }

DomainHasher::~DomainHasher() = default;
DomainHasher::DomainHasher(DomainHasher&& other) noexcept
    : context_(std::move(other.context_)), active_(std::exchange(other.active_, false)) {}

DomainHasher& DomainHasher::operator=(DomainHasher&& other) noexcept {
  context_ = std::move(other.context_);
  active_ = std::exchange(other.active_, false);
  return *this;
}

void DomainHasher::begin(std::string_view kind) {
  // A moved-from hasher gets a context again.
  if (!context_) context_ = std::make_unique<Context>();
  detail::evp_sha256_init(context_->context);
  active_ = true;
  add(kDomainSeparationId);
  add(kind);
}

void DomainHasher::update(const std::uint8_t* data, std::size_t n) {
  if (!active_) fatal("domain hasher used before begin");
  if (EVP_DigestUpdate(context_->context, data, n) != 1) fatal("SHA-256 update failed");
}

void DomainHasher::add(ByteView part) {
  add_u64_be(part.size());
  update(part.data(), part.size());
}

void DomainHasher::add_raw(ByteView bytes) { update(bytes.data(), bytes.size()); }

void DomainHasher::add_u16_be(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  update(bytes, sizeof bytes);
}

void DomainHasher::add_u32_be(std::uint32_t value) {
  std::uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  update(bytes, sizeof bytes);
}

void DomainHasher::add_u64_be(std::uint64_t value) {
  std::uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
  update(bytes, sizeof bytes);
}

Sha256Digest DomainHasher::finish() {
  if (!active_) fatal("domain hasher finished before begin");
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->context, digest.data(), &length) != 1 || length != digest.size()) {
    fatal("SHA-256 finalisation failed");
  }
  active_ = false;
  return digest;
}

}  // namespace lumivar
