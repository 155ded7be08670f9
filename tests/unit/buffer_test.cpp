#include "frame/buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tv {
extern int g_failNextAllocs;
extern int g_failAfterAllocs;
}  // namespace tv

namespace {

TEST(Buffer, GrowsGeometricallyAndKeepsItsValues) {
  tv::Buffer<std::uint32_t> b;
  EXPECT_EQ(b.data(), nullptr);
  std::size_t capacities = 0, last = 0;
  for (std::uint32_t i = 0; i < 10000; ++i) {
    ASSERT_TRUE(b.Push(i));
    if (b.capacity() != last) ++capacities, last = b.capacity();
  }
  EXPECT_LT(capacities, 16u);
  ASSERT_EQ(b.size(), 10000u);
  for (std::uint32_t i = 0; i < 10000; ++i) ASSERT_EQ(b[i], i);
  tv::Buffer<std::uint32_t> moved(static_cast<tv::Buffer<std::uint32_t>&&>(b));
  EXPECT_EQ(b.size(), 0u);
  EXPECT_EQ(b.data(), nullptr);
  ASSERT_EQ(moved.size(), 10000u);
  EXPECT_EQ(moved[9999], 9999u);
}

TEST(Buffer, AppendsFromItselfAcrossGrowth) {
  // The source lies in the block that the growth replaces: ASan sees any read of the old one.
  tv::Buffer<char> b;
  ASSERT_TRUE(b.Append("abcdefgh", 8));
  ASSERT_EQ(b.capacity(), 8u);
  ASSERT_TRUE(b.Append(b.data(), b.size()));
  ASSERT_TRUE(b.Push(b[0]));
  EXPECT_EQ(std::string(b.begin(), b.end()), "abcdefghabcdefgha");

  tv::BasicText<char> t;
  ASSERT_TRUE(t.Assign("xyz"));
  ASSERT_TRUE(t.Append(t.c_str(), t.size()));
  ASSERT_TRUE(t.Append(t.c_str() + 1));
  ASSERT_TRUE(t.Assign(t.c_str() + 2, 3));
  EXPECT_STREQ(t.c_str(), "zxy");
}

TEST(Buffer, ResizeEraseAndBounds) {
  tv::Buffer<int> b;
  ASSERT_TRUE(b.Resize(5));
  for (int v : b) EXPECT_EQ(v, 0);
  b[4] = 7;
  ASSERT_TRUE(b.Resize(2));
  ASSERT_TRUE(b.Resize(5));
  EXPECT_EQ(b[4], 0);  // values behind a cut come back zero
  for (int i = 0; i < 5; ++i) b[static_cast<std::size_t>(i)] = i;
  b.Erase(1, 2);
  EXPECT_EQ(b.size(), 3u);
  EXPECT_EQ(b[1], 3);
  b.Erase(2, 100);  // clipped to the end
  b.Erase(7, 1);    // past the end: nothing
  EXPECT_EQ(b.size(), 2u);

  // Sizes whose bytes overflow are refused before any allocation.
  tv::g_failAfterAllocs = 0;
  EXPECT_FALSE(b.Reserve(static_cast<std::size_t>(-1)));
  EXPECT_FALSE(b.Resize(static_cast<std::size_t>(-1) / 2));
  EXPECT_FALSE(b.Append(b.data(), static_cast<std::size_t>(-1)));
  tv::BasicText<wchar_t> t;
  EXPECT_FALSE(t.Resize(static_cast<std::size_t>(-1)));
  EXPECT_FALSE(t.Assign(L"", static_cast<std::size_t>(-1)));
  tv::g_failAfterAllocs = -1;
  EXPECT_EQ(b.size(), 2u);
}

TEST(Buffer, FailedAllocationLeavesTheValuesAsTheyWere) {
  tv::Buffer<char> b;
  ASSERT_TRUE(b.Append("12345678", 8));
  tv::g_failNextAllocs = 1;  // the doubled block fails; the exact size is still tried
  ASSERT_TRUE(b.Push('9'));
  EXPECT_EQ(b.capacity(), 9u);
  tv::g_failNextAllocs = 2;
  EXPECT_FALSE(b.Append("ab", 2));
  tv::g_failNextAllocs = 1;
  EXPECT_TRUE(b.Resize(9));  // within the block: no allocation asked for
  EXPECT_EQ(tv::g_failNextAllocs, 1);
  tv::g_failNextAllocs = 0;
  EXPECT_EQ(std::string(b.begin(), b.end()), "123456789");

  tv::BasicText<char> t;
  ASSERT_TRUE(t.Assign("kept"));
  tv::g_failAfterAllocs = 0;
  EXPECT_FALSE(t.Append(" and more text than fits"));
  EXPECT_FALSE(t.Append(t.c_str()));
  EXPECT_FALSE(t.Assign("a much longer text than before"));
  EXPECT_FALSE(t.Resize(100));
  tv::g_failAfterAllocs = -1;
  EXPECT_STREQ(t.c_str(), "kept");
  EXPECT_EQ(t.size(), 4u);
}

TEST(Text, EmptyFindAndErase) {
  tv::BasicText<char16_t> t;
  ASSERT_NE(t.c_str(), nullptr);
  EXPECT_EQ(t.c_str()[0], u'\0');
  EXPECT_EQ(t.data(), nullptr);
  EXPECT_EQ(t.Find(u';'), t.npos);
  ASSERT_TRUE(t.Assign(u""));
  ASSERT_NE(t.data(), nullptr);  // a text stored, even empty, is writable
  EXPECT_TRUE(t.empty());

  ASSERT_TRUE(t.Assign(u"a;b;c"));
  EXPECT_EQ(t.Find(u';'), 1u);
  EXPECT_EQ(t.Find(u';', 2), 3u);
  EXPECT_EQ(t.Find(u';', 4), t.npos);
  EXPECT_EQ(t.Find(u';', 99), t.npos);
  t.Erase(1, 2);
  EXPECT_EQ(std::u16string(t.c_str()), u"a;c");
  t.Erase(1);
  EXPECT_EQ(std::u16string(t.c_str()), u"a");
  ASSERT_TRUE(t.Resize(3));
  EXPECT_EQ(t.size(), 3u);
  EXPECT_EQ(t.c_str()[1], u'\0');
  EXPECT_EQ(t.c_str()[3], u'\0');
  t.Clear();
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(t.c_str()[0], u'\0');
}

}  // namespace
