#include "scm.h"

namespace tv {

#ifdef TARVOLK_UNICODE
SC_HANDLE OpenManagerT() { return OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }
SC_HANDLE OpenServiceT(SC_HANDLE manager, const tchar* name) {
  return OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
}
BOOL StartServiceT(SC_HANDLE service) { return StartServiceW(service, 0, nullptr); }
SC_HANDLE CreateServiceT(SC_HANDLE manager, const tchar* name, const tchar* displayName, DWORD serviceType,
                         DWORD startType, const tchar* binaryPath, const tchar* loadOrderGroup, DWORD* tagId,
                         const tchar* dependencies, const tchar* account, const tchar* password) {
  return CreateServiceW(manager, name, displayName, SERVICE_ALL_ACCESS, serviceType, startType,
                        SERVICE_ERROR_NORMAL, binaryPath, loadOrderGroup, tagId, dependencies, account, password);
}
BOOL LookupAccountNameT(const tchar* system, const tchar* account, PSID sid, DWORD* sidSize, tchar* domain,
                        DWORD* domainSize, SID_NAME_USE* use) {
  return LookupAccountNameW(system, account, sid, sidSize, domain, domainSize, use);
}
#else
SC_HANDLE OpenManagerT() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }
SC_HANDLE OpenServiceT(SC_HANDLE manager, const tchar* name) {
  return OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
}
BOOL StartServiceT(SC_HANDLE service) { return StartServiceA(service, 0, nullptr); }
SC_HANDLE CreateServiceT(SC_HANDLE manager, const tchar* name, const tchar* displayName, DWORD serviceType,
                         DWORD startType, const tchar* binaryPath, const tchar* loadOrderGroup, DWORD* tagId,
                         const tchar* dependencies, const tchar* account, const tchar* password) {
  return CreateServiceA(manager, name, displayName, SERVICE_ALL_ACCESS, serviceType, startType,
                        SERVICE_ERROR_NORMAL, binaryPath, loadOrderGroup, tagId, dependencies, account, password);
}
BOOL LookupAccountNameT(const tchar* system, const tchar* account, PSID sid, DWORD* sidSize, tchar* domain,
                        DWORD* domainSize, SID_NAME_USE* use) {
  return LookupAccountNameA(system, account, sid, sidSize, domain, domainSize, use);
}
#endif

void Report(Frame& frame, bool ok) {
  frame.clearstack();
  frame.pushword(ok ? "success" : "error");
}

void Report(Frame& frame, bool ok, std::int32_t number) {
  frame.clearstack();
  frame.pushint(number);
  frame.pushword(ok ? "success" : "error");
}

ServiceHandle OpenManager(Frame& frame) {
  ServiceHandle manager(OpenManagerT());
  if (!manager) Report(frame, false, kManagerUnavailable);
  return manager;
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

ServiceHandle OpenNamedService(Frame& frame, SC_HANDLE manager, PreludeFailure noName,
                               PreludeFailure notOpened) {
  ServiceHandle service;
  DWORD openError = 0;
  {
    Arg name(frame);
    if (!PopArg(frame, name)) {
      ReportPreludeFailure(frame, noName, 0);
      return service;
    }
    service.reset(OpenServiceT(manager, name.c_str()));
    if (!service) openError = GetLastError();
  }  // the name buffer is freed right after the call
  if (!service) ReportPreludeFailure(frame, notOpened, openError);
  return service;
}

}  // namespace tv
