#include "runas/runas_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widths.h"

namespace tv {
extern int g_failAfterAllocs;
}

namespace {

using Strings = std::vector<std::string>;

// Every text of the arguments, in the order of the struct: header (2), user (2), domain (2),
// password, next, errors (3), program, working directory.
template <class C>
Strings Texts(const tv::RunAsArgs<C>& a) {
  Strings out;
  for (auto* t : {&a.customAccountText, &a.currentUserText, &a.userLabel, &a.userDefault, &a.domainLabel,
                  &a.domainDefault, &a.passwordLabel, &a.nextText, &a.logonFailureText, &a.lockedOutText,
                  &a.otherErrorText, &a.programPath, &a.workingDirectory})
    out.emplace_back(t->c_str(), t->c_str() + t->size());
  return out;
}

template <class C>
void CheckEverySwitch() {
  Script<C> s;
  s.frame.pushstring(std::basic_string<C>(1, C('x')).c_str());  // below the arguments
  s.Call({"/HEADER", "Other account", "Me", "/user", "Name:", "bob", "/Domain", "Domain:", "CORP", "/pwd",
          "Secret:", "/next", "Go", "/errors", "bad", "locked", "other", "C:\\p.exe", "C:\\dir"});
  auto a = tv::ParseRunAsArgs(s.frame);
  EXPECT_EQ(Texts(a), (Strings{"Other account", "Me", "Name:", "bob", "Domain:", "CORP", "Secret:", "Go", "bad",
                               "locked", "other", "C:\\p.exe", "C:\\dir"}));
  EXPECT_TRUE(a.hasProgram);
  EXPECT_TRUE(a.hasWorkingDirectory);
  EXPECT_EQ(s.Left().size(), 1u);  // parsing stops after the working directory
}

TEST(RunAsArgs, EverySwitchInAnyCaseNarrowAndWide) {
  CheckEverySwitch<char>();
  CheckEverySwitch<wchar_t>();
}

TEST(RunAsArgs, UnknownSwitchesValuesAndTheStacksEnd) {
  struct Case {
    Strings call, texts;
    bool hasProgram;
    std::size_t left;
  } cases[] = {
      // An unknown switch is the program.
      {{"/pwd", "P:", "/other", "/user", "rest"},
       {"", "", "", "", "", "", "P:", "", "", "", "", "/other", "/user"}, 1, 1},
      // A switch whose values the stack no longer holds.
      {{"/errors", "only one"}, {"", "", "", "", "", "", "", "", "only one", "", "", "", ""}, 0, 0},
      // "/user" as a value is a value, not a switch.
      {{"/header", "/user", "x", "prog"}, {"/user", "x", "", "", "", "", "", "", "", "", "", "prog", ""}, 1, 0},
  };
  for (const Case& c : cases) {
    Script<char> s;
    s.Call(c.call);
    auto a = tv::ParseRunAsArgs(s.frame);
    EXPECT_EQ(Texts(a), c.texts) << c.call[0];
    EXPECT_EQ(a.hasProgram, c.hasProgram) << c.call[0];
    EXPECT_EQ(s.Left().size(), c.left) << c.call[0];
  }
}

TEST(RunAsArgs, SwitchWordsFoldOnlyAsciiLetters) {
  EXPECT_TRUE(tv::IsSwitch("/ErRoRs", "/errors"));
  EXPECT_FALSE(tv::IsSwitch("/errorsx", "/errors"));
  EXPECT_FALSE(tv::IsSwitch("/error", "/errors"));
  EXPECT_FALSE(tv::IsSwitch("\\user", "/user"));
  EXPECT_TRUE(tv::IsSwitch(L"/PWD", "/pwd"));
}

TEST(RunAsArgs, NoMemoryMarksTheArgumentsIncomplete) {
  // Every allocation in turn fails: the parse says so, or holds every argument.
  bool completed = false;
  for (int allowed = 0; !completed; ++allowed) {
    Script<char> s;
    s.Call({"/header", "Other", "Me", "/errors", "bad", "locked", "other", "C:\\p.exe", "C:\\dir"});
    tv::g_failAfterAllocs = allowed;
    auto a = tv::ParseRunAsArgs(s.frame);
    tv::g_failAfterAllocs = -1;
    completed = !a.outOfMemory;
    if (completed) {
      EXPECT_EQ(N(a.otherErrorText.c_str()), "other");
      EXPECT_EQ(N(a.workingDirectory.c_str()), "C:\\dir");
    }
    ASSERT_LT(allowed, 40);
  }
}

}  // namespace
