#include "quillmere/system/token_rights.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

// S-1-5-<rid>: one sub-authority.
void AddSid(tv::Buffer<std::uint8_t>* out, std::uint8_t rid) {
  const std::uint8_t sid[12] = {1, 1, 0, 0, 0, 0, 0, 5, rid, 0, 0, 0};
  out->Append(sid, sizeof sid);
}

// A medium user's token: user 21, groups 11 and 32, two privileges.
tv::TokenRights Medium() {
  tv::TokenRights r;
  r.known = true;
  r.session = 1;
  r.integrity = 0x2000;
  AddSid(&r.user, 21);
  for (std::uint8_t group : {11, 32}) AddSid(&r.groups, group);
  for (std::uint64_t privilege : {19ull, 23ull}) r.privileges.Push(privilege);
  return r;
}

TEST(TokenRights, OnlyATokenThatGivesNoMoreCounts) {
  const tv::TokenRights program = Medium();
  EXPECT_TRUE(tv::NoStronger(Medium(), program));
  tv::TokenRights weaker = Medium();
  weaker.integrity = 0x1000;
  weaker.groups.Resize(12);
  weaker.privileges.Resize(1);
  EXPECT_TRUE(tv::NoStronger(weaker, program));
  EXPECT_FALSE(tv::NoStronger(program, weaker));

  tv::TokenRights other = Medium();
  AddSid(&other.groups, 33);  // an enabled group the program had only for deny, or not at all
  EXPECT_FALSE(tv::NoStronger(other, program));
  other = Medium();
  other.privileges.Push(20);
  EXPECT_FALSE(tv::NoStronger(other, program));
  other = Medium();
  other.user.Clear();
  AddSid(&other.user, 22);
  EXPECT_FALSE(tv::NoStronger(other, program));
  other = Medium();
  other.session = 2;
  EXPECT_FALSE(tv::NoStronger(other, program));
  other = Medium();
  other.known = false;
  EXPECT_FALSE(tv::NoStronger(other, program));
  EXPECT_FALSE(tv::NoStronger(program, other));

  // A confined program: no token but its own keeps it so, not even an equal one.
  for (bool tv::TokenRights::*confined : {&tv::TokenRights::restricted, &tv::TokenRights::appContainer}) {
    tv::TokenRights sandboxed = Medium();
    sandboxed.*confined = true;
    EXPECT_FALSE(tv::NoStronger(Medium(), sandboxed));
  }
  // A SID list cut short reads as nothing held.
  other = Medium();
  other.groups.Resize(15);
  EXPECT_FALSE(tv::NoStronger(other, program));
}

}  // namespace
