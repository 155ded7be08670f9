/* A DLL that the test victims load from a folder of its own. */
#include <windows.h>

/* Copied as Quillmere64.dll beside a plug-in, a companion that never answers: it notes its
   process id in tvstandin.pid, in its current folder, and waits. */
__declspec(dllexport) void CALLBACK EnumSystemProcesses64(HWND w, HINSTANCE i, LPSTR c, int s) {
  char text[16];
  DWORD written = 0;
  HANDLE file = CreateFileA("tvstandin.pid", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  (void)w; (void)i; (void)c; (void)s;
  WriteFile(file, text, (DWORD)wsprintfA(text, "%lu", GetCurrentProcessId()), &written, NULL);
  CloseHandle(file);
  Sleep(INFINITE);
}
