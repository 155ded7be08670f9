#include "quillmere/system/process_control.h"

#include "frame/owned.h"

namespace tv {
namespace {

bool g_debugPrivilege = false;

}  // namespace

bool EnableDebugPrivilege() {
  if (g_debugPrivilege) return true;
  KernelHandle token = OpenToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  if (!token) return false;
  TOKEN_PRIVILEGES privileges = {};
  if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return false;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) g_debugPrivilege = true;
  return g_debugPrivilege;
}

void TerminateAndWait(DWORD processId) {
  KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process) return;
  TerminateProcess(process.get(), 0xFFFFFFFFu);
  WaitForSingleObject(process.get(), 1000);
}

void CloseWindowPolitely(HWND window) {
  if (window == nullptr) return;  // a process without a main window has nothing to ask
  SetActiveWindow(window);
  DWORD_PTR ignored = 0;
  TV_AW(SendMessageTimeout)(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &ignored);
}

}  // namespace tv
