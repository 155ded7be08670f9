// The frame as only the harness can meet it: no stack at all, and entries smaller than what the
// plug-in pushes. services.nsi covers Unload and the stack each service export leaves; the
// process and search cases use the installer's ExecuteCodeSegment and callback doubles.
#include "harness.h"

TEST_CASE(NoStackAndTinyEntries) {
  // An installer that hands no stack at all: nothing to pop or push, and nothing breaks.
  for (const char* name : {"Unload", "Start", "Stop", "QueryStatus", "Remove", "Install"}) Dll().Call(name, nullptr);
  // With string_size 4 an entry holds three characters and a NUL, whatever the plug-in pushes.
  Stack stack(4);
  Dll().Call("QueryStatus", &stack);
  CHECK_STACK(stack, "err", "1");
  Stack one(1);
  one.Push("x");
  Dll().Call("Unload", &one);
  CHECK_STACK(one, "");
}
