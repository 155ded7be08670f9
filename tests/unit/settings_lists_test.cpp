#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/env_list.h"
#include "settings/multi_string.h"

namespace tv {
extern int g_failAfterAllocs;
}

namespace {

using tv::ListEdit;

template <class C>
tv::BasicText<C> T(const std::string& s) {
  std::basic_string<C> wide(s.begin(), s.end());
  tv::BasicText<C> t;
  EXPECT_TRUE(t.Assign(wide.c_str(), wide.size()));
  return t;
}

template <class C>
std::pair<ListEdit, std::string> Edit(bool add, const std::string& list, const std::string& value) {
  tv::BasicText<C> out;
  ListEdit e = add ? tv::AddItem(T<C>(list), T<C>(value), &out) : tv::RemoveItem(T<C>(list), T<C>(value), &out);
  return {e, std::string(out.c_str(), out.c_str() + out.size())};
}

template <class C>
void CheckListEdits() {
  using R = std::pair<ListEdit, std::string>;
  EXPECT_EQ(Edit<C>(true, "A;B", "C:\\Tools"), R(ListEdit::kWrite, "A;B;C:\\Tools"));
  EXPECT_EQ(Edit<C>(true, "A;C:\\Tools", "c:\\tools"), R(ListEdit::kUnchanged, "A;C:\\Tools"));
  EXPECT_EQ(Edit<C>(true, "C:\\Tools\\bin", "C:\\Tools"), R(ListEdit::kWrite, "C:\\Tools\\bin;C:\\Tools"));
  EXPECT_EQ(Edit<C>(true, "A;B;", "C"), R(ListEdit::kWrite, "A;B;;C"));
  EXPECT_EQ(Edit<C>(true, "A;B", ""), R(ListEdit::kUnchanged, "A;B"));
  EXPECT_EQ(Edit<C>(false, "A;B;C", "B"), R(ListEdit::kWrite, "A;C"));
  EXPECT_EQ(Edit<C>(false, "A;B;C", "c"), R(ListEdit::kWrite, "A;B"));
  EXPECT_EQ(Edit<C>(false, "A;B", "a"), R(ListEdit::kWrite, "B"));
  EXPECT_EQ(Edit<C>(false, "A", "A"), R(ListEdit::kDelete, ""));
  EXPECT_EQ(Edit<C>(false, "X;A;X", "X"), R(ListEdit::kWrite, "A;X"));
  EXPECT_EQ(Edit<C>(false, "A;;B", ""), R(ListEdit::kUnchanged, "A;;B"));
  EXPECT_EQ(Edit<C>(false, "AB;A", "A"), R(ListEdit::kWrite, "AB"));
  EXPECT_EQ(Edit<C>(false, "A;B", "C"), R(ListEdit::kUnchanged, "A;B"));
}

TEST(EnvList, ValueWithSemicolonsIsItemByItem) {
  using R = std::pair<ListEdit, std::string>;
  auto edit = [](bool add, const std::string& list, const std::string& items) {
    tv::BasicText<wchar_t> out;
    ListEdit e = tv::EditItems(add, T<wchar_t>(list), T<wchar_t>(items), &out);
    return R(e, std::string(out.c_str(), out.c_str() + out.size()));
  };
  EXPECT_EQ(edit(true, "A;B", "B;a;D;D"), R(ListEdit::kWrite, "A;B;D"));
  EXPECT_EQ(edit(true, "", "X;;Y"), R(ListEdit::kWrite, "X;Y"));  // an absent variable
  EXPECT_EQ(edit(true, "A", ";"), R(ListEdit::kUnchanged, "A"));
  EXPECT_EQ(edit(false, "A;;B", "B;A"), R(ListEdit::kDelete, ""));
}

TEST(EnvList, ReferenceToAVariable) {
  EXPECT_TRUE(tv::HoldsReference("a;%%b%"));
  EXPECT_FALSE(tv::HoldsReference("100%;C:\\x"));
  EXPECT_FALSE(tv::HoldsReference("%%;x"));
}

TEST(EnvList, AddAndRemoveNarrowAndWide) {
  CheckListEdits<char>();
  CheckListEdits<wchar_t>();
}

TEST(EnvList, OnlyAsciiLettersFold) {
  // '[' and '{' sit 32 apart like the letters, and Latin-1/UTF-16 letters are not folded.
  EXPECT_FALSE(tv::SameItem("[", 1, "{", 1));
  EXPECT_FALSE(tv::SameItem("@", 1, "`", 1));
  const char upper[] = "\xC4", lower[] = "\xE4";  // Ä and ä in Latin-1
  EXPECT_FALSE(tv::SameItem(upper, 1, lower, 1));
  EXPECT_FALSE(tv::SameItem(L"\u00C4", 1, L"\u00E4", 1));
  EXPECT_TRUE(tv::SameItem(L"PATH\u00E4", 5, L"path\u00E4", 5));
  EXPECT_TRUE(tv::SameItem("Zz", 2, "zZ", 2));
  EXPECT_FALSE(tv::SameItem("ab", 2, "abc", 3));
}

template <class C>
std::vector<C> V(const std::string& bytes) {
  return std::vector<C>(bytes.begin(), bytes.end());
}

template <class C>
void CheckMultiStrings() {
  using namespace std::string_literals;
  auto holds = [](const std::string& data, const std::string& s) {
    std::vector<C> d = V<C>(data), t = V<C>(s);
    return tv::ListHolds(d.data(), d.size(), t.data(), t.size());
  };
  auto append = [](const std::string& data, const std::string& s) {
    std::vector<C> d = V<C>(data), t = V<C>(s);
    tv::Buffer<C> out;
    EXPECT_TRUE(tv::AppendToList(d.data(), d.size(), t.data(), t.size(), &out));
    return std::vector<C>(out.begin(), out.end());
  };
  auto fromText = [](const std::vector<C>& text, std::size_t length) {
    tv::Buffer<C> out;
    EXPECT_TRUE(tv::ListFromText(text.data(), length, &out));
    return std::vector<C>(out.begin(), out.end());
  };
  EXPECT_TRUE(holds("a\0b\0\0"s, "b"));
  EXPECT_FALSE(holds("a\0b\0\0"s, "B"));
  EXPECT_FALSE(holds("ab\0\0"s, "a"));
  EXPECT_TRUE(holds("a\0b\0\0"s, ""));  // the closing empty string
  EXPECT_FALSE(holds(""s, ""));
  EXPECT_TRUE(holds("abc"s, "abc"));    // unterminated data ends at its last byte
  EXPECT_FALSE(holds("abc"s, "abcd"));

  EXPECT_EQ(append("a\0b\0\0"s, "c"), V<C>("a\0b\0c\0\0"s));
  EXPECT_EQ(append(""s, "c"), V<C>("c\0\0"s));
  EXPECT_EQ(append(""s, ""), V<C>("\0\0"s));
  EXPECT_EQ(append("\0\0"s, "c"), V<C>("c\0\0"s));       // an empty list gains its first string
  EXPECT_EQ(append("old\0"s, "c"), V<C>("old\0c\0\0"s)); // a list without its closing string
  EXPECT_EQ(append("a\0b\0"s, "c"), V<C>("a\0b\0c\0\0"s));
  EXPECT_EQ(append("abc"s, "c"), V<C>("abc\0c\0\0"s));
  EXPECT_EQ(append("a\0\0b\0\0"s, "c"), V<C>("a\0\0b\0c\0\0"s));

  std::vector<C> text = V<C>("a;;b");
  EXPECT_EQ(fromText(text, text.size()), V<C>("a\0\0b\0\0"s));
  EXPECT_EQ(fromText(text, 0), V<C>("\0\0"s));
}

TEST(MultiString, WalkAppendAndBuildNarrowAndWide) {
  CheckMultiStrings<char>();
  CheckMultiStrings<wchar_t>();
}

TEST(SettingsLists, NoMemoryIsReportedAtEveryStep) {
  // Every allocation in turn fails: each edit either completes or says it could not.
  tv::BasicText<wchar_t> list = T<wchar_t>("A;B;C"), item = T<wchar_t>("D"), gone = T<wchar_t>("B");
  bool completed = false;
  for (int allowed = 0; !completed; ++allowed) {
    tv::g_failAfterAllocs = allowed;
    tv::BasicText<wchar_t> added, removed;
    ListEdit a = tv::AddItem(list, item, &added);
    ListEdit r = tv::RemoveItem(list, gone, &removed);
    tv::Buffer<wchar_t> appended;
    bool ok = tv::AppendToList(list.c_str(), list.size(), item.c_str(), item.size(), &appended);
    tv::g_failAfterAllocs = -1;
    if (a == ListEdit::kWrite) EXPECT_EQ(std::wstring(added.c_str()), L"A;B;C;D");
    if (r == ListEdit::kWrite) EXPECT_EQ(std::wstring(removed.c_str()), L"A;C");
    if (ok) EXPECT_EQ(std::wstring(appended.begin(), appended.end()), std::wstring(L"A;B;C\0D\0\0", 9));
    EXPECT_TRUE(a == ListEdit::kWrite || a == ListEdit::kNoMemory);
    EXPECT_TRUE(r == ListEdit::kWrite || r == ListEdit::kNoMemory);
    completed = a == ListEdit::kWrite && r == ListEdit::kWrite && ok;
    ASSERT_LT(allowed, 10);
  }
}

}  // namespace
