// The search's state where a real installer cannot show it: the installer's unload notification
// arriving while an asynchronous search is still running. The real installers
// (tests/nsis/search.nsi) cover the search's answers.
#include "harness.h"

namespace {

constexpr int kAbsent = 41;  // function index of a custom target that is never present

// The stack stays while the search thread uses it, as the installer's does.
std::vector<std::string> Call(Stack& s, const char* name, const std::vector<std::string>& pushed) {
  return CallExport(name, pushed, &s);
}

}  // namespace

TEST_CASE(UnloadEndsARunningSearch) {
  Stack s;
  Installer& installer = Installer::Get();
  installer.functions[kAbsent] = [&s](HWND) {
    s.Pop();
    Sleep(20);
    s.Push("no");
    return 0;
  };
  // A first search and an unload, so that the count below is the resting state of the plug-in
  // and of the system libraries a search starts (the service manager's connection stays open).
  CHECK_STACK_VEC(Call(s, "AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}), {});
  CHECK_STACK_VEC(Call(s, "SilentSearch", {std::to_string(kAbsent + 1)}), {"done"});
  installer.SendUnload();
  DWORD resting = OwnHandleCount();
  for (int i = 0; i < 60; ++i)
    CHECK_STACK_VEC(Call(s, "AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}), {});
  CHECK_STACK_VEC(Call(s, "SilentSearch", {std::to_string(kAbsent + 1), "/async"}), {"ok"});
  CHECK_STACK_VEC(Call(s, "SilentWait", {"100", "/time"}), {"wait"});
  int asked = installer.executeCalls;
  CHECK(asked > 0);
  // Unloaded under the running search: it asks nothing more, and everything it held is closed.
  installer.SendUnload();
  CHECK(installer.executeCalls < asked + 60);
  int after = installer.executeCalls;
  CHECK_STACK_VEC(Call(s, "SilentPercentComplete", {}), {"error"});
  CHECK_EQ(OwnHandleCount(), resting);
  Sleep(100);
  CHECK_EQ(installer.executeCalls, after);
  // The next search starts afresh with its own targets.
  CHECK_STACK_VEC(Call(s, "AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}), {});
  CHECK_STACK_VEC(Call(s, "SilentSearch", {std::to_string(kAbsent + 1)}), {"done"});
  CHECK_EQ(installer.executeCalls, after + 1);
  installer.functions.erase(kAbsent);
}

namespace {

// A search thread that cannot end when the plug-in is unloaded: the thread's first system call
// (opening the service manager) is doubled to block until the case lets it go.
HANDLE g_entered = nullptr;
HANDLE g_release = nullptr;
void* g_openManager = nullptr;
void* g_globalFree = nullptr;
int g_frees = 0;

#ifdef TARVOLK_UNICODE
const char kOpenManager[] = "OpenSCManagerW";
#else
const char kOpenManager[] = "OpenSCManagerA";
#endif

SC_HANDLE WINAPI BlockedOpenManager(const TChar* machine, const TChar* database, DWORD access) {
  SetEvent(g_entered);
  WaitForSingleObject(g_release, 60000);
  using Open = SC_HANDLE(WINAPI*)(const TChar*, const TChar*, DWORD);
  return reinterpret_cast<Open>(g_openManager)(machine, database, access);
}

HGLOBAL WINAPI CountedGlobalFree(HGLOBAL block) {
  ++g_frees;
  return reinterpret_cast<HGLOBAL(WINAPI*)(HGLOBAL)>(g_globalFree)(block);
}

}  // namespace

// Unloaded while the search thread is stuck in a system call past the 10 s limit: nothing it can
// reach is released, and once it goes on it runs no script code. A later call collects it.
TEST_CASE(UnloadKeepsWhatAStuckSearchCanReach) {
  Stack s;
  Installer& installer = Installer::Get();
  installer.functions[kAbsent] = [&s](HWND) {
    s.Pop();
    s.Push("true");
    return 0;
  };
  g_entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ImportDouble blocked("ADVAPI32.dll", kOpenManager, reinterpret_cast<void*>(&BlockedOpenManager));
  g_openManager = blocked.Original();
  CHECK_STACK_VEC(Call(s, "AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}), {});
  CHECK_STACK_VEC(Call(s, "SilentSearch", {std::to_string(kAbsent + 1), "/async"}), {"ok"});
  CHECK(WaitForSingleObject(g_entered, 30000) == WAIT_OBJECT_0);
  int asked = installer.executeCalls;

  DWORD took = 0;
  {
    ImportDouble counted("KERNEL32.dll", "GlobalFree", reinterpret_cast<void*>(&CountedGlobalFree));
    g_globalFree = counted.Original();
    g_frees = 0;
    DWORD start = GetTickCount();
    installer.SendUnload();
    took = GetTickCount() - start;
  }
  CHECK(took >= 9000 && took < 20000);
  CHECK_EQ(g_frees, 0);

  SetEvent(g_release);
  bool collected = false;
  for (int i = 0; i < 200 && !collected; ++i) {
    collected = Call(s, "AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}).empty();
    if (!collected) Sleep(100);
  }
  CHECK(collected);
  CHECK_EQ(installer.executeCalls, asked);
  // The plug-in works as before: the entry is asked, and offered to the search's function.
  CHECK_STACK_VEC(Call(s, "SilentSearch", {std::to_string(kAbsent + 1)}), {"done"});
  CHECK_EQ(installer.executeCalls, asked + 2);
  installer.functions.erase(kAbsent);
  CloseHandle(g_entered);
  CloseHandle(g_release);
}
