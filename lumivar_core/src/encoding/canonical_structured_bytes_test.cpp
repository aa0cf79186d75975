#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "lumivar_core/encoding/hex_testing.hpp"

namespace lumivar {
namespace {

using testing::from_hex;
using SV = StructuredValue;

StructuredMap map_of(std::initializer_list<std::pair<std::string, StructuredValue>> entries) {
  StructuredMap map;
  for (const auto& [key, value] : entries) map.emplace(key, value);
  return map;
}

TEST(CanonicalStructuredBytes, GoldenVectors) {
  struct Case {
    const char* name;
    StructuredValue value;
    const char* hex;
  };
  const Case cases[] = {
      {"null", SV::null(), "f6"},
      {"true", SV::boolean(true), "f5"},
      {"false", SV::boolean(false), "f4"},
      {"u0", SV::unsigned_integer(0), "00"},
      {"u23", SV::unsigned_integer(23), "17"},
      {"u24", SV::unsigned_integer(24), "18 18"},
      {"u255", SV::unsigned_integer(255), "18 ff"},
      {"u256", SV::unsigned_integer(256), "19 01 00"},
      {"u65535", SV::unsigned_integer(65535), "19 ff ff"},
      {"u65536", SV::unsigned_integer(65536), "1a 00 01 00 00"},
      {"u2^32-1", SV::unsigned_integer(0xFFFFFFFFu), "1a ff ff ff ff"},
      {"u2^32", SV::unsigned_integer(0x100000000u), "1b 00 00 00 01 00 00 00 00"},
      {"umax", SV::unsigned_integer(std::numeric_limits<std::uint64_t>::max()), "1b ff ff ff ff ff ff ff ff"},
      {"s5", SV::signed_integer(5), "05"},
      {"s-1", SV::signed_integer(-1), "20"},
      {"s-24", SV::signed_integer(-24), "37"},
      {"s-25", SV::signed_integer(-25), "38 18"},
      {"s-257", SV::signed_integer(-257), "39 01 00"},
      {"smin", SV::signed_integer(std::numeric_limits<std::int64_t>::min()), "3b 7f ff ff ff ff ff ff ff"},
      {"smax", SV::signed_integer(std::numeric_limits<std::int64_t>::max()), "1b 7f ff ff ff ff ff ff ff"},
      {"f0", SV::floating(0.0), "fb 00 00 00 00 00 00 00 00"},
      {"f-0", SV::floating(-0.0), "fb 00 00 00 00 00 00 00 00"},
      {"f1", SV::floating(1.0), "fb 3f f0 00 00 00 00 00 00"},
      {"f-1.5", SV::floating(-1.5), "fb bf f8 00 00 00 00 00 00"},
      {"text empty", SV::text(""), "60"},
      {"text", SV::text("a\xC3\xA9"), "63 61 c3 a9"},
      {"bytes empty", SV::bytes({}), "40"},
      {"bytes", SV::bytes({1, 2, 255}), "43 01 02 ff"},
      {"array empty", SV::array({}), "80"},
      {"array", SV::array({SV::unsigned_integer(1), SV::array({SV::null()})}), "82 01 81 f6"},
      {"map empty", SV::map({}), "a0"},
      // Length first: "a", "b", "aa" (canonical JSON would order a, aa, b).
      {"map order",
       SV::map(map_of({{"b", SV::unsigned_integer(2)}, {"aa", SV::unsigned_integer(3)}, {"a", SV::unsigned_integer(1)}})),
       "a3 61 61 01 61 62 02 62 61 61 03"},
  };
  for (const Case& c : cases) {
    Result<ByteString> bytes = canonical_structured_bytes(c.value);
    ASSERT_TRUE(bytes.has_value()) << c.name;
    EXPECT_BYTES_EQ(from_hex(c.hex), *bytes) << c.name;
  }
}

TEST(CanonicalStructuredBytes, TextHeadsAtLengthBoundaries) {
  struct Case {
    std::size_t length;
    const char* head;
  };
  for (const Case& c : {Case{23, "77"}, Case{24, "78 18"}, Case{255, "78 ff"}, Case{256, "79 01 00"},
                        Case{65536, "7a 00 01 00 00"}}) {
    std::string text(c.length, 'x');
    ByteString expected = from_hex(c.head);
    expected.insert(expected.end(), text.begin(), text.end());
    EXPECT_BYTES_EQ(expected, canonical_structured_bytes(SV::text(text)).value()) << c.length;
    ByteString raw(c.length, 0x78);
    expected[0] = static_cast<std::uint8_t>(expected[0] - 0x20);  // major type 2
    EXPECT_BYTES_EQ(expected, canonical_structured_bytes(SV::bytes(raw)).value()) << c.length;
  }
}

// Keys whose encodings have different head sizes still sort by total length.
TEST(CanonicalStructuredBytes, MapKeysSortByEncodedLengthThenBytes) {
  std::string k23(23, 'z');
  std::string k24(24, 'a');
  StructuredValue value =
      SV::map(map_of({{k24, SV::null()}, {"zz", SV::null()}, {k23, SV::null()}, {"b", SV::null()}, {"a", SV::null()},
                      {"", SV::null()}}));
  ByteString bytes = canonical_structured_bytes(value).value();
  std::string expected_hex = "a6 60 f6 61 61 f6 61 62 f6 62 7a 7a f6 77";
  for (int i = 0; i < 23; ++i) expected_hex += " 7a";
  expected_hex += " f6 78 18";
  for (int i = 0; i < 24; ++i) expected_hex += " 61";
  expected_hex += " f6";
  EXPECT_BYTES_EQ(from_hex(expected_hex), bytes);
}

TEST(CanonicalStructuredBytes, RejectsNonFiniteFloats) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const StructuredValue cases[] = {
      SV::floating(nan),
      SV::floating(inf),
      SV::floating(-inf),
      SV::array({SV::unsigned_integer(1), SV::floating(nan)}),
      SV::map(map_of({{"k", SV::array({SV::floating(-inf)})}})),
  };
  for (const StructuredValue& value : cases) {
    Result<ByteString> bytes = canonical_structured_bytes(value);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().message, "canonical structured values reject non-finite floats");
  }
}

TEST(CborWriter, PrimitivesWrittenStraightFromStructs) {
  CborWriter writer;
  writer.begin_map(2);
  writer.write_text("n");
  writer.write_signed(-1000);
  writer.write_text("v");
  writer.begin_array(3);
  writer.write_bool(false);
  writer.write_null();
  ASSERT_TRUE(writer.write_double(0.5));
  EXPECT_FALSE(writer.write_double(std::numeric_limits<double>::infinity()));
  writer.write_head(CborMajor::tag, 24);
  writer.write_bytes(ByteString{0xAB});
  EXPECT_BYTES_EQ(from_hex("a2 61 6e 39 03 e7 61 76 83 f4 f6 fb 3f e0 00 00 00 00 00 00 d8 18 41 ab"),
                  writer.take());
  EXPECT_EQ(writer.size(), 0u);
  EXPECT_EQ(cbor_head_size(23), 1u);
  EXPECT_EQ(cbor_head_size(24), 2u);
  EXPECT_EQ(cbor_head_size(0x10000), 5u);
  EXPECT_EQ(cbor_head_size(0x100000000), 9u);
}

}  // namespace
}  // namespace lumivar
