// The frame as the installer meets it: Unload, stack bounds, and the extra-parameters doubles.
#include "harness.h"

TEST_CASE(UnloadLeavesOnlySuccess) {
  Stack stack;
  stack.PushAll({"c", "b", "a"});
  Dll().Call("Unload", &stack);
  CHECK_STACK(stack, "success");

  Stack empty;
  Dll().Call("Unload", &empty);
  CHECK_STACK(empty, "success");

  // Called twice in a row: still a single entry.
  Dll().Call("Unload", &empty);
  CHECK_STACK(empty, "success");
}

TEST_CASE(NullStackTopIsHarmless) {
  // Every export tolerates an installer that hands no stack at all.
  for (const char* name : {"Unload", "Start", "Stop", "QueryStatus", "Remove", "Install"}) Dll().Call(name, nullptr);
  CHECK(true);
}

TEST_CASE(PushedTextIsBoundedByStringSize) {
  // With string_size 4 an entry holds three characters and a NUL, whatever the plug-in pushes.
  Stack stack(4);
  Dll().Call("QueryStatus", &stack);
  CHECK_STACK(stack, "err", "1");
  Stack one(1);
  one.Push("x");
  Dll().Call("Unload", &one);
  CHECK_STACK(one, "");
}

TEST_CASE(ExtraParameterDoublesWork) {
  // The doubles later exports rely on: script functions run by index, callbacks registered once.
  Installer& inst = Installer::Get();
  int ran = 0;
  inst.functions[7] = [&](HWND) { return ++ran; };
  CHECK_EQ(inst.extra.ExecuteCodeSegment(7, nullptr), 1);
  CHECK_EQ(inst.extra.ExecuteCodeSegment(8, nullptr), 1);  // unknown index: the installer's error value
  CHECK_EQ(ran, 1);
  static int unloads = 0;
  PluginCallback cb = [](int message) -> UINT_PTR {
    if (message == 0) ++unloads;
    return 0;
  };
  CHECK_EQ(inst.extra.RegisterPluginCallback(Dll().Module(), cb), 0);
  CHECK_EQ(inst.extra.RegisterPluginCallback(Dll().Module(), cb), 1);
  inst.SendUnload();
  CHECK_EQ(unloads, 1);
  inst.callbacks.clear();
  inst.functions.clear();
}
