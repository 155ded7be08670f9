// The search's state where a real installer cannot show it: the installer's unload notification
// arriving while an asynchronous search is still running. The real installers
// (tests/nsis/search.nsi) cover the search's answers.
#include "harness.h"

namespace {

constexpr int kAbsent = 41;  // function index of a custom target that is never present

std::vector<std::string> Call(Stack& s, const char* name, const std::vector<std::string>& pushed) {
  s.PushAll(pushed);
  Dll().Call(name, &s);
  std::vector<std::string> top = s.TopFirst();
  s.Clear();
  return top;
}

}  // namespace

TEST_CASE(UnloadEndsARunningSearch) {
  Stack s;  // the stack stays while the search thread uses it, as the installer's does
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
