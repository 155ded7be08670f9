#include "quillmere/system/process_control.h"

#include "frame/owned.h"
#include "quillmere/system/process_details.h"
#include "quillmere/system/service_list.h"
#include "quillmere/system/width.h"

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

bool MayEndProcess(DWORD processId) {
  if (processId == GetCurrentProcessId()) return false;
  // An uninstaller runs as a temporary copy of itself, started with "_?=" and the folder it
  // removes; the uninstaller that started it may still wait for it.
  const wchar_t* line = GetCommandLineW();
  bool copy = false;
  for (const wchar_t* c = line; c != nullptr && *c != 0 && !copy; ++c) copy = c[0] == L'_' && c[1] == L'?' && c[2] == L'=';
  if (!copy) return true;
  FILETIME started = {}, parentStarted = {};
  if (processId != ParentProcessId(GetCurrentProcess()) || !ProcessStartTime(GetCurrentProcessId(), &started))
    return true;
  // The id names that uninstaller only when its process began before ours (not a later process
  // that took the id); one whose start cannot be read is left alone.
  return ProcessStartTime(processId, &parentStarted) && CompareFileTime(&parentStarted, &started) > 0;
}

bool MayTerminate(DWORD processId, const tchar* stoppedService) {
  if (!MayEndProcess(processId)) return false;
  ServiceList services(nullptr, nullptr, nullptr);
  for (int i = 0; i < services.Count(); ++i) {
    const ServiceEntry& service = services.At(i);
    const SERVICE_STATUS_PROCESS& status = service.ServiceStatusProcess;
    if (status.dwProcessId != processId || status.dwCurrentState == SERVICE_STOPPED ||
        (stoppedService != nullptr && TextCompareNoCase(service.lpServiceName, stoppedService) == 0))
      continue;
    if (stoppedService != nullptr || (status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0) return false;
  }
  return true;
}

bool TerminateAndWait(DWORD processId, const tchar* stoppedService) {
  if (!MayTerminate(processId, stoppedService)) return false;
  KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process) return true;
  TerminateProcess(process.get(), 0xFFFFFFFFu);
  WaitForSingleObject(process.get(), 1000);
  return true;
}

bool IsHelperProcess(const ProcessDetails& child, DWORD parentId, const ProcessDetails& parent) {
  return parentId != 0 && child.parentId == parentId && !child.image.empty() &&
         CompareFileTime(&parent.started, &child.started) <= 0 &&
         lstrcmpiW(parent.image.c_str(), child.image.c_str()) == 0;
}

DWORD ApplicationRoot(DWORD processId) {
  ProcessDetails origins[2];
  ProcessDetails* child = &origins[0];
  if (!ReadProcessOrigin(processId, child)) return processId;
  // The installer's own process is no piece of another (an installer that started itself
  // elevated is not closed through the copy that waits for it).
  for (int depth = 0; depth < 8 && processId != GetCurrentProcessId(); ++depth) {
    ProcessDetails* parent = child == &origins[0] ? &origins[1] : &origins[0];
    DWORD parentId = child->parentId;
    if (!ReadProcessOrigin(parentId, parent) || !IsHelperProcess(*child, parentId, *parent)) break;
    processId = parentId;
    child = parent;
  }
  return processId;
}

bool CloseWindowPolitely(HWND window) {
  DWORD processId = 0;
  if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0 || !MayEndProcess(processId))
    return false;
  SetActiveWindow(window);
  DWORD_PTR ignored = 0;
  TV_AW(SendMessageTimeout)(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &ignored);
  return true;
}

}  // namespace tv
