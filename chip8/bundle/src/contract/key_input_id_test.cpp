#include "chip8_bundle/contract/key_input_id.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace chip8::bundle {
namespace {

TEST(KeyInputId, FormatsEveryKeyAsOneLowerCaseDigit) {
  const std::vector<std::string> expected = {"chip8.key.0", "chip8.key.1", "chip8.key.2", "chip8.key.3",
                                             "chip8.key.4", "chip8.key.5", "chip8.key.6", "chip8.key.7",
                                             "chip8.key.8", "chip8.key.9", "chip8.key.a", "chip8.key.b",
                                             "chip8.key.c", "chip8.key.d", "chip8.key.e", "chip8.key.f"};
  for (std::uint8_t key = 0; key < kKeyInputCount; ++key) {
    EXPECT_EQ(format_key_input_id(key), expected[key]);
    EXPECT_EQ(parse_key_input_id(expected[key]), key);
  }
}

struct ParseCase {
  std::string id;
  std::optional<std::uint8_t> key;
};

TEST(KeyInputId, ParsesLooseSpellingsAndRefusesEverythingElse) {
  const std::vector<ParseCase> cases = {
      {"chip8.key.A", 10},      {"chip8.key.F", 15},    {"chip8.key.0f", 15},   {"chip8.key.+f", 15},   {"chip8.key.00000000000000000007", 7},
      {"chip8.key.+0", 0},      {"chip8.key.10", {}},   {"chip8.key.-1", {}},   {"chip8.key.+", {}},
      {"chip8.key.-", {}},      {"chip8.key.", {}},     {"chip8.key", {}},      {"chip8.key.++1", {}},
      {"chip8.key.g", {}},      {"chip8.key. 1", {}},   {"chip8.key.1 ", {}},   {"chip8.keys.1", {}},
      {"CHIP8.key.1", {}},      {"chip8.key.0x1", {}},  {"chip8.key.ffffffffffffffffffff", {}},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(parse_key_input_id(c.id), c.key) << c.id;
}

}  // namespace
}  // namespace chip8::bundle
