/* A DLL that the test victims load from a folder of its own. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance; (void)reason; (void)reserved;
  return TRUE;
}

__declspec(dllexport) int TvModMarker(void) { return 42; }
