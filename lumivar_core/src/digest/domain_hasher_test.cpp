#include "lumivar_core/digest/domain_hasher.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "lumivar_core/digest/fingerprint.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/encoding/hex_testing.hpp"

namespace lumivar {
namespace {

using testing::from_hex;

// The hash input written out by hand: 8-byte big-endian length, then the bytes.
ByteString part(std::string_view bytes) {
  ByteString out;
  for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bytes.size() >> (8 * i)));
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

ByteString concat(std::initializer_list<ByteString> pieces) {
  ByteString out;
  for (const ByteString& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

TEST(Sha256, KnownVectors) {
  EXPECT_BYTES_EQ(from_hex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"), sha256(""));
  EXPECT_BYTES_EQ(from_hex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"), sha256("abc"));
}

TEST(DomainHasher, FramesPrefixKindAndParts) {
  ByteString prefix = part("lumivar.sha256.domain.v1");
  EXPECT_BYTES_EQ(from_hex("00 00 00 00 00 00 00 18 6c 75 6d 69 76 61 72 2e"), ByteView(prefix).first(16));

  DomainHasher hasher("lumivar.final_state.v1");
  hasher.add("schema.id");
  hasher.add_u16_be(1);
  hasher.add_u16_be(0x0203);
  hasher.add_u32_be(0x04050607);
  hasher.add_u64_be(0x08090A0B0C0D0E0FULL);
  hasher.add_raw(ByteString{0xEE});
  hasher.add(ByteView{});
  hasher.add(ByteString{0, 1});
  ByteString framed = concat({prefix, part("lumivar.final_state.v1"), part("schema.id"),
                              from_hex("0001 0203 04050607 08090a0b0c0d0e0f ee"), ByteString(8, 0),
                              part(std::string("\0\1", 2))});
  EXPECT_BYTES_EQ(sha256(framed), hasher.finish());
  EXPECT_FALSE(hasher.active());

  // Begun again, the hasher starts from scratch.
  hasher.begin("k");
  EXPECT_BYTES_EQ(sha256(concat({prefix, part("k")})), hasher.finish());
}

TEST(DomainHasher, PartBoundariesChangeTheDigest) {
  DomainHasher one("k");
  one.add("ab");
  DomainHasher two("k");
  two.add("a");
  two.add("b");
  EXPECT_NE(one.finish(), two.finish());
}

TEST(DomainHasher, MovedFromHasherCanBeginAgain) {
  DomainHasher source("k");
  DomainHasher target = std::move(source);
  EXPECT_FALSE(source.active());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  source.begin("k");
  EXPECT_EQ(source.finish(), target.finish());
}

TEST(DomainHasher, UseBeforeBeginIsFatal) {
  DomainHasher hasher;
  EXPECT_THROW(hasher.add("x"), FatalError);
  EXPECT_THROW((void)hasher.finish(), FatalError);
}

TEST(FingerprintDocument, HashesDomainAndCanonicalJson) {
  JsonObject object;
  object.emplace("a", 1);
  JsonValue document(std::move(object));
  ByteString framed = concat({part("lumivar.sha256.domain.v1"), part("lumivar.canonical_json.v1"), part("d"),
                              part(R"({"a":1})")});
  Result<Sha256Digest> digest = fingerprint_document("d", document);
  ASSERT_TRUE(digest.has_value());
  EXPECT_BYTES_EQ(sha256(framed), *digest);
  // Computed independently of this code base.
  EXPECT_BYTES_EQ(from_hex("88277264f0d44a8ff15256db466af5dbff0589d5b6dae21fb52f8099dabe3b51"), *digest);
  EXPECT_EQ(fingerprint_canonical_json("d", R"({"a":1})").value(), *digest);
}

TEST(FingerprintDocument, Failures) {
  const JsonValue nan(std::numeric_limits<double>::quiet_NaN());
  struct Case {
    std::string_view domain;
    JsonValue document;
    const char* message;
  };
  const Case cases[] = {
      {"", JsonValue(1), "fingerprint domain must not be empty"},
      // The domain is checked before the document is looked at.
      {"", nan, "fingerprint domain must not be empty"},
      {"d", nan, "cannot convert value to canonical JSON: non-finite float"},
  };
  for (const Case& c : cases) {
    Result<Sha256Digest> digest = fingerprint_document(c.domain, c.document);
    ASSERT_FALSE(digest.has_value());
    EXPECT_EQ(digest.error().message, c.message);
  }
  EXPECT_EQ(fingerprint_canonical_json("", "1").error().message, "fingerprint domain must not be empty");
}

}  // namespace
}  // namespace lumivar
