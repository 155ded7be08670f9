#include "services/logon_right.h"

namespace tv {
namespace {

constexpr NTSTATUS kNoSuchAccount = static_cast<NTSTATUS>(0xC0000034);  // STATUS_OBJECT_NAME_NOT_FOUND
constexpr WCHAR kRightName[] = L"SeServiceLogonRight";

// The right, as the account-rights calls take it (they do not write to it).
LSA_UNICODE_STRING LogonRight() {
  return {sizeof(kRightName) - sizeof(WCHAR), sizeof(kRightName), const_cast<PWSTR>(kRightName)};
}

// A user account but a guest account (RID 501), or LocalSystem, LocalService, NetworkService or a
// service's virtual account (NT SERVICE\name): the accounts a service runs as.
bool RunsServices(PSID sid, SID_NAME_USE use) {
  const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  UCHAR count = *GetSidSubAuthorityCount(sid);
  if (count == 0 || memcmp(GetSidIdentifierAuthority(sid), &nt, sizeof nt) != 0) return false;
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
  const LSA_UNICODE_STRING right = LogonRight();
  for (ULONG i = 0; i < count && rights != nullptr; ++i)
    if (rights[i].Length == right.Length && memcmp(rights[i].Buffer, right.Buffer, right.Length) == 0)
      held = Held::kYes;
  if (rights != nullptr) LsaFreeMemory(rights);
  return held;
}

}  // namespace

void ServiceLogonGrant::Grant(const tchar* account) {
  // The service manager reads ".\name" as the computer's own account, which the account look-up
  // knows by the computer's name.
  BasicArg<tchar> name(MAX_COMPUTERNAME_LENGTH + 1 + Length(account));
  if (name.data() == nullptr) return;
  DWORD at = 0;
  if (account[0] == tchar('.') && account[1] == tchar('\\')) {
    at = MAX_COMPUTERNAME_LENGTH + 1;
    if (!TV_AW(GetComputerName)(name.data(), &at)) return;
    ++account;
  }
  CopyBounded(name.data() + at, account, name.capacity() - at);
  // No SID is longer than SECURITY_MAX_SID_SIZE, no domain name than 255 characters.
  DWORD sidSize = sizeof(sid_), domainChars = 256;
  tchar domain[256];
  SID_NAME_USE use = SidTypeUnknown;
  if (!TV_AW(LookupAccountName)(nullptr, name.c_str(), sid_, &sidSize, domain, &domainChars, &use) ||
      !RunsServices(sid_, use))
    return;
  WCHAR systemName[256] = {};
  LSA_UNICODE_STRING system = {0, 2, systemName};
  LSA_OBJECT_ATTRIBUTES attributes = {};
  if (LsaOpenPolicy(&system, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy_.out()) != 0) {
    policy_.release();  // a failed open hands back no handle to close
    return;
  }
  // A right the account may hold already is added all the same, but never taken back.
  Held held = HoldsRight(policy_.get(), sid_);
  if (held == Held::kYes) return;
  LSA_UNICODE_STRING right = LogonRight();
  grantedHere_ = LsaAddAccountRights(policy_.get(), sid_, &right, 1) == 0 && held == Held::kNo;
}

void ServiceLogonGrant::Revoke() {
  LSA_UNICODE_STRING right = LogonRight();
  if (grantedHere_) LsaRemoveAccountRights(policy_.get(), sid_, FALSE, &right, 1);
  grantedHere_ = false;
}

}  // namespace tv
