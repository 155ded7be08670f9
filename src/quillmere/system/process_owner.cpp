#include "quillmere/system/process_owner.h"

#include <sddl.h>

#include "frame/buffer.h"
#include "frame/owned.h"

namespace tv {
namespace {

// One class of the token's information, copied out. False also when there is no memory for it.
bool ReadTokenInfo(HANDLE token, TOKEN_INFORMATION_CLASS kind, Buffer<BYTE>* info) {
  DWORD size = 0;
  if (GetTokenInformation(token, kind, nullptr, 0, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  info->Clear();
  if (!info->Resize(size)) return false;
  return GetTokenInformation(token, kind, info->data(), size, &size) != FALSE;
}

// The process token's user SID.
bool ReadTokenUser(HANDLE process, Buffer<BYTE>* info) {
  KernelHandle token = OpenToken(process, TOKEN_QUERY);
  return token && ReadTokenInfo(token.get(), TokenUser, info);
}

bool AppendSid(PSID sid, Buffer<std::uint8_t>* out) {
  return IsValidSid(sid) && out->Append(static_cast<const std::uint8_t*>(sid), GetLengthSid(sid));
}

// The information classes that older systems lack.
constexpr auto kIntegrityLevel = static_cast<TOKEN_INFORMATION_CLASS>(25);
constexpr auto kIsAppContainer = static_cast<TOKEN_INFORMATION_CLASS>(29);

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
  // Another user: named where the account can be looked up (a deleted account or an unreachable
  // domain has no name, and is another user all the same).

  DWORD nameSize = 0, domainSize = 0;
  SID_NAME_USE use;
  TV_AW(LookupAccountSid)(nullptr, SidOf(owner), nullptr, &nameSize, nullptr, &domainSize, &use);
  FreeText(accountName);
  FreeText(domainName);
  accountName = NewText(nameSize);
  domainName = NewText(domainSize);
  if (!accountName || !domainName ||
      !TV_AW(LookupAccountSid)(nullptr, SidOf(owner), accountName, &nameSize, domainName, &domainSize, &use)) {
    FreeText(accountName);
    FreeText(domainName);
  }
  return true;
}

void ReadTokenRights(HANDLE token, TokenRights* out) {
  out->known = false;
  Buffer<BYTE> info;
  DWORD value = 0, size = 0;
  if (!ReadTokenInfo(token, TokenUser, &info)) return;
  out->user.Clear();
  if (!AppendSid(SidOf(info), &out->user)) return;
  if (!ReadTokenInfo(token, TokenGroups, &info)) return;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(info.data());
  out->groups.Clear();
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    const SID_AND_ATTRIBUTES& group = groups->Groups[i];
    // The integrity label is compared as a level; a group for deny only grants nothing.
    if ((group.Attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_INTEGRITY)) == SE_GROUP_ENABLED &&
        !AppendSid(group.Sid, &out->groups))
      return;
  }
  if (!ReadTokenInfo(token, TokenPrivileges, &info)) return;
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(info.data());
  out->privileges.Clear();
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID& id = privileges->Privileges[i].Luid;
    if (!out->privileges.Push(static_cast<std::uint64_t>(static_cast<DWORD>(id.HighPart)) << 32 | id.LowPart)) return;
  }
  if (!GetTokenInformation(token, TokenSessionId, &value, sizeof value, &size)) return;
  out->session = value;
  // Systems before Vista have no integrity levels, and before Windows 8 no AppContainers.
  out->integrity = 0;
  if (ReadTokenInfo(token, kIntegrityLevel, &info)) {
    PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(info.data())->Label.Sid;
    if (!IsValidSid(label) || *GetSidSubAuthorityCount(label) == 0) return;
    out->integrity = *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1u);
  }
  value = 0;
  out->appContainer = GetTokenInformation(token, kIsAppContainer, &value, sizeof value, &size) && value != 0;
  out->restricted = IsTokenRestricted(token) != FALSE;
  out->known = true;
}

}  // namespace tv
