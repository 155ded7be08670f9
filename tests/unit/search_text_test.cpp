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

TYPED_TEST(Wildcard, Table) {
  using C = TypeParam;
  const Case cases[] = {
      // '*' takes any run, none included; the rest must still fit.
      {"a*c", "abc", true}, {"a*c", "ac", true}, {"a*c", "ab", false}, {"a*c", "abcd", false},
      {"*", "x", true}, {"*", "any text at all", true}, {"*", "*", true}, {"**x", "x", true},
      {"**x", "abx", true}, {"**x", "xa", false}, {"x*", "x", true}, {"x**", "xyz", true},
      // '?' takes exactly one character.
      {"a?c", "abc", true}, {"a?c", "ac", false}, {"a?c", "abbc", false}, {"?", "", false},
      {"*?", "", false}, {"*?", "a", true}, {"??*", "a", false},
      // Backtracking to the last '*' after a partial match.
      {"*ab*", "aab", true}, {"*ab*", "ba", false}, {"a*b*c", "axbxxc", true}, {"a*b*c", "axbxxcx", false},
      {"*aab", "aaab", true}, {"*abc*abd", "abcabcabd", true}, {"*abc*abd", "abcabdabc", false},
      {"*a*a*a", "aa", false}, {"a*?b", "axxb", true}, {"a*?b", "ab", false},
      // Empty sides: an empty pattern matches only an empty text.
      {"", "a", false}, {"", "", true}, {"*", "", true}, {"a", "", false},
      // Characters match exactly (callers lower both sides), and '*' in the text is no wildcard.
      {"abc", "ABC", false}, {"a", "*", false}, {"abc", "abcd", false}, {"abcd", "abc", false},
      {"*notepad*", "untitled - notepad", true}, {"notepad", "notepad2", false},
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

TEST(SearchPercent, WorkedExampleAndEmptySearch) {
  // Custom weight 2, caption weight 10: the caption pass's first window (position 0).
  EXPECT_EQ(tv::SearchPercent(0, 2, 12), 16u);
  EXPECT_EQ(tv::SearchPercent(0, 0, 0), 100u);
  EXPECT_EQ(tv::SearchPercent(7, 3, 0), 100u);
}

TEST(SearchPercent, HundredCustomTargetsCountOneByOne) {
  for (std::uint32_t i = 1; i <= 100; ++i) EXPECT_EQ(tv::SearchPercent(i, 0, 100), i);
}

TEST(SearchPercent, PassesHundredWhenTheSystemGrew) {
  EXPECT_EQ(tv::SearchPercent(150, 0, 100), 150u);
  EXPECT_EQ(tv::SearchPercent(40, 80, 100), 120u);
}

TEST(SearchPercent, RisesSteadilyToHundredWhateverTheTotal) {
  // Handle tables of busy machines hold hundreds of thousands of handles, or millions.
  for (std::uint32_t total : {1u, 7u, 12u, 100u, 999u, 65536u, 400000u, 3000000u}) {
    std::uint32_t last = 0;
    for (std::uint32_t done = 0; done <= total; done += 1 + total / 5000) {
      std::uint32_t p = tv::SearchPercent(done, 0, total);
      ASSERT_GE(p, last) << done << " of " << total;
      ASSERT_LE(p, 100u) << done << " of " << total;
      last = p;
    }
    EXPECT_EQ(tv::SearchPercent(total / 2, total - total / 2, total), 100u) << "the end of " << total;
    if (total % 4 == 0) EXPECT_EQ(tv::SearchPercent(total / 4, total / 4, total), 50u) << "half of " << total;
  }
}

}  // namespace
