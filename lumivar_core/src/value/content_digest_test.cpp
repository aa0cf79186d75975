#include "lumivar_core/value/content_digest.hpp"

#include <gtest/gtest.h>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/value/artifact_identity.hpp"

namespace lumivar {
namespace {

Sha256Digest counting_digest() {
  Sha256Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<std::uint8_t>(i * 8 + 7);
  return digest;
}

TEST(ContentDigest, TextForm) {
  EXPECT_EQ(to_text(ContentDigest::sha256(counting_digest())),
            "sha256:070f171f272f373f474f575f676f777f878f979fa7afb7bfc7cfd7dfe7eff7ff");
  EXPECT_EQ(sha256_text(Sha256Digest{}), "sha256:" + std::string(64, '0'));
}

TEST(ContentDigest, JsonForms) {
  Sha256Digest value{};
  value[0] = 255;
  value[31] = 1;
  std::string bytes = "[255";
  for (int i = 1; i < 31; ++i) bytes += ",0";
  bytes += ",1]";
  EXPECT_EQ(canonical_json_bytes(to_json(ContentDigest::sha256(value))).value(),
            R"({"algorithm":"sha256","value":)" + bytes + "}");
  EXPECT_EQ(canonical_json_bytes(to_json(ArtifactIdentity{42, ContentDigest::sha256(value)})).value(),
            R"({"byte_len":42,"digest":{"algorithm":"sha256","value":)" + bytes + "}}");
}

}  // namespace
}  // namespace lumivar
