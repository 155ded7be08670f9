#include "services/logon_right.h"

#include "frame/buffer.h"

namespace tv {
namespace {

constexpr NTSTATUS kNoSuchAccount = static_cast<NTSTATUS>(0xC0000034);  // STATUS_OBJECT_NAME_NOT_FOUND
WCHAR g_rightName[] = L"SeServiceLogonRight";

LSA_UNICODE_STRING Right() {
  LSA_UNICODE_STRING right;
  right.Length = static_cast<USHORT>((sizeof(g_rightName) / sizeof(WCHAR) - 1) * sizeof(WCHAR));
  right.MaximumLength = static_cast<USHORT>(right.Length + sizeof(WCHAR));
  right.Buffer = g_rightName;
  return right;
}

// A block of the process heap that can grow.
bool Grow(HeapBlock& block, DWORD bytes) {
  if (!block) return false;
  void* grown = HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block.get(), bytes);
  if (grown == nullptr) return false;
  block.release();
  block.reset(grown);
  return true;
}

// The account's SID in a block of the process heap, and what kind of account it is; an empty
// block when the account is unknown.
HeapBlock LookupAccountSid(const tchar* account, SID_NAME_USE* use) {
  HeapBlock sid(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 128));
  if (!sid) return sid;
  DWORD sidSize = 128;
  DWORD domainChars = 16 / sizeof(tchar);
  HeapBlock domain(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16));
  // Each round grows the blocks to the sizes the call asked for; a well-behaved system asks once,
  // and the bound keeps a misbehaving one from looping for ever.
  for (int round = 0; round < 4; ++round) {
    if (TV_AW(LookupAccountName)(nullptr, account, sid.get(), &sidSize, static_cast<tchar*>(domain.get()),
                                 &domainChars, use))
      return sid;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    if (!Grow(sid, sidSize) || !Grow(domain, domainChars * sizeof(tchar))) break;
  }
  sid.reset();
  return sid;
}

// The name to look up: the service manager reads ".\name" as the computer's own account, which
// the account look-up knows by the computer's name.
bool LookupName(const tchar* account, BasicText<tchar>* name) {
  if (account[0] != tchar('.') || account[1] != tchar('\\')) return name->Assign(account);
  tchar computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
  return TV_AW(GetComputerName)(computer, &chars) && name->Assign(computer) && name->Append(account + 1);
}

// A user account but a guest account (RID 501), or LocalSystem, LocalService, NetworkService or a
// service's virtual account (NT SERVICE\name): the accounts a service runs as.
bool RunsServices(PSID sid, SID_NAME_USE use) {
  const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
  UCHAR count = *GetSidSubAuthorityCount(sid);
  if (count == 0 || memcmp(authority, &nt, sizeof nt) != 0) return false;
  DWORD first = *GetSidSubAuthority(sid, 0);
  if (use == SidTypeUser) return *GetSidSubAuthority(sid, count - 1) != DOMAIN_USER_RID_GUEST;
  return use == SidTypeWellKnownGroup && (first == SECURITY_LOCAL_SYSTEM_RID || first == SECURITY_LOCAL_SERVICE_RID ||
                                          first == SECURITY_NETWORK_SERVICE_RID ||
                                          first == SECURITY_SERVICE_ID_BASE_RID);
}

enum class Held { kYes, kNo, kUnknown };

Held HoldsRight(LSA_HANDLE policy, PSID sid) {
  PLSA_UNICODE_STRING rights = nullptr;
  ULONG count = 0;
  NTSTATUS status = LsaEnumerateAccountRights(policy, sid, &rights, &count);
  if (status == kNoSuchAccount) return Held::kNo;  // an account that holds no right at all
  if (status != 0) return Held::kUnknown;
  Held held = Held::kNo;
  LSA_UNICODE_STRING right = Right();
  for (ULONG i = 0; i < count && rights != nullptr; ++i)
    if (rights[i].Length == right.Length && memcmp(rights[i].Buffer, right.Buffer, right.Length) == 0)
      held = Held::kYes;
  if (rights != nullptr) LsaFreeMemory(rights);
  return held;
}

}  // namespace

void ServiceLogonGrant::Grant(const tchar* account) {
  BasicText<tchar> name;
  if (!LookupName(account, &name)) return;
  SID_NAME_USE use = SidTypeUnknown;
  HeapBlock sid = LookupAccountSid(name.c_str(), &use);
  if (!sid || !RunsServices(sid.get(), use)) return;
  WCHAR systemName[256] = {};
  LSA_UNICODE_STRING system = {0, 2, systemName};
  LSA_OBJECT_ATTRIBUTES attributes = {};
  if (LsaOpenPolicy(&system, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy_.out()) != 0) {
    policy_.release();  // a failed open hands back no handle to close
    return;
  }
  // A right the account may hold already is added all the same, but never taken back.
  Held held = HoldsRight(policy_.get(), sid.get());
  if (held == Held::kYes) return;
  LSA_UNICODE_STRING right = Right();
  if (LsaAddAccountRights(policy_.get(), sid.get(), &right, 1) == 0 && held == Held::kNo) sid_ = std::move(sid);
}

void ServiceLogonGrant::Revoke() {
  if (!sid_ || !policy_) return;
  LSA_UNICODE_STRING right = Right();
  LsaRemoveAccountRights(policy_.get(), sid_.get(), FALSE, &right, 1);
  sid_.reset();
}

}  // namespace tv
