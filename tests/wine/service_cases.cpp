// Service exports against Wine's real SCM; doubles only where Wine cannot produce the case.
#include <algorithm>
#include <tuple>

#include "harness.h"
#include "scm_fixture.h"
#include <ntsecapi.h>

#ifdef TARVOLK_UNICODE
#define AW "W"
#else
#define AW "A"
#endif

namespace {

// A service name of the case's own, purged before and after.
struct Fresh {
  Scm scm;
  std::string name;
  explicit Fresh(const char* what) : name("TvHarness-" + Arg("variant") + "-" + what) { scm.Purge(name); }
  ~Fresh() { scm.Purge(name); }
};

// The test service, started on demand.
std::vector<std::string> Install(const std::string& name, const std::string& group = "",
                                 const std::string& account = "", const std::string& password = "") {
  return CallExport("Install", {password, account, "", group, Arg("service"), "3", "16", name, name});
}

std::string Text(const TChar* t) { return t ? Narrow(t) : "<null>"; }

void* g_real[8];
template <int I, class R, class... A>
R Real(A... a) {
  return reinterpret_cast<R(WINAPI*)(A...)>(g_real[I])(a...);
}

struct Ledger {
  int opened = 0, closed = 0, policiesOpened = 0, policiesClosed = 0;
} g_ledger;
SC_HANDLE Counted(SC_HANDLE h) {
  if (h) ++g_ledger.opened;
  return h;
}

struct CreateRecord {
  int calls = 0;
  DWORD type = 0, start = 0;
  std::string name, display, group, path, dependencies, account, password;  // "<null>" when none was passed
  bool tagGiven = false;
  DWORD tagToReport = 0;  // when not 0, written through the tag pointer after a real success
  auto Fields() const {
    return std::tie(calls, type, start, name, display, group, path, dependencies, account, password, tagGiven);
  }
};
CreateRecord g_create;

SC_HANDLE WINAPI RecordingCreateService(SC_HANDLE manager, const TChar* name, const TChar* display, DWORD access,
                                        DWORD type, DWORD start, DWORD errorControl, const TChar* path,
                                        const TChar* group, DWORD* tag, const TChar* deps, const TChar* account,
                                        const TChar* password) {
  std::string list = deps ? "" : "<null>";
  for (const TChar* d = deps; d && *d; d += TString(d).size() + 1) list += Narrow(d) + ";";
  g_create = {g_create.calls + 1, type, start,         Text(name),     Text(display),  Text(group),
              Text(path),         list, Text(account), Text(password), tag != nullptr, g_create.tagToReport};
  SC_HANDLE h = Counted(Real<0, SC_HANDLE>(manager, name, display, access, type, start, errorControl, path, group, tag,
                                           deps, account, password));
  if (h && tag && g_create.tagToReport) *tag = g_create.tagToReport;
  return h;
}

struct RecordCreate {
  ImportDouble patch{"advapi32.dll", "CreateService" AW, reinterpret_cast<void*>(&RecordingCreateService)};
  RecordCreate() {
    g_create = CreateRecord{};
    g_real[0] = patch.Original();
  }
};

// Wine's LsaAddAccountRights stores nothing, so the grant is recorded.
struct GrantRecord {
  int calls = 0, revoked = 0;
  std::vector<BYTE> sid;
  std::wstring right;
  ULONG count = 0;
} g_grant;

std::vector<BYTE> SidBytes(PSID sid) {
  return std::vector<BYTE>(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
}

LONG WINAPI RecordingAddAccountRights(void*, PSID sid, PLSA_UNICODE_STRING rights, ULONG count) {
  ++g_grant.calls;
  g_grant.sid = SidBytes(sid);
  g_grant.right.assign(rights[0].Buffer, rights[0].Length / sizeof(WCHAR));
  g_grant.count = count;
  if (rights[0].MaximumLength != rights[0].Length + sizeof(WCHAR)) g_grant.right += L"<bad maximum length>";
  return 0;
}

LONG WINAPI RecordingRemoveAccountRights(void*, PSID sid, BOOLEAN all, PLSA_UNICODE_STRING rights, ULONG count) {
  if (!all && count == 1 && std::wstring(rights[0].Buffer, rights[0].Length / 2) == L"SeServiceLogonRight" &&
      SidBytes(sid) == g_grant.sid)
    ++g_grant.revoked;
  return 0;
}

struct RecordGrant {
  ImportDouble patch{"advapi32.dll", "LsaAddAccountRights", reinterpret_cast<void*>(&RecordingAddAccountRights)};
  ImportDouble removed{"advapi32.dll", "LsaRemoveAccountRights", reinterpret_cast<void*>(&RecordingRemoveAccountRights)};
  RecordGrant() { g_grant = GrantRecord{}; }
};

std::vector<BYTE> SidOf(const std::string& account) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sid);
  char domain[256];
  DWORD domainSize = sizeof(domain);
  SID_NAME_USE use;
  if (!LookupAccountNameA(nullptr, account.c_str(), sid, &sidSize, domain, &domainSize, &use)) return {};
  return SidBytes(sid);
}

std::string CurrentUser() {
  char user[256];
  DWORD size = sizeof(user);
  GetUserNameA(user, &size);
  return user;
}

// Wine's user is always an administrator.
SC_HANDLE WINAPI DeniedOpenSCManager(const void*, const void*, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

// A security product's service grants only query, start and stop, even to an administrator; Wine
// stores such an access list but never checks it, so this double does.
std::string g_guarded;
SC_HANDLE WINAPI GuardedOpenService(SC_HANDLE manager, const TChar* name, DWORD access) {
  if (Narrow(name) == g_guarded && (access & ~(SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP)) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return Real<1, SC_HANDLE>(manager, name, access);
}

SC_HANDLE WINAPI CountingOpenManager(const TChar* machine, const TChar* db, DWORD access) {
  return Counted(Real<2, SC_HANDLE>(machine, db, access));
}
SC_HANDLE WINAPI CountingOpenService(SC_HANDLE m, const TChar* name, DWORD access) {
  return Counted(Real<1, SC_HANDLE>(m, name, access));
}
BOOL WINAPI CountingCloseServiceHandle(SC_HANDLE h) {
  ++g_ledger.closed;
  return Real<3, BOOL>(h);
}
LONG WINAPI CountingOpenPolicy(void* system, void* attributes, DWORD access, void** policy) {
  LONG status = Real<4, LONG>(system, attributes, access, policy);
  if (status == 0) ++g_ledger.policiesOpened;
  return status;
}
LONG WINAPI CountingClosePolicy(void* policy) {
  ++g_ledger.policiesClosed;
  return Real<5, LONG>(policy);
}

struct CountHandles {
  RecordCreate create;
  ImportDouble manager{"advapi32.dll", "OpenSCManager" AW, reinterpret_cast<void*>(&CountingOpenManager)};
  ImportDouble service{"advapi32.dll", "OpenService" AW, reinterpret_cast<void*>(&CountingOpenService)};
  ImportDouble close{"advapi32.dll", "CloseServiceHandle", reinterpret_cast<void*>(&CountingCloseServiceHandle)};
  ImportDouble policy{"advapi32.dll", "LsaOpenPolicy", reinterpret_cast<void*>(&CountingOpenPolicy)};
  ImportDouble policyClose{"advapi32.dll", "LsaClose", reinterpret_cast<void*>(&CountingClosePolicy)};
  CountHandles() {
    g_ledger = Ledger{};
    void* originals[] = {create.patch.Original(), service.Original(), manager.Original(), close.Original(),
                         policy.Original(), policyClose.Original()};
    std::copy(originals, originals + 6, g_real);
  }
};

}  // namespace

TEST_CASE(ManagerThatCannotBeOpened) {
  ImportDouble denied("advapi32.dll", "OpenSCManager" AW, reinterpret_cast<void*>(&DeniedOpenSCManager));
  for (const char* fn : {"Install", "Remove", "Start", "Stop", "QueryStatus"})
    CHECK_STACK(CallExport(fn, {"below", "some-service"}), {"error", "100"});
}

TEST_CASE(ServiceThatRefusesFullAccess) {
  Fresh svc("guarded");
  Install(svc.name);
  {
    ImportDouble guard("advapi32.dll", "OpenService" AW, reinterpret_cast<void*>(&GuardedOpenService));
    g_real[1] = guard.Original();
    g_guarded = svc.name;
    CHECK_STACK(CallExport("QueryStatus", {svc.name}), {"success", "1"});
    CHECK_STACK(CallExport("Start", {svc.name}), {"success", "0"});
    CHECK(svc.scm.WaitState(svc.name, SERVICE_RUNNING));
    CHECK_STACK(CallExport("Stop", {svc.name}), {"success"});
    g_guarded.clear();
  }
}

TEST_CASE(InstallPassesTheArgumentsItWasGiven) {
  Fresh svc("args");
  RecordCreate record;
  // Display names are unique too. A Unicode installer's text goes beyond any ANSI code page.
  const std::string display =
      (sizeof(TChar) == 2 ? "Args \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC \xD0\x96 " : "Args display ") + Arg("variant");
  CHECK_STACK(
      CallExport("Install", {"ignored", "", "Tcpip;Afd", "", Arg("service") + " -x", "03", "0x10", display, svc.name}),
      {"success", "-559038801"});
  // The group is always passed, empty meaning none.
  CHECK_EQ(g_create.Fields(), std::make_tuple(1, 16ul, 3ul, svc.name, display, "", Arg("service") + " -x", "Tcpip;Afd;",
                                              "<null>", "<null>", false));
  CHECK(svc.scm.State(svc.name) != 0);
}

// Never to a group; taken back when the creation fails; no copy of the password left in a freed block.
TEST_CASE(InstallGrantsTheRightOnlyToTheServiceAccount) {
  Fresh svc("account");
  std::string user = CurrentUser();
  struct Account {
    std::string given, passed;
    bool granted;
  };
  for (const Account& a : {Account{user, ".\\" + user, true}, Account{"DOMAIN\\svcuser", "DOMAIN\\svcuser", false},
                           Account{"Everyone", ".\\Everyone", false}, Account{"Users", ".\\Users", false}}) {
    svc.scm.Purge(svc.name);
    RecordCreate record;
    RecordGrant grant;
    FreedBlocksWatch watch("pw-secret");
    Install(svc.name, "", a.given, "pw-secret");
    // An empty list of dependencies is no list.
    CHECK_EQ(std::tie(g_create.account, g_create.dependencies, g_create.password),
             std::make_tuple(a.passed, "<null>", "pw-secret"));
    CHECK_EQ(watch.holding, 0);
    CHECK_EQ(std::tie(g_grant.calls, g_grant.sid, g_grant.right, g_grant.count),
             a.granted ? std::make_tuple(1, SidOf(user), std::wstring(L"SeServiceLogonRight"), 1ul)
                       : std::make_tuple(0, std::vector<BYTE>(), std::wstring(), 0ul));
  }
  CHECK(!SidOf("Everyone").empty() && !SidOf("Users").empty());  // refused for their kind, not unknown

  RecordGrant grant;
  FreedBlocksWatch watch("pw-secret");
  CHECK_STACK(Install(svc.name, "", user, "pw-secret"), {"error", "1073"});
  CHECK_EQ(g_grant.revoked, 1);
  {
    ImportDouble denied("advapi32.dll", "OpenSCManager" AW, reinterpret_cast<void*>(&DeniedOpenSCManager));
    Install(svc.name, "", user, "pw-secret");
  }
  CHECK_EQ(watch.holding, 0);
}

// Wine makes no tags: the tag pointer comes back unchanged, so the placeholder stays.
TEST_CASE(InstallWithALoadOrderGroup) {
  Fresh svc("group");
  for (DWORD tag : {0, 42}) {
    svc.scm.Purge(svc.name);
    RecordCreate record;
    g_create.tagToReport = tag;
    CHECK_STACK(Install(svc.name, "TvGroup"), {"success", tag ? "42" : "-559038801"});
    CHECK(g_create.tagGiven);
    CHECK_EQ(g_create.group, "TvGroup");
  }
}

TEST_CASE(EveryHandleIsClosedOnEveryPath) {
  Fresh svc("ledger");
  DWORD kernelBefore = 0;
  {
    CountHandles count;
    for (int round = 0; round < 22; ++round) {
      // The plug-in's first calls open handles that the process keeps for good.
      if (round == 2) kernelBefore = OwnHandleCount();
      Install(svc.name, round % 2 ? "TvGroup" : "", CurrentUser(), "pw");
      for (const char* fn : {"Start", "QueryStatus", "Start", "Stop", "Stop", "QueryStatus"})
        CallExport(fn, {svc.name});
      svc.scm.WaitState(svc.name, SERVICE_STOPPED);
      CallExport(round % 2 ? "Remove" : "QueryStatus", {svc.name});
      CHECK_STACK(CallExport("Install", {}), {"error", "-559038801"});
      // One argument short (no password) with an account: neither created nor granted.
      int created = g_create.calls, policies = g_ledger.policiesOpened;
      CHECK_STACK(CallExport("Install", {CurrentUser(), "", "", Arg("service"), "3", "16", svc.name, svc.name}),
                  {"error", "-559038801"});
      CHECK(g_create.calls == created && g_ledger.policiesOpened == policies);
      for (const char* fn : {"Start", "Stop", "QueryStatus", "Remove"}) CallExport(fn, {});
    }
    CHECK(g_ledger.opened > 100);
    CHECK(g_ledger.policiesOpened >= 20);
    CHECK_EQ(std::tie(g_ledger.opened, g_ledger.policiesOpened), std::tie(g_ledger.closed, g_ledger.policiesClosed));
  }
  CHECK(kernelBefore > 0);
  CHECK(OwnHandleCount() <= kernelBefore + 2);
}
