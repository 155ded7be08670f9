// The owner lookup on processes of this prefix: all of them run under the installer's own user.
#include "installer.h"
#include "quillmere/system/process_owner.h"

TEST_CASE(OwnerOfOwnProcessIsTheSameUser) {
  tv::ProcessOwner owner;
  CHECK(owner.Lookup(GetCurrentProcessId()));
  CHECK_EQ(owner.sameUser, 1);
  CHECK(owner.sidString != nullptr && owner.sidString[0] == 'S');
  CHECK(owner.accountName == nullptr);

  tv::ProcessOwner none;
  CHECK(!none.Lookup(0xFFFFFFF0u));  // no such process: the lookup fails and names nothing
  CHECK(none.sidString == nullptr);
  CHECK_EQ(none.sameUser, 0);  // an owner that cannot be read is not the installer's user
}

namespace {

BOOL WINAPI OtherSid(PSID, PSID) { return FALSE; }

BOOL WINAPI NoAccount(const tv::tchar*, PSID, tv::tchar*, DWORD*, tv::tchar*, DWORD*, SID_NAME_USE*) {
  SetLastError(ERROR_NONE_MAPPED);
  return FALSE;
}

}  // namespace

// Another user's SID that names no account (a deleted account, a domain out of reach): still
// another user, without names. The program's EqualSid and LookupAccountSid are doubled.
TEST_CASE(OwnerWithoutAnAccountIsAnotherUser) {
  HMODULE self = GetModuleHandleA(nullptr);
  void* equal = PatchImport(self, "ADVAPI32.dll", "EqualSid", reinterpret_cast<void*>(&OtherSid));
  void* lookup = PatchImport(self, "ADVAPI32.dll", TV_AW_NAME("LookupAccountSid"), reinterpret_cast<void*>(&NoAccount));
  tv::ProcessOwner owner;
  CHECK(owner.Lookup(GetCurrentProcessId()));
  CHECK_EQ(owner.sameUser, 0);
  CHECK(owner.sidString != nullptr && owner.accountName == nullptr && owner.domainName == nullptr);
  PatchImport(self, "ADVAPI32.dll", "EqualSid", equal);
  PatchImport(self, "ADVAPI32.dll", TV_AW_NAME("LookupAccountSid"), lookup);
}
