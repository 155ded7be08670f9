// The search's state where a real installer cannot show it: the installer's unload notification
// arriving while an asynchronous search is still running. The real installers
// (tests/nsis/search.nsi) cover the search's answers.
#include "harness.h"
#include "victims.h"

static constexpr int kAbsent = 41;  // function index of a custom target that is never present

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
  CHECK_STACK_VEC(CallExport("AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}, &s), {});
  CHECK_STACK_VEC(CallExport("SilentSearch", {std::to_string(kAbsent + 1)}, &s), {"done"});
  installer.SendUnload();
  DWORD resting = OwnHandleCount();
  for (int i = 0; i < 60; ++i)
    CHECK_STACK_VEC(CallExport("AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}, &s), {});
  CHECK_STACK_VEC(CallExport("SilentSearch", {std::to_string(kAbsent + 1), "/async"}, &s), {"ok"});
  CHECK_STACK_VEC(CallExport("SilentWait", {"100", "/time"}, &s), {"wait"});
  int asked = installer.executeCalls;
  CHECK(asked > 0);
  // Unloaded under the running search: it asks nothing more, and everything it held is closed.
  installer.SendUnload();
  CHECK(installer.executeCalls < asked + 60);
  int after = installer.executeCalls;
  CHECK_STACK_VEC(CallExport("SilentPercentComplete", {}, &s), {"error"});
  CHECK_EQ(OwnHandleCount(), resting);
  Sleep(100);
  CHECK_EQ(installer.executeCalls, after);
  // The next search starts afresh with its own targets.
  CHECK_STACK_VEC(CallExport("AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}, &s), {});
  CHECK_STACK_VEC(CallExport("SilentSearch", {std::to_string(kAbsent + 1)}, &s), {"done"});
  CHECK_EQ(installer.executeCalls, after + 1);
  installer.functions.erase(kAbsent);
}

namespace {

// A search thread that cannot end when the plug-in is unloaded: it is terminating a program that
// ignored WM_CLOSE for the search's "autoclose", and the DLL's TerminateProcess is doubled to
// block until the case lets it go.
HANDLE g_entered = nullptr;
HANDLE g_release = nullptr;
void* g_terminate = nullptr;

BOOL WINAPI BlockedTerminate(HANDLE process, UINT code) {
  SetEvent(g_entered);
  WaitForSingleObject(g_release, 60000);
  return reinterpret_cast<decltype(&TerminateProcess)>(g_terminate)(process, code);
}

}  // namespace

// Unloaded while the search thread is stuck past the 10 s limit, with the program it closes
// already in the record: nothing it can reach is released (the record included), and once it goes
// on it runs no script code. A later call collects it; the record holds the program once.
TEST_CASE(UnloadKeepsWhatAStuckSearchCanReach) {
  Victim deaf(OwnBin(), "tvvictim.exe", TestFolder("unload"), "tvdeaf",
              "class=" + Own("TvDeaf") + " caption=Deaf style=1 deaf=1 life=60000");
  CHECK(deaf.Started());
  Stack s;
  Installer& installer = Installer::Get();
  std::vector<std::string> heard;  // the two entries on top of each call of the function
  installer.functions[kAbsent] = [&](HWND) {
    std::string top = s.Pop();
    heard.push_back(top + " " + s.Pop());
    s.Push(heard.size() == 1 ? "autoclose" : "no");
    return 0;
  };
  g_entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ImportDouble blocked("KERNEL32.dll", "TerminateProcess", reinterpret_cast<void*>(&BlockedTerminate));
  g_terminate = blocked.Original();
  CHECK_STACK_VEC(CallExport("AddModule", {deaf.Path()}, &s), {});
  CHECK_STACK_VEC(CallExport("SilentSearch", {std::to_string(kAbsent + 1), "/async"}, &s), {"ok"});
  for (int i = 0; i < 300 && WaitForSingleObject(g_entered, 0) != WAIT_OBJECT_0; ++i)
    CallExport("SilentWait", {"100", "/time"}, &s);
  s.Clear();
  CHECK(WaitForSingleObject(g_entered, 0) == WAIT_OBJECT_0);
  int asked = installer.executeCalls;

  DWORD took = 0;
  {
    FreedBlocksWatch watch("");
    DWORD start = GetTickCount();
    installer.SendUnload();
    took = GetTickCount() - start;
    CHECK_EQ(watch.Freed(), 0);
  }
  CHECK(took >= 9000 && took < 20000);

  SetEvent(g_release);
  CHECK(deaf.Ended(10000));
  bool collected = false;
  for (int i = 0; i < 200 && !collected; ++i) {
    collected = CallExport("AddModule", {deaf.Path()}, &s).empty();
    if (!collected) Sleep(100);
  }
  CHECK(collected);
  CHECK_EQ(installer.executeCalls, asked);
  // The plug-in works as before; the program's one entry says what finally became of it.
  CHECK_STACK_VEC(CallExport("RestartClosedPrograms", {std::to_string(kAbsent + 1), "/ask"}, &s), {"0"});
  CHECK_STACK_VEC(heard, {std::to_string(deaf.Id()) + " " + deaf.Path(), "start killed"});
  installer.functions.erase(kAbsent);
  CloseHandle(g_entered);
  CloseHandle(g_release);
}
