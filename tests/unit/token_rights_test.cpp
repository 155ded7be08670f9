#include "quillmere/system/token_rights.h"

#include <gtest/gtest.h>

namespace {

// S-1-5-<rid>, one sub-authority.
void AddSid(tv::Buffer<std::uint8_t>* out, std::uint8_t rid) {
  const std::uint8_t sid[12] = {1, 1, 0, 0, 0, 0, 0, 5, rid, 0, 0, 0};
  out->Append(sid, sizeof sid);
}

// A medium token of user 21 with groups 11 and 32 and privileges 19 and 23, changed by `change`.
template <class Change>
tv::TokenRights Token(Change change) {
  tv::TokenRights r;
  r.known = true;
  r.session = 1;
  r.integrity = 0x2000;
  AddSid(&r.user, 21);
  AddSid(&r.groups, 11);
  AddSid(&r.groups, 32);
  r.privileges.Push(19);
  r.privileges.Push(23);
  change(r);
  return r;
}
const auto kAsIs = [](tv::TokenRights&) {};

TEST(TokenRights, OnlyATokenThatGivesNoMoreCounts) {
  const tv::TokenRights program = Token(kAsIs);
  EXPECT_TRUE(tv::NoStronger(Token(kAsIs), program));
  auto weaker = Token([](tv::TokenRights& r) {
    r.integrity = 0x1000;
    r.groups.Resize(12);
    r.privileges.Resize(1);
  });
  EXPECT_TRUE(tv::NoStronger(weaker, program));
  EXPECT_FALSE(tv::NoStronger(program, weaker));
  EXPECT_FALSE(tv::NoStronger(Token([](tv::TokenRights& r) { AddSid(&r.groups, 33); }), program));
  EXPECT_FALSE(tv::NoStronger(Token([](tv::TokenRights& r) { r.privileges.Push(20); }), program));
  EXPECT_FALSE(tv::NoStronger(Token([](tv::TokenRights& r) { r.user[8] = 22; }), program));
  EXPECT_FALSE(tv::NoStronger(Token([](tv::TokenRights& r) { r.session = 2; }), program));
  EXPECT_FALSE(tv::NoStronger(Token([](tv::TokenRights& r) { r.groups.Resize(15); }), program));  // cut short
  EXPECT_FALSE(tv::NoStronger(Token([](tv::TokenRights& r) { r.known = false; }), program));
  // A confined program: no token but its own keeps it so, not even an equal one.
  EXPECT_FALSE(tv::NoStronger(program, Token([](tv::TokenRights& r) { r.restricted = true; })));
  EXPECT_FALSE(tv::NoStronger(program, Token([](tv::TokenRights& r) { r.appContainer = true; })));
}

}  // namespace
