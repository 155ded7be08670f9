// The frame as only the harness can meet it: no stack at all, entries too small for the answer.
#include "harness.h"

TEST_CASE(NoStackAndTinyEntries) {
  for (const char* name : {"Unload", "Start", "Stop", "QueryStatus", "Remove", "Install"}) Dll().Call(name, nullptr);
  // With string_size 4 an entry holds three characters and a NUL, whatever the plug-in pushes.
  Stack stack(4);
  Dll().Call("QueryStatus", &stack);
  CHECK_STACK(stack, {"err", "1"});
  Stack one(1);
  one.Push("x");
  Dll().Call("Unload", &one);
  CHECK_STACK(one, {""});
}
