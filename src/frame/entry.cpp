// The entry point of the plug-in's DLLs, Tarvolk.dll and Quillmere64.dll. They are linked without
// the C runtime's start-up code (-nostartfiles): for a DLL that code prepares what these never use
// (pseudo relocations for data imported from other DLLs, which their link refuses; thread-local
// storage; the runtime's locks and floating-point state) and was about 8 KB of each DLL. What
// of it they need is here: the static constructors run when a process loads the DLL, and what
// they registered with atexit (the destructors of static objects) runs when it is unloaded.
#include <windows.h>

namespace {

// The DLLs have one static object with a destructor; a few more fit.
void (*g_atExit[8])();
unsigned g_atExitCount = 0;

}  // namespace

extern "C" {

// Bracketed by the linker: the first entry is -1, a null entry ends the list.
extern void (*__CTOR_LIST__[])();

// Each DLL's own.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Where the compiler registers the destructor of each static object as its constructor ends.
// A registration that does not fit is refused; that destructor then does not run.
int __cdecl atexit(void(__cdecl* function)()) {
  if (g_atExitCount == sizeof g_atExit / sizeof g_atExit[0]) return -1;
  g_atExit[g_atExitCount++] = function;
  return 0;
}

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    // Last to first, as the runtime's start-up runs them.
    unsigned count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (; count > 0; --count) __CTOR_LIST__[count]();
  }
  BOOL result = DllMain(instance, reason, reserved);
  if (reason == DLL_PROCESS_DETACH)
    while (g_atExitCount > 0) g_atExit[--g_atExitCount]();
  return result;
}

}  // extern "C"
