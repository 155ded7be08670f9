#include "runas/runas_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widths.h"

namespace tv {
extern int g_failAfterAllocs;
}

namespace {

template <class C>
std::string N(const tv::BasicText<C>& s) {
  return std::string(s.c_str(), s.c_str() + s.size());
}

template <class C>
void CheckEverySwitch() {
  Script<C> s;
  s.frame.pushstring(std::basic_string<C>(1, C('x')).c_str());  // below the arguments
  s.Call({"/HEADER", "Other account", "Me", "/user", "Name:", "bob", "/Domain", "Domain:", "CORP", "/pwd",
          "Secret:", "/next", "Go", "/errors", "bad", "locked", "other", "C:\\p.exe", "C:\\dir"});
  auto a = tv::ParseRunAsArgs(s.frame);
  EXPECT_EQ(N(a.customAccountText), "Other account");
  EXPECT_EQ(N(a.currentUserText), "Me");
  EXPECT_EQ(N(a.userLabel), "Name:");
  EXPECT_EQ(N(a.userDefault), "bob");
  EXPECT_EQ(N(a.domainLabel), "Domain:");
  EXPECT_EQ(N(a.domainDefault), "CORP");
  EXPECT_EQ(N(a.passwordLabel), "Secret:");
  EXPECT_EQ(N(a.nextText), "Go");
  EXPECT_EQ(N(a.logonFailureText), "bad");
  EXPECT_EQ(N(a.lockedOutText), "locked");
  EXPECT_EQ(N(a.otherErrorText), "other");
  EXPECT_TRUE(a.hasProgram);
  EXPECT_EQ(N(a.programPath), "C:\\p.exe");
  EXPECT_TRUE(a.hasWorkingDirectory);
  EXPECT_EQ(N(a.workingDirectory), "C:\\dir");
  EXPECT_EQ(s.Left().size(), 1u);  // parsing stops after the working directory
}

TEST(RunAsArgs, EverySwitchInAnyCaseNarrowAndWide) {
  CheckEverySwitch<char>();
  CheckEverySwitch<wchar_t>();
}

TEST(RunAsArgs, AnUnknownSwitchIsTheProgram) {
  Script<char> s;
  s.Call({"/pwd", "P:", "/other", "/user", "rest"});
  auto a = tv::ParseRunAsArgs(s.frame);
  EXPECT_EQ(N(a.passwordLabel), "P:");
  EXPECT_EQ(N(a.programPath), "/other");
  EXPECT_EQ(N(a.workingDirectory), "/user");
  EXPECT_EQ(s.Left().size(), 1u);
  EXPECT_TRUE(a.userLabel.empty());
}

TEST(RunAsArgs, RunningOutOfEntries) {
  {
    Script<char> s;  // a switch whose values the stack no longer holds
    s.Call({"/errors", "only one"});
    auto a = tv::ParseRunAsArgs(s.frame);
    EXPECT_EQ(N(a.logonFailureText), "only one");
    EXPECT_EQ(N(a.lockedOutText), "");
    EXPECT_FALSE(a.hasProgram);
    EXPECT_EQ(s.Left().size(), 0u);
  }
  {
    Script<char> s;  // "/user" as a value is a value, not a switch
    s.Call({"/header", "/user", "x", "prog"});
    auto a = tv::ParseRunAsArgs(s.frame);
    EXPECT_EQ(N(a.customAccountText), "/user");
    EXPECT_EQ(N(a.currentUserText), "x");
    EXPECT_EQ(N(a.programPath), "prog");
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
      EXPECT_EQ(N(a.otherErrorText), "other");
      EXPECT_EQ(N(a.workingDirectory), "C:\\dir");
    }
    ASSERT_LT(allowed, 40);
  }
}

}  // namespace
