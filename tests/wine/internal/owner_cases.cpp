// The owner lookup on processes of this prefix: all of them run under the installer's own user.
#include "installer.h"
#include "quillmere/system/process_owner.h"

namespace {

BOOL WINAPI OtherSid(PSID, PSID) { return FALSE; }
BOOL WINAPI NoAccount(const tv::tchar*, PSID, tv::tchar*, DWORD*, tv::tchar*, DWORD*, SID_NAME_USE*) { return FALSE; }

}  // namespace

TEST_CASE(OwnersThatCannotBeReadOrNamed) {
  tv::ProcessOwner none;
  CHECK(!none.Lookup(0xFFFFFFF0u));  // no such process: the lookup fails and names nothing
  CHECK(none.sidString == nullptr);
  CHECK_EQ(none.sameUser, 0);  // an owner that cannot be read is not the installer's user

  // A SID naming no account (deleted, domain out of reach) is another user, without names.
  const char* lookupName = TV_AW_NAME("LookupAccountSid");
  void* equal = PatchImport(GetModuleHandleA(nullptr), "ADVAPI32.dll", "EqualSid", reinterpret_cast<void*>(&OtherSid));
  void* lookup = PatchImport(GetModuleHandleA(nullptr), "ADVAPI32.dll", lookupName, reinterpret_cast<void*>(&NoAccount));
  tv::ProcessOwner other;
  CHECK(other.Lookup(GetCurrentProcessId()) && other.sameUser == 0 && other.sidString != nullptr);
  CHECK(other.accountName == nullptr && other.domainName == nullptr);
  PatchImport(GetModuleHandleA(nullptr), "ADVAPI32.dll", "EqualSid", equal);
  PatchImport(GetModuleHandleA(nullptr), "ADVAPI32.dll", lookupName, lookup);
}
