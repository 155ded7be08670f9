// The installer's unload arriving while an asynchronous search still runs.
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
  // The count below is the resting state after a first search (the SCM connection stays open).
  CHECK_STACK(CallExport("AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}, &s), {});
  CHECK_STACK(CallExport("SilentSearch", {std::to_string(kAbsent + 1)}, &s), {"done"});
  installer.SendUnload();
  DWORD resting = OwnHandleCount();
  for (int i = 0; i < 60; ++i)
    CHECK_STACK(CallExport("AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}, &s), {});
  CHECK_STACK(CallExport("SilentSearch", {std::to_string(kAbsent + 1), "/async"}, &s), {"ok"});
  CHECK_STACK(CallExport("SilentWait", {"100", "/time"}, &s), {"wait"});
  int asked = installer.executeCalls;
  CHECK(asked > 0);
  installer.SendUnload();
  CHECK(installer.executeCalls < asked + 60);
  int after = installer.executeCalls;
  CHECK_STACK(CallExport("SilentPercentComplete", {}, &s), {"error"});
  CHECK_EQ(OwnHandleCount(), resting);
  Sleep(100);
  CHECK_EQ(installer.executeCalls, after);
  CHECK_STACK(CallExport("AddCustom", {std::to_string(kAbsent + 1), "detail", "label"}, &s), {});
  CHECK_STACK(CallExport("SilentSearch", {std::to_string(kAbsent + 1)}, &s), {"done"});
  CHECK_EQ(installer.executeCalls, after + 1);
  installer.functions.erase(kAbsent);
}

namespace {

// A search thread stuck in TerminateProcess (doubled to block until the case lets it go).
HANDLE g_entered = nullptr;
HANDLE g_release = nullptr;
void* g_terminate = nullptr;

BOOL WINAPI BlockedTerminate(HANDLE process, UINT code) {
  SetEvent(g_entered);
  WaitForSingleObject(g_release, 60000);
  return reinterpret_cast<decltype(&TerminateProcess)>(g_terminate)(process, code);
}

}  // namespace

// Unloaded with the search stuck past 10 s: nothing it can reach is released, the record
// included; freed, it runs no script code; a later call collects it, the program recorded once.
TEST_CASE(UnloadKeepsWhatAStuckSearchCanReach) {
  Victim deaf(OwnBin(), TestFolder("unload"), "tvdeaf",
              "class=" + Own("TvDeaf") + " caption=Deaf style=1 deaf=1 life=60000");
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
  CHECK_STACK(CallExport("AddModule", {deaf.Path()}, &s), {});
  CHECK_STACK(CallExport("SilentSearch", {std::to_string(kAbsent + 1), "/async"}, &s), {"ok"});
  for (int i = 0; i < 300 && WaitForSingleObject(g_entered, 0) != WAIT_OBJECT_0; ++i)
    CallExport("SilentWait", {"100", "/time"}, &s);
  s.Clear();
  CHECK(WaitForSingleObject(g_entered, 0) == WAIT_OBJECT_0);
  int asked = installer.executeCalls;

  {
    FreedBlocksWatch watch("");
    DWORD start = GetTickCount();
    installer.SendUnload();
    DWORD took = GetTickCount() - start;
    CHECK(took >= 9000 && took < 20000);
    CHECK_EQ(watch.freed, 0);
  }

  SetEvent(g_release);
  CHECK(deaf.Ended(10000));
  bool collected = false;
  for (int i = 0; i < 200 && !(collected = CallExport("AddModule", {deaf.Path()}, &s).empty()); ++i) Sleep(100);
  CHECK(collected);
  CHECK_EQ(installer.executeCalls, asked);
  CHECK_STACK(CallExport("RestartClosedPrograms", {std::to_string(kAbsent + 1), "/ask"}, &s), {"0"});
  CHECK_STACK(heard, {std::to_string(deaf.Id()) + " " + deaf.Path(), "start killed"});
  installer.functions.erase(kAbsent);
  CloseHandle(g_entered);
  CloseHandle(g_release);
}
