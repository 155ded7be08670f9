#include "quillmere/search/search_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <class C>
std::basic_string<C> S(const std::string& s) {
  std::basic_string<C> out;
  for (unsigned char c : s) out += static_cast<C>(c);
  return out;
}

template <class C>
class Wildcard : public ::testing::Test {};
using Widths = ::testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(Wildcard, Widths);

struct Case {
  const char* pattern;
  const char* text;
  bool match;
};

// The rules in brief; fuzz_wildcard compares the match with a plain recursive one at length.
TYPED_TEST(Wildcard, Rules) {
  using C = TypeParam;
  const Case cases[] = {
      {"a*c", "ac", true},   {"a*c", "abcd", false}, {"a?c", "ac", false},  // '*' any run, '?' one character
      {"*abc*abd", "abcabcabd", true},                                     // back to the last '*'
      {"", "", true},        {"", "a", false},       {"*", "", true},       // an empty pattern: an empty text
      {"abc", "ABC", false}, {"a", "*", false},                            // exact: callers lower both sides
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tv::WildcardMatch(S<C>(c.pattern).c_str(), S<C>(c.text).c_str()), c.match)
        << '"' << c.pattern << "\" against \"" << c.text << '"';
  }
}

TYPED_TEST(Wildcard, CharactersBeyondAsciiCompareWhole) {
  using C = TypeParam;
  // 0xE9 and 0xC9 are é and É in the ANSI code page and in UTF-16: a signed char must not matter.
  EXPECT_TRUE(tv::WildcardMatch(S<C>("caf\xE9*").c_str(), S<C>("caf\xE9 setup").c_str()));
  EXPECT_FALSE(tv::WildcardMatch(S<C>("caf\xE9").c_str(), S<C>("caf\xC9").c_str()));
  EXPECT_TRUE(tv::WildcardMatch(S<C>("?\xE9").c_str(), S<C>("\xFF\xE9").c_str()));
}

TEST(WildcardWide, NoCharacterIsNarrowedToItsLowByte) {
  EXPECT_TRUE(tv::WildcardMatch(L"\x4E2D*", L"\x4E2D\x6587"));
  EXPECT_FALSE(tv::WildcardMatch(L"\x0141", L"\x0241"));
  EXPECT_FALSE(tv::WildcardMatch(L"a\x012A", L"a*"));  // 0x012A is no '*' (0x2A) in disguise
}

// 100 for an empty search, and no overflow where the count times 100 passes 32 bits (the handle
// tables of busy machines hold millions of handles).
TEST(SearchPercent, EmptySearchAndHugeTables) {
  EXPECT_EQ(tv::SearchPercent(0, 0, 0), 100u);
  EXPECT_EQ(tv::SearchPercent(30000000, 20000000, 100000000), 50u);
}

}  // namespace
