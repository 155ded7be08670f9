/* A test program for the start exports: writes its whole command line and its current directory,
   one a line in UTF-8, to tvcmdline.txt in its current directory, then ends. */
#include <windows.h>

static void WriteLine(HANDLE file, const wchar_t* text) {
  char utf8[8192];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), NULL, NULL);
  DWORD written;
  if (n > 0) WriteFile(file, utf8, (DWORD)(n - 1), &written, NULL);
  WriteFile(file, "\r\n", 2, &written, NULL);
}

int main(void) {
  wchar_t directory[MAX_PATH + 1];
  GetCurrentDirectoryW(MAX_PATH, directory);
  /* Written under another name first, so a reader never sees half a file. */
  HANDLE file = CreateFileW(L"tvcmdline.tmp", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  WriteLine(file, GetCommandLineW());
  WriteLine(file, directory);
  CloseHandle(file);
  return MoveFileExW(L"tvcmdline.tmp", L"tvcmdline.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
