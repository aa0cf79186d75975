#include "lumivar_core/identifier/identifier.hpp"

#include <gtest/gtest.h>

#include "lumivar_core/error/message.hpp"

namespace lumivar {
namespace {

TEST(Quoted, EscapesQuotesAndBackslashesOnly) {
  EXPECT_EQ(quoted(""), R"("")");
  EXPECT_EQ(quoted(R"(a"b\c)"), R"("a\"b\\c")");
  EXPECT_EQ(quoted("tab\there \xC3\xA9"), "\"tab\there \xC3\xA9\"");
}

TEST(ValidateIdentifier, AcceptsAndRejects) {
  constexpr const char* kCharacter = " contains a character outside lowercase ASCII letters, digits, '_' and '-'";
  struct Case {
    const char* kind;
    std::string_view text;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {"input ID", "input.key-2", ""},
      {"input ID", "a_b", ""},
      {"capability ID", "a.0.z_-.9", ""},
      {"input ID", "", "input ID must not be empty"},
      {"execution limit ID", "", "execution limit ID must not be empty"},
      {"input ID", ".a", R"(input ID ".a" contains an empty segment)"},
      {"input ID", "a.", R"(input ID "a." contains an empty segment)"},
      {"input ID", "a..b", R"(input ID "a..b" contains an empty segment)"},
      {"input ID", ".", R"(input ID "." contains an empty segment)"},
      {"schema family ID", "A", std::string(R"(schema family ID "A")") + kCharacter},
      {"input ID", "a b", std::string(R"(input ID "a b")") + kCharacter},
      {"input ID", "caf\xC3\xA9", std::string("input ID \"caf\xC3\xA9\"") + kCharacter},
      // The first failing segment decides.
      {"input ID", "A..b", std::string(R"(input ID "A..b")") + kCharacter},
      {"input ID", "a..B", R"(input ID "a..B" contains an empty segment)"},
      // The offending text is quoted with escapes.
      {"capability ID", R"(x"\)", std::string(R"(capability ID "x\"\\")") + kCharacter},
  };
  for (const Case& c : cases) {
    Result<void> result = validate_identifier(c.kind, c.text);
    if (c.error.empty()) {
      EXPECT_TRUE(result.has_value()) << c.text << ": " << result.error().message;
    } else {
      ASSERT_FALSE(result.has_value()) << c.text;
      EXPECT_EQ(result.error().message, c.error);
    }
  }
}

}  // namespace
}  // namespace lumivar
