#include "frame/stack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widths.h"

namespace tv {
extern int g_failNextAllocs;
}

namespace {

using Strings = std::vector<std::string>;

TEST(Stack, PopOnEmptyOrMissingStackLeavesDestination) {
  Script<char> in;
  char buf[8] = "keep";
  EXPECT_EQ(in.frame.popstring(buf, sizeof(buf)), 1);
  EXPECT_STREQ(buf, "keep");
  tv::BasicFrame<char> none;  // no stacktop at all
  EXPECT_EQ(none.popstring(buf, sizeof(buf)), 1);
  EXPECT_STREQ(buf, "keep");
  none.pushstring("ignored");
  none.clearstack();
  EXPECT_EQ(none.popint(), 0);
}

TEST(Stack, PopNeverWritesPastItsDestination) {
  Script<char> in(64);
  in.Push(std::string(60, 'x'));
  char small[5];
  EXPECT_EQ(in.frame.popstring(small, sizeof(small)), 0);
  EXPECT_STREQ(small, "xxxx");
  // An entry whose text fills it with no terminating NUL (a careless caller) is still bounded.
  in.Push("");
  std::fill(in.top->text, in.top->text + 64, 'y');
  char big[200];
  EXPECT_EQ(in.frame.popstring(big, sizeof(big)), 0);
  EXPECT_EQ(std::string(big), std::string(63, 'y'));
}

TEST(Stack, PushIsBoundedByStringSize) {
  Script<char> in(8);
  in.Push("0123456789");
  in.Push("1234567");
  EXPECT_EQ(in.Left(), (Strings{"1234567", "0123456"}));
  Script<char16_t> w(4);
  w.Push("abcdef");
  EXPECT_EQ(w.Left(), (Strings{"abc"}));
  Script<char> tiny(1);
  tiny.Push("abc");
  EXPECT_EQ(tiny.Left(), (Strings{""}));
}

TEST(Stack, Integers) {
  Script<char> in;
  for (std::int32_t v : {-559038801, 100, 0, -1, INT32_MIN, INT32_MAX}) in.frame.pushint(v);
  EXPECT_EQ(in.Left(), (Strings{"2147483647", "-2147483648", "-1", "0", "100", "-559038801"}));
  in.frame.clearstack();
  in.Push("-5");  // the signed form
  EXPECT_EQ(in.frame.popint(), -5);
  EXPECT_EQ(in.frame.popint(), 0);  // empty
  // At most 127 characters are read: 127 zeros then a 7 is read as 0.
  in.Push(std::string(127, '0') + "7");
  EXPECT_EQ(in.frame.popint(), 0);
  in.Push(std::string(126, '0') + "7");
  EXPECT_EQ(in.frame.popint(), 7);
}

TEST(Stack, FailedAllocationSkipsThePushAndKeepsTheStack) {
  Script<char> in(16);
  in.Push("below");
  tv::g_failNextAllocs = 1;
  in.frame.pushword("error");
  EXPECT_EQ(in.Left(), (Strings{"below"}));
  tv::g_failNextAllocs = 1;
  tv::BasicArg<char> arg(in.frame);
  EXPECT_FALSE(tv::PopArg(in.frame, arg));
  EXPECT_EQ(in.Left(), (Strings{"below"}));
}

TEST(Stack, ArgumentBuffersHoldAnyEntry) {
  Script<char16_t> in(32);
  in.Push(std::string(40, 'z'));  // stored as 31 characters
  tv::BasicArg<char16_t> arg(in.frame);
  ASSERT_EQ(arg.capacity(), 33u);
  EXPECT_TRUE(tv::PopArg(in.frame, arg));
  EXPECT_EQ(std::u16string(arg.c_str()), std::u16string(31, u'z'));
  tv::BasicArg<char16_t> none(in.frame);
  EXPECT_FALSE(tv::PopArg(in.frame, none));
  EXPECT_TRUE(none.empty());
}

// How many of the script's entries a script function left in place, by their texts.
TEST(Stack, MarkKnowsTheScriptsEntriesByTheirTexts) {
  Script<char> in(16);
  in.Call({"s2", "s1"});
  tv::BasicStackMark<char> mark(in.frame);
  auto after = [&](std::vector<std::string> bottomFirst) {
    in.frame.clearstack();
    for (const auto& text : bottomFirst) in.Push(text);
    return mark.Kept(in.frame);
  };
  EXPECT_EQ(after({"s1", "s2", "left", "answer"}), 2u);  // new blocks, same texts
  EXPECT_EQ(after({"s1", "s2"}), 2u);                    // no answer
  EXPECT_EQ(after({"s1", "answer"}), 1u);                // one popped too many
  EXPECT_EQ(after({"answer"}), 0u);                      // emptied (GetOsVersion)
  in.frame.clearstack();
  tv::BasicStackMark<char> empty(in.frame);
  in.Push("answer");
  EXPECT_EQ(empty.Kept(in.frame), 0u);
}

}  // namespace
