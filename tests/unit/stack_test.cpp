#include "frame/stack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
extern int g_failNextAllocs;
}

namespace {

template <class C>
struct Installer {
  using Entry = tv::BasicStackEntry<C>;
  Entry* top = nullptr;
  tv::BasicFrame<C> frame;

  explicit Installer(int stringSize) { frame.Keep(nullptr, stringSize, nullptr, &top, nullptr); }
  ~Installer() { frame.clearstack(); }

  void Push(const std::string& s) {
    std::basic_string<C> t(s.begin(), s.end());
    frame.pushstring(t.c_str());
  }
  std::vector<std::string> TopFirst() const {
    std::vector<std::string> out;
    for (Entry* e = top; e; e = e->next) {
      std::string s;
      for (const C* p = e->text; *p; ++p) s += static_cast<char>(*p);
      out.push_back(s);
    }
    return out;
  }
};

using Narrow = Installer<char>;
using Wide = Installer<char16_t>;

TEST(Stack, PushAndPopInOrder) {
  Narrow in(1024);
  in.Push("first");
  in.Push("second");
  EXPECT_EQ(in.TopFirst(), (std::vector<std::string>{"second", "first"}));
  char buf[1025] = {};
  EXPECT_EQ(in.frame.popstring(buf, sizeof(buf)), 0);
  EXPECT_STREQ(buf, "second");
  EXPECT_EQ(in.frame.popstring(buf, sizeof(buf)), 0);
  EXPECT_STREQ(buf, "first");
  EXPECT_EQ(in.top, nullptr);
}

TEST(Stack, PopOnEmptyOrMissingStackLeavesDestination) {
  Narrow in(1024);
  char buf[8] = "keep";
  EXPECT_EQ(in.frame.popstring(buf, sizeof(buf)), 1);
  EXPECT_STREQ(buf, "keep");
  tv::BasicFrame<char> none;  // no stacktop at all
  EXPECT_EQ(none.popstring(buf, sizeof(buf)), 1);
  EXPECT_STREQ(buf, "keep");
  none.pushstring("ignored");  // pushing with no stack is skipped
  none.clearstack();
  EXPECT_EQ(none.popint(), 0);
}

TEST(Stack, PopNeverWritesPastItsDestination) {
  // The destination is smaller than the entry: the copy is cut (ASan sees any overrun).
  Narrow in(64);
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
  Narrow in(8);
  in.Push("0123456789");
  in.Push("1234567");
  EXPECT_EQ(in.TopFirst(), (std::vector<std::string>{"1234567", "0123456"}));
  Wide w(4);
  w.Push("abcdef");
  EXPECT_EQ(w.TopFirst(), (std::vector<std::string>{"abc"}));
  Narrow tiny(1);
  tiny.Push("abc");
  EXPECT_EQ(tiny.TopFirst(), (std::vector<std::string>{""}));
}

TEST(Stack, PushInt) {
  Narrow in(1024);
  for (std::int32_t v : {-559038801, 100, 0, -1, INT32_MIN, INT32_MAX}) in.frame.pushint(v);
  EXPECT_EQ(in.TopFirst(), (std::vector<std::string>{"2147483647", "-2147483648", "-1", "0", "100", "-559038801"}));
  Wide w(1024);
  w.frame.pushint(-559038801);
  EXPECT_EQ(w.TopFirst(), (std::vector<std::string>{"-559038801"}));
}

TEST(Stack, PopInt) {
  Narrow in(1024);
  in.Push("0x10");
  in.Push("-0x10");
  in.Push("-5");
  EXPECT_EQ(in.frame.popint(), -5);
  EXPECT_EQ(in.frame.popint(), 0);
  EXPECT_EQ(in.frame.popint(), 16);
  EXPECT_EQ(in.frame.popint(), 0);  // empty
  EXPECT_EQ(in.top, nullptr);
  // At most 127 characters are read: 127 zeros then a 7 is read as 0.
  in.Push(std::string(127, '0') + "7");
  EXPECT_EQ(in.frame.popint(), 0);
  in.Push(std::string(126, '0') + "7");
  EXPECT_EQ(in.frame.popint(), 7);
}

TEST(Stack, ClearStack) {
  Narrow in(16);
  for (int i = 0; i < 5; ++i) in.Push("x");
  in.frame.clearstack();
  EXPECT_EQ(in.top, nullptr);
  in.frame.clearstack();  // already empty
  EXPECT_EQ(in.top, nullptr);
}

TEST(Stack, FailedAllocationSkipsThePushAndKeepsTheStack) {
  Narrow in(16);
  in.Push("below");
  tv::g_failNextAllocs = 1;
  in.frame.pushword("error");
  EXPECT_EQ(in.TopFirst(), (std::vector<std::string>{"below"}));
  tv::g_failNextAllocs = 1;
  tv::BasicArg<char> arg(in.frame);
  EXPECT_FALSE(tv::PopArg(in.frame, arg));  // no buffer: nothing popped, nothing written
  EXPECT_EQ(in.TopFirst(), (std::vector<std::string>{"below"}));
}

TEST(Stack, ArgumentBuffersHoldAnyEntry) {
  Wide in(32);
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
  Narrow in(16);
  in.Push("s1");
  in.Push("s2");
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

TEST(Stack, EntrySizeMatchesTheInstallersBlocks) {
  // An ANSI entry of a 32-bit installer is string_size + 8 bytes; a wide one of a 64-bit
  // installer is 2 * string_size + 16. Here: header plus string_size characters.
  EXPECT_EQ(tv::EntryBytes<char>(1024), sizeof(tv::BasicStackEntry<char>) + 1024);
  EXPECT_EQ(tv::EntryBytes<char16_t>(1024), sizeof(tv::BasicStackEntry<char16_t>) + 2048);
  EXPECT_EQ(tv::EntryBytes<char>(-5), sizeof(tv::BasicStackEntry<char>));
}

}  // namespace
