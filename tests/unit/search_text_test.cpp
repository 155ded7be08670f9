#include "quillmere/search/search_text.h"

#include <gtest/gtest.h>

#include <string>

#include "widths.h"

namespace {

template <class C>
class Wildcard : public ::testing::Test {};
using Widths = ::testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(Wildcard, Widths);

// The rules themselves are fuzz_wildcard's.
TYPED_TEST(Wildcard, CharactersBeyondAsciiCompareWhole) {
  using C = TypeParam;
  // é and É: a signed char must not matter.
  EXPECT_TRUE(tv::WildcardMatch(W<C>("caf\xE9*").c_str(), W<C>("caf\xE9 setup").c_str()));
  EXPECT_FALSE(tv::WildcardMatch(W<C>("caf\xE9").c_str(), W<C>("caf\xC9").c_str()));
  EXPECT_TRUE(tv::WildcardMatch(W<C>("?\xE9").c_str(), W<C>("\xFF\xE9").c_str()));
}

// 100 for an empty search; no overflow past 32 bits (busy machines hold millions of handles).
TEST(SearchPercent, EmptySearchAndHugeTables) {
  EXPECT_EQ(tv::SearchPercent(0, 0, 0), 100u);
  EXPECT_EQ(tv::SearchPercent(30000000, 20000000, 100000000), 50u);
}

}  // namespace
