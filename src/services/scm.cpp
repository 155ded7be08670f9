#include "scm.h"

namespace tv {

SC_HANDLE OpenManagerT(DWORD access) { return TV_AW(OpenSCManager)(nullptr, nullptr, access); }
SC_HANDLE OpenServiceT(SC_HANDLE manager, const tchar* name, DWORD access) {
  return TV_AW(OpenService)(manager, name, access);
}
BOOL StartServiceT(SC_HANDLE service) { return TV_AW(StartService)(service, 0, nullptr); }
SC_HANDLE CreateServiceT(SC_HANDLE manager, const tchar* name, const tchar* displayName, DWORD serviceType,
                         DWORD startType, const tchar* binaryPath, const tchar* loadOrderGroup, DWORD* tagId,
                         const tchar* dependencies, const tchar* account, const tchar* password) {
  return TV_AW(CreateService)(manager, name, displayName, SERVICE_ALL_ACCESS, serviceType, startType,
                              SERVICE_ERROR_NORMAL, binaryPath, loadOrderGroup, tagId, dependencies, account,
                              password);
}

void Report(Frame& frame, bool ok) {
  frame.clearstack();
  frame.pushword(ok ? "success" : "error");
}

void Report(Frame& frame, bool ok, std::int32_t number) {
  frame.clearstack();
  frame.pushint(number);
  frame.pushword(ok ? "success" : "error");
}

ServiceHandle OpenManager(Frame& frame, DWORD access) {
  ServiceHandle manager(OpenManagerT(access));
  if (!manager) Report(frame, false, kManagerUnavailable);
  return manager;
}

namespace {

bool QueryProcessStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status), sizeof(*status),
                              &needed) != FALSE;
}

}  // namespace

int StopAndWait(SC_HANDLE service, DWORD limitMs) {
  SERVICE_STATUS_PROCESS status = {};
  if (!QueryProcessStatus(service, &status)) return -1;
  if (status.dwCurrentState == SERVICE_STOPPED) return 1;
  // Its process, when it serves no other service: once stopped, the service may still hold its
  // files until that process has ended.
  KernelHandle process;
  if ((status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) == 0 && status.dwProcessId != 0)
    process.reset(OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
  SERVICE_STATUS answer;
  if (status.dwCurrentState != SERVICE_STOP_PENDING && !ControlService(service, SERVICE_CONTROL_STOP, &answer))
    return -1;
  const DWORD start = GetTickCount();
  HANDLE objects[1] = {process.get()};
  for (;;) {
    // A service whose status can no longer be read counts as stopped.
    bool stopped = !QueryProcessStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED;
    if (stopped && (!process || WaitForSingleObject(objects[0], 0) == WAIT_OBJECT_0)) return 1;
    DWORD passed = GetTickCount() - start;
    if (passed >= limitMs) return 0;
    // Asked again every 50 ms until it reports stopped; after that, its process's end ends the
    // wait.
    DWORD left = limitMs - passed;
    WaitServingSent(process ? 1 : 0, objects, stopped || left < 50 ? left : 50);
  }
}

namespace {

void ReportPreludeFailure(Frame& frame, PreludeFailure failure, DWORD errorCode) {
  switch (failure) {
    case PreludeFailure::kWordOnly:
      Report(frame, false);
      break;
    case PreludeFailure::kStopped:
      Report(frame, false, SERVICE_STOPPED);
      break;
    case PreludeFailure::kErrorCode:
      Report(frame, false, static_cast<std::int32_t>(errorCode));
      break;
  }
}

}  // namespace

ServiceHandle OpenNamedService(Frame& frame, SC_HANDLE manager, DWORD access, PreludeFailure noName,
                               PreludeFailure notOpened) {
  ServiceHandle service;
  DWORD openError = 0;
  {
    Arg name(frame);
    if (!PopArg(frame, name)) {
      ReportPreludeFailure(frame, noName, 0);
      return service;
    }
    service.reset(OpenServiceT(manager, name.c_str(), access));
    if (!service) openError = GetLastError();
  }  // the name buffer is freed right after the call
  if (!service) ReportPreludeFailure(frame, notOpened, openError);
  return service;
}

}  // namespace tv
