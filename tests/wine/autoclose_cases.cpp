// What no installer under Wine produces: a TerminateProcess refused as for a protected process,
// and tokens Wine cannot make (GetTokenInformation doubled).
#include "harness.h"
#include "victims.h"

namespace {

// After the refusal the program cannot be opened, as one in mid-exit; the same entry is still told.
DWORD g_victim = 0;
bool g_refused = false;
void* g_openProcess = nullptr;

BOOL WINAPI TerminateRefused(HANDLE, UINT) {
  g_refused = true;
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

HANDLE WINAPI OpenedUntilRefused(DWORD access, BOOL inherit, DWORD processId) {
  if (g_refused && processId == g_victim) return nullptr;
  return reinterpret_cast<decltype(&OpenProcess)>(g_openProcess)(access, inherit, processId);
}

// Wine runs all at one integrity level and ignores a start's token: the levels are doubled.
void* g_tokenInformation = nullptr;
bool g_lowIntegrity = false;  // every token read is a low-integrity one
bool g_notElevated = false;   // no token read is elevated

BOOL WINAPI TokenAsSaid(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* info, DWORD size, DWORD* needed) {
  BOOL ok = reinterpret_cast<decltype(&GetTokenInformation)>(g_tokenInformation)(token, kind, info, size, needed);
  if (ok && kind == TokenIntegrityLevel && g_lowIntegrity) {
    PSID label = static_cast<TOKEN_MANDATORY_LABEL*>(info)->Label.Sid;
    *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1) = SECURITY_MANDATORY_LOW_RID;
  }
  if (ok && kind == TokenElevation && g_notElevated) static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = 0;
  return ok;
}

}  // namespace

// The search gives up at once (no 10 s of attempts), tells the function with id -1 and stops,
// leaving its answer off the stack; the record says so and a restart leaves the program alone.
TEST_CASE(AutocloseGivesUpOnAProgramThatCannotEnd) {
  // A module target: the harness reads no system handle table while other tests run.
  Victim victim(OwnBin(), TestFolder("autoclose"), "tvstay", "");
  Stack s;
  std::vector<std::string> ids;
  Installer::Get().functions[41] = [&](HWND) {
    ids.push_back(s.Pop());
    s.Pop();
    s.Pop();
    s.Push(ids.back() == "-1" ? "whatever" : "autoclose");
    return 0;
  };
  s.PushAll({"mine", victim.Path()});
  Dll().Call("AddModule", &s);
  s.Push("42");
  DWORD start = GetTickCount();
  {
    ImportDouble terminate("KERNEL32.dll", "TerminateProcess", reinterpret_cast<void*>(&TerminateRefused));
    ImportDouble open("KERNEL32.dll", "OpenProcess", reinterpret_cast<void*>(&OpenedUntilRefused));
    g_openProcess = open.Original();
    g_victim = victim.Id();
    Dll().Call("SilentSearch", &s);
    g_refused = false;
  }
  DWORD took = GetTickCount() - start;
  CHECK_STACK(s, {"done", "mine"});
  CHECK_STACK(ids, {std::to_string(victim.Id()), "-1"});
  CHECK(took < 9000);
  CHECK(!victim.Ended(0));

  std::vector<std::string> fields;
  Installer::Get().functions[43] = [&](HWND) {
    for (int i = 0; i < 8; ++i) fields.push_back(s.Pop());
    s.Push("true");
    return 0;
  };
  s.Clear();
  s.PushAll({"44", "/ask"});
  Dll().Call("RestartClosedPrograms", &s);
  CHECK_STACK(s, {"0"});
  // One entry: why not, how it ended, then the fields restart.nsi's record rows show.
  CHECK(fields.size() == 8 && fields[0] == "failed" && fields[1] == "failed");
  Installer::Get().functions.erase(43);
  Installer::Get().functions.erase(41);
}

// A non-elevated installer starts a program that ran as it does with its own token, and not one
// that ran at low integrity ("restricted" to /ask).
TEST_CASE(RestartGivesAProgramNoMoreThanItHad) {
  Victim low(OwnBin(), TestFolder("restart-token"), "tvlow", "life=60000");
  Victim same(OwnBin(), TestFolder("restart-token"), "tvsame", "life=60000");
  ImportDouble doubled("ADVAPI32.dll", "GetTokenInformation", reinterpret_cast<void*>(&TokenAsSaid));
  g_tokenInformation = doubled.Original();
  Stack s;
  std::vector<std::string> words;  // what /ask hears; the search's function answers "autoclose"
  Installer::Get().functions[41] = [&](HWND) {
    if (g_notElevated) words.push_back(s.Pop());
    s.Push(g_notElevated ? "true" : "autoclose");
    return 0;
  };
  for (const Victim* victim : {&low, &same}) {
    g_lowIntegrity = victim == &low;
    s.PushAll({"42", victim->Path()});
    Dll().Call("AddModule", &s);
    Dll().Call("SilentSearch", &s);
    CHECK_STACK(s, {"done"});
    CHECK(victim->Ended(5000));
    s.Clear();
  }
  g_lowIntegrity = false;
  g_notElevated = true;
  s.PushAll({"42", "/ask"});
  Dll().Call("RestartClosedPrograms", &s);
  g_notElevated = false;
  CHECK_STACK(s, {"1"});
  CHECK_STACK(words, {"restricted", "start"});
  CallExport("CloseProcess", {same.Name(), "/kill"});
  Installer::Get().functions.erase(41);
}
