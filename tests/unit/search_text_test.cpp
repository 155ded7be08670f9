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

// The rules themselves are fuzz_wildcard's.
TYPED_TEST(Wildcard, CharactersBeyondAsciiCompareWhole) {
  using C = TypeParam;
  // 0xE9 and 0xC9 are é and É in the ANSI code page and in UTF-16: a signed char must not matter.
  EXPECT_TRUE(tv::WildcardMatch(S<C>("caf\xE9*").c_str(), S<C>("caf\xE9 setup").c_str()));
  EXPECT_FALSE(tv::WildcardMatch(S<C>("caf\xE9").c_str(), S<C>("caf\xC9").c_str()));
  EXPECT_TRUE(tv::WildcardMatch(S<C>("?\xE9").c_str(), S<C>("\xFF\xE9").c_str()));
}

// 100 for an empty search; no overflow past 32 bits (busy machines hold millions of handles).
TEST(SearchPercent, EmptySearchAndHugeTables) {
  EXPECT_EQ(tv::SearchPercent(0, 0, 0), 100u);
  EXPECT_EQ(tv::SearchPercent(30000000, 20000000, 100000000), 50u);
}

}  // namespace
