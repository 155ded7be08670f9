#include "quillmere/system/service_paging.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tv::CollectPages;
using tv::PageResult;

// An enumeration of `total` entries of 10 bytes, answered `perPage` at a time.
struct PagedEnumerator {
  PagedEnumerator(int t, int p) : total(t), perPage(p) {}
  int total, perPage, next = 0;
  std::vector<int> seen;
  PageResult operator()(std::uint32_t bytes, std::uint32_t* needed) {
    int fits = static_cast<int>(bytes / 10) < perPage ? static_cast<int>(bytes / 10) : perPage;
    for (int i = 0; i < fits && next < total; ++i) seen.push_back(next++);
    *needed = next < total ? 10u * static_cast<std::uint32_t>(total - next) : 0;
    return next < total ? PageResult::kMore : PageResult::kDone;
  }
};

TEST(ServicePaging, CollectsEveryPageInOrder) {
  PagedEnumerator e{25, 10};
  EXPECT_TRUE(CollectPages(250, 64, [&](std::uint32_t b, std::uint32_t* n) { return e(b, n); }));
  ASSERT_EQ(e.seen.size(), 25u);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(e.seen[static_cast<size_t>(i)], i);
}

TEST(ServicePaging, NothingToFetch) {
  int calls = 0;
  EXPECT_TRUE(CollectPages(0, 64, [&](std::uint32_t, std::uint32_t*) { return ++calls, PageResult::kDone; }));
  EXPECT_EQ(calls, 0);
}

TEST(ServicePaging, AnEnumerationThatNeverAdvancesIsBounded) {
  // Some systems answer "more data" for ever without moving the resume point.
  int calls = 0;
  EXPECT_FALSE(CollectPages(100, 64, [&](std::uint32_t, std::uint32_t* n) {
    ++calls;
    *n = 100;
    return PageResult::kMore;
  }));
  EXPECT_EQ(calls, 64);
}

TEST(ServicePaging, FailureStopsAndKeepsWhatCame) {
  PagedEnumerator e{25, 10};
  int calls = 0;
  EXPECT_FALSE(CollectPages(250, 64, [&](std::uint32_t b, std::uint32_t* n) {
    return ++calls == 2 ? PageResult::kFailed : e(b, n);
  }));
  EXPECT_EQ(e.seen.size(), 10u);
}

template <class C>
std::basic_string<C> Caption(const C* format, const C* name) {
  tv::BasicText<C> out;
  EXPECT_TRUE(tv::FormatStopCaption(format, name, &out));
  return out.c_str();
}

TEST(StopCaption, ScriptTextIsNeverReadAsFurtherDirectives) {
  EXPECT_EQ(Caption(u"Stopping the service: %s", u"Spooler"), u"Stopping the service: Spooler");
  EXPECT_EQ(Caption("%s and %s", "A"), "A and %s");
  EXPECT_EQ(Caption("%d %n %x: %s", "A"), "%d %n %x: A");
  EXPECT_EQ(Caption("100%% %s", "A"), "100% A");
  EXPECT_EQ(Caption("no name", "A"), "no name");
  EXPECT_EQ(Caption("ends with %", "A"), "ends with %");
  EXPECT_EQ(Caption("", "A"), "");
}

}  // namespace
