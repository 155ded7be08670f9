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
