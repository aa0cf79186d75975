#pragma once
// Domain-separated SHA-256 ("lumivar.sha256.domain.v1"). Every hash starts with
// the length-prefixed domain-separation ID and the length-prefixed kind, and
// every further part is length-prefixed too (8-byte big-endian length, then the
// bytes), so inputs of different kinds or different part boundaries never
// collide. Raw big-endian integers may be added between parts without prefix.

#include <cstdint>
#include <memory>
#include <string_view>

#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/content_digest.hpp"

namespace lumivar {

inline constexpr std::string_view kDomainSeparationId = "lumivar.sha256.domain.v1";

class DomainHasher {
 public:
  // Not begun: call begin before adding anything.
  DomainHasher();
  // Begun with the kind.
  explicit DomainHasher(std::string_view kind);
  ~DomainHasher();
  DomainHasher(DomainHasher&&) noexcept;
  DomainHasher& operator=(DomainHasher&&) noexcept;
  DomainHasher(const DomainHasher&) = delete;
  DomainHasher& operator=(const DomainHasher&) = delete;

  // Starts a new hash (discarding any unfinished one): the length-prefixed
  // domain-separation ID, then the length-prefixed kind.
  void begin(std::string_view kind);

  // One length-prefixed part.
  void add(ByteView part);
  void add(std::string_view part) { add(as_bytes(part)); }
  // Bare bytes without length prefix (fixed-width fields).
  void add_raw(ByteView bytes);
  void add_u16_be(std::uint16_t value);
  void add_u32_be(std::uint32_t value);
  void add_u64_be(std::uint64_t value);

  // The digest; the hasher must be begun again before further use.
  [[nodiscard]] Sha256Digest finish();

  [[nodiscard]] bool active() const { return active_; }

 private:
  void update(const std::uint8_t* data, std::size_t n);

  struct Context;
  std::unique_ptr<Context> context_;
  bool active_ = false;
};

}  // namespace lumivar
