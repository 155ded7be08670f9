// The bare module loop of bench/search: a 64-bit program, without any of the plug-in's code,
// that opens every process, lists its modules (EnumProcessModulesEx, GetModuleFileNameExW) and
// compares each path with the target by a lower-case prefix. What a module search cannot be
// faster than. Argument: the target path. Exit code: the number of processes holding it.
#include <windows.h>
#include <psapi.h>

#include <cwchar>

int main(int argc, char** argv) {
  if (argc < 2) return -1;
  wchar_t target[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, 0, argv[1], -1, target, MAX_PATH) == 0) return -1;
  CharLowerW(target);
  const std::size_t targetLength = std::wcslen(target);
  static DWORD ids[4096];
  DWORD bytes = 0;
  if (!EnumProcesses(ids, sizeof ids, &bytes)) return -1;
  int holders = 0;
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    if (process == nullptr) continue;
    static HMODULE modules[1024];
    DWORD needed = 0;
    bool holds = false;
    if (EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) {
      DWORD count = needed / sizeof(HMODULE);
      if (count > 1024) count = 1024;
      for (DWORD m = 0; m < count; ++m) {
        wchar_t path[MAX_PATH];
        if (GetModuleFileNameExW(process, modules[m], path, MAX_PATH) == 0) continue;
        CharLowerW(path);
        holds = holds || std::wcsncmp(path, target, targetLength) == 0;
      }
    }
    holders += holds;
    CloseHandle(process);
  }
  return holders;
}
