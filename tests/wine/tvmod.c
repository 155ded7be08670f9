/* A DLL that the test victims load from a folder of its own. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance; (void)reason; (void)reserved;
  return TRUE;
}

__declspec(dllexport) int TvModMarker(void) { return 42; }

/* Copied as Quillmere64.dll beside a plug-in, it stands for a companion that never answers:
   each entry point notes its process id in tvstandin.pid (in its current folder) and waits. */
static void __stdcall NoteAndWait(void) {
  char text[16];
  DWORD written = 0;
  HANDLE file = CreateFileA("tvstandin.pid", FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
  wsprintfA(text, "%lu\n", GetCurrentProcessId());
  WriteFile(file, text, lstrlenA(text), &written, NULL);
  CloseHandle(file);
  Sleep(INFINITE);
}
__declspec(dllexport) void CALLBACK EnumSystemProcesses64(HWND w, HINSTANCE i, LPSTR c, int s) {
  (void)w; (void)i; (void)c; (void)s;
  NoteAndWait();
}
