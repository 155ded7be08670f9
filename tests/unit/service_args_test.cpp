#include "services/service_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The items a reader of a double-NUL list sees (an empty item ends it).
template <class C>
std::vector<std::string> Items(const C* list) {
  std::vector<std::string> out;
  for (const C* p = list; *p; p += tv::Length(p) + 1) out.emplace_back(p, p + tv::Length(p));
  return out;
}

// The items after the rewrite, in a buffer two longer than the text: a missing NUL leaves '#', one more item.
template <class C>
std::vector<std::string> Rewritten(const std::string& text) {
  std::vector<C> b(text.size() + 2, C('#'));
  std::copy(text.begin(), text.end(), b.begin());
  b[text.size()] = C(0);
  tv::ToDependencyList(b.data(), b.size());
  return Items(b.data());
}

TEST(DependencyList, Rewrites) {
  struct Case {
    std::string text;
    std::vector<std::string> items;
  };
  for (const Case& c : std::vector<Case>{{"Tcpip;Afd", {"Tcpip", "Afd"}},
                                         {"Tcpip;", {"Tcpip"}},
                                         {"Tcpip", {"Tcpip"}},
                                         {"Tcpip;;Afd", {"Tcpip"}},
                                         {";Afd", {}},
                                         {"a;b;c", {"a", "b", "c"}}}) {
    EXPECT_EQ(Rewritten<char>(c.text), c.items) << c.text;
    EXPECT_EQ(Rewritten<char16_t>(c.text), c.items) << c.text;
  }
}

TEST(DependencyList, StaysInsideAFullBuffer) {
  // Text to the buffer's last character: that character is given up, nothing written past.
  std::vector<char> full(6, 'a');
  full[2] = ';';
  full[5] = '\0';  // "aa;aa" and its NUL, no room for the second NUL
  tv::ToDependencyList(full.data(), full.size());
  EXPECT_EQ(Items(full.data()), (std::vector<std::string>{"aa", "a"}));
  std::vector<char> unterminated(4, 'z');
  tv::ToDependencyList(unterminated.data(), unterminated.size());
  EXPECT_EQ(Items(unterminated.data()), (std::vector<std::string>{"zz"}));
  char one[1] = {'q'};
  tv::ToDependencyList(one, 1);
  EXPECT_EQ(one[0], '\0');
}

TEST(Account, Qualification) {
  struct Case {
    std::string given, passed;
  };
  for (const Case& c : std::vector<Case>{{"svcuser", ".\\svcuser"},
                                         {"DOMAIN\\svcuser", "DOMAIN\\svcuser"},
                                         {"NT AUTHORITY\\LocalService", "NT AUTHORITY\\LocalService"},
                                         {"svc@example.org", ".\\svc@example.org"},
                                         {".\\local", ".\\local"},
                                         {"\\", "\\"}}) {
    char out[64];
    ASSERT_TRUE(tv::QualifyAccount(c.given.c_str(), out, sizeof(out))) << c.given;
    EXPECT_EQ(std::string(out), c.passed);
    std::u16string wideGiven(c.given.begin(), c.given.end());
    char16_t wideOut[64];
    ASSERT_TRUE(tv::QualifyAccount(wideGiven.c_str(), wideOut, 64));
    EXPECT_EQ(std::u16string(wideOut), std::u16string(c.passed.begin(), c.passed.end()));
  }
}

TEST(Account, RefusedWhenThePrefixDoesNotFit) {
  // Capacity counts the NUL: "abc" needs 6 characters as ".\abc".
  std::vector<char> out(6, '#');
  EXPECT_TRUE(tv::QualifyAccount("abc", out.data(), out.size()));
  EXPECT_STREQ(out.data(), ".\\abc");
  std::vector<char> small(5, '#');
  EXPECT_FALSE(tv::QualifyAccount("abc", small.data(), small.size()));
  EXPECT_FALSE(tv::QualifyAccount("abc", static_cast<char*>(nullptr), 0));
  // A qualified name needs no prefix, so it fits as long as the name itself does.
  std::vector<char> exact(6, '#');
  EXPECT_TRUE(tv::QualifyAccount("a\\bcd", exact.data(), exact.size()));
  EXPECT_STREQ(exact.data(), "a\\bcd");
}

}  // namespace
