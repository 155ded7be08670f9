#include "quillmere/system/process_owner.h"

#include <sddl.h>

#include "frame/buffer.h"
#include "frame/owned.h"

namespace tv {
namespace {

// The token's user SID, copied out of the token information. False also when there is no
// memory for it.
bool ReadTokenUser(HANDLE process, Buffer<BYTE>* info) {
  KernelHandle token = OpenToken(process, TOKEN_QUERY);
  if (!token) return false;
  DWORD size = 0;
  if (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  info->Clear();
  if (!info->Resize(size)) return false;
  return GetTokenInformation(token.get(), TokenUser, info->data(), size, &size) != FALSE;
}

PSID SidOf(Buffer<BYTE>& info) { return reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid; }


tchar* NewText(DWORD characters) {
  return static_cast<tchar*>(GlobalAlloc(GPTR, (characters + 1) * sizeof(tchar)));
}

void FreeText(tchar*& text) {
  if (text) GlobalFree(text);
  text = nullptr;
}

}  // namespace

ProcessOwner::~ProcessOwner() {
  if (sidString) LocalFree(sidString);
  FreeText(accountName);
  FreeText(domainName);
}

bool ProcessOwner::Lookup(DWORD processId) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process) return false;
  Buffer<BYTE> owner;
  if (!ReadTokenUser(process.get(), &owner)) return false;
  if (sidString) LocalFree(sidString);
  sidString = nullptr;
  if (!TV_AW(ConvertSidToStringSid)(SidOf(owner), &sidString)) {
    sidString = nullptr;
    return false;
  }

  KernelHandle self;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), self.out(),
                       PROCESS_QUERY_INFORMATION, FALSE, 0)) {
    self.release();
    return false;
  }
  Buffer<BYTE> mine;
  if (!ReadTokenUser(self.get(), &mine)) return false;
  sameUser = EqualSid(SidOf(owner), SidOf(mine)) ? 1 : 0;
  if (sameUser) return true;

  DWORD nameSize = 0, domainSize = 0;
  SID_NAME_USE use;
  TV_AW(LookupAccountSid)(nullptr, SidOf(owner), nullptr, &nameSize, nullptr, &domainSize, &use);
  FreeText(accountName);
  FreeText(domainName);
  accountName = NewText(nameSize);
  domainName = NewText(domainSize);
  if (!accountName || !domainName ||
      !TV_AW(LookupAccountSid)(nullptr, SidOf(owner), accountName, &nameSize, domainName, &domainSize, &use)) {
    sameUser = 1;  // the owner could not be named: report it as the installer's own user
  }
  return true;
}

}  // namespace tv
