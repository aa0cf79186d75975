#include "chip8_bundle/contract/chip8_configuration.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chip8::bundle {
namespace {

using lumivar::StructuredMap;
using SV = lumivar::StructuredValue;

StructuredMap valid_map() {
  StructuredMap map;
  map.emplace("quirks", SV::text("schip"));
  map.emplace("cycles_per_frame", SV::unsigned_integer(12));
  map.emplace("machine_seed", SV::unsigned_integer(99));
  return map;
}

TEST(Chip8Configuration, ParsesAValidConfiguration) {
  auto parsed = parse_chip8_configuration(SV::map(valid_map()));
  ASSERT_TRUE(parsed) << parsed.error().message;
  EXPECT_EQ(parsed->preset_name, "schip");
  EXPECT_EQ(parsed->quirks, *find_quirk_preset("schip"));
  EXPECT_EQ(parsed->cycles_per_frame, 12u);
  EXPECT_EQ(parsed->machine_seed, 99u);
}

struct ParseCase {
  const char* name;
  const char* key;   // member to change; null: replace the whole value
  std::optional<SV> value;  // nullopt: remove the member
  std::string message;  // empty: accepted
};

TEST(Chip8Configuration, FieldChecksInOrder) {
  const std::vector<ParseCase> cases = {
      {"missing quirks", "quirks", std::nullopt, "CHIP-8 configuration field \"quirks\" must be text"},
      {"quirks not text", "quirks", SV::boolean(true), "CHIP-8 configuration field \"quirks\" must be text"},
      {"cycles missing", "cycles_per_frame", std::nullopt,
       "CHIP-8 configuration field \"cycles_per_frame\" must be a positive u32"},
      {"cycles signed 5", "cycles_per_frame", SV::signed_integer(5), ""},
      {"cycles zero passes here", "cycles_per_frame", SV::unsigned_integer(0), ""},
      {"cycles u32 max", "cycles_per_frame", SV::unsigned_integer(4294967295), ""},
      {"cycles 2^32", "cycles_per_frame", SV::unsigned_integer(4294967296),
       "CHIP-8 configuration field \"cycles_per_frame\" must be a positive u32"},
      {"cycles negative", "cycles_per_frame", SV::signed_integer(-1),
       "CHIP-8 configuration field \"cycles_per_frame\" must be a positive u32"},
      {"cycles float", "cycles_per_frame", SV::floating(12.0),
       "CHIP-8 configuration field \"cycles_per_frame\" must be a positive u32"},
      {"seed missing", "machine_seed", std::nullopt, "CHIP-8 configuration field \"machine_seed\" must be an integer"},
      {"seed text", "machine_seed", SV::text("0"), "CHIP-8 configuration field \"machine_seed\" must be an integer"},
      {"seed -1", "machine_seed", SV::signed_integer(-1), "CHIP-8 machine_seed must be non-negative"},
      {"seed 2^63 passes here", "machine_seed", SV::unsigned_integer(std::uint64_t{1} << 63), ""},
      {"upper-case preset", "quirks", SV::text("CHIP8"),
       "unknown CHIP-8 quirks preset \"CHIP8\"; expected chip8, chip48, vip, schip, or xochip"},
      {"extra members ignored", "other", SV::null(), ""},
  };
  for (const ParseCase& c : cases) {
    StructuredMap map = valid_map();
    if (c.value) map.insert_or_assign(c.key, *c.value); else map.erase(c.key);
    auto parsed = parse_chip8_configuration(SV::map(map));
    if (c.message.empty()) {
      EXPECT_TRUE(parsed) << c.name << ": " << parsed.error().message;
    } else {
      ASSERT_FALSE(parsed) << c.name;
      EXPECT_EQ(parsed.error().message, c.message) << c.name;
    }
  }
  EXPECT_EQ(parse_chip8_configuration(SV::array({})).error().message, "CHIP-8 machine configuration must be a map");
}

TEST(Chip8Configuration, EveryPresetNameSelectsItsFlags) {
  for (const std::string_view name : {"chip8", "chip48", "vip", "schip", "xochip"}) {
    StructuredMap map = valid_map();
    map.insert_or_assign("quirks", SV::text(std::string(name)));
    auto parsed = parse_chip8_configuration(SV::map(map));
    ASSERT_TRUE(parsed) << name;
    EXPECT_EQ(parsed->preset_name, name);
    EXPECT_EQ(parsed->quirks, *find_quirk_preset(name));
  }
}

TEST(QuirksPreset, ParameterMapChecks) {
  auto defaulted = parse_quirks_preset({});
  ASSERT_TRUE(defaulted);
  EXPECT_EQ(defaulted->name, "chip8");

  StructuredMap extra;
  extra.emplace("quirks", SV::text("vip"));
  extra.emplace("a\"b\n", SV::null());
  EXPECT_EQ(parse_quirks_preset(extra).error().message, "unknown CHIP-8 machine parameter \"a\\\"b\\n\"");

  StructuredMap not_string;
  not_string.emplace("quirks", SV::unsigned_integer(1));
  EXPECT_EQ(parse_quirks_preset(not_string).error().message, "CHIP-8 machine parameter \"quirks\" must be a string");

  StructuredMap unknown;
  unknown.emplace("quirks", SV::text("sc\\hip\x01"));
  EXPECT_EQ(parse_quirks_preset(unknown).error().message,
            "unknown CHIP-8 quirks preset \"sc\\\\hip\\u{1}\"; expected chip8, chip48, vip, schip, or xochip");
}

TEST(EscapedName, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(escaped_name(""), "\"\"");
  EXPECT_EQ(escaped_name("plain é/'"), "\"plain é/'\"");
  EXPECT_EQ(escaped_name(std::string("\t\r\n\0\x1f\x7f", 6)), "\"\\t\\r\\n\\0\\u{1f}\\u{7f}\"");
}

}  // namespace
}  // namespace chip8::bundle
