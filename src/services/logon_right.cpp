// Granting "log on as a service" to a service's account through the local security policy.
#include "scm.h"

#include <ntsecapi.h>

namespace tv {
namespace {

struct LsaHandleTraits {
  static LSA_HANDLE Invalid() { return nullptr; }
  static void Close(LSA_HANDLE h) { LsaClose(h); }
};
using LsaPolicy = Owned<LSA_HANDLE, LsaHandleTraits>;

// A block of the process heap that can grow.
bool Grow(HeapBlock& block, DWORD bytes) {
  if (!block) return false;
  void* grown = HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block.get(), bytes);
  if (grown == nullptr) return false;
  block.release();
  block.reset(grown);
  return true;
}

// The account's SID in a block of the process heap; an empty block when the account is unknown.
HeapBlock LookupAccountSid(const tchar* system, const tchar* account) {
  HeapBlock sid(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 128));
  if (!sid) return sid;
  DWORD sidSize = 128;
  DWORD domainChars = 16 / sizeof(tchar);
  HeapBlock domain(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16));
  // Each round grows the blocks to the sizes the call asked for; a well-behaved system asks once,
  // and the bound keeps a misbehaving one from looping for ever.
  for (int round = 0; round < 4; ++round) {
    SID_NAME_USE use;
    if (TV_AW(LookupAccountName)(system, account, sid.get(), &sidSize, static_cast<tchar*>(domain.get()), &domainChars,
                           &use))
      return sid;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    if (!Grow(sid, sidSize) || !Grow(domain, domainChars * sizeof(tchar))) break;
  }
  sid.reset();
  return sid;
}

}  // namespace

void GrantServiceLogonRight(const tchar* account) {
  WCHAR systemName[256] = {};
  LSA_UNICODE_STRING system = {0, 2, systemName};
  LSA_OBJECT_ATTRIBUTES attributes = {};
  LsaPolicy policy;
  if (LsaOpenPolicy(&system, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy.out()) != 0) {
    policy.release();  // a failed open hands back no handle to close
    return;
  }
  HeapBlock sid = LookupAccountSid(nullptr, account);
  if (!sid) return;
  WCHAR rightName[] = L"SeServiceLogonRight";
  LSA_UNICODE_STRING right;
  right.Length = static_cast<USHORT>((sizeof(rightName) / sizeof(WCHAR) - 1) * sizeof(WCHAR));
  right.MaximumLength = static_cast<USHORT>(right.Length + sizeof(WCHAR));
  right.Buffer = rightName;
  LsaAddAccountRights(policy.get(), sid.get(), &right, 1);
}

}  // namespace tv
