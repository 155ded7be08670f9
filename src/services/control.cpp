// Start, Stop, QueryStatus and Remove: one request each on a service named by the script.
// Each empties the stack and leaves only its own results. The service handle is closed before
// the stack is emptied; the manager, declared first, is closed last.
#include "scm.h"

using namespace tv;

// Pushes the error code of StartService (0 on success) and the result word. Does not wait for
// the service to run; an already running service reports 1056 with "error".
TARVOLK_EXPORT(Start, SystemFrame) {
  ServiceHandle manager = OpenManager(frame);
  if (!manager) return;
  ServiceHandle service =
      OpenNamedService(frame, manager.get(), SERVICE_START, PreludeFailure::kWordOnly, PreludeFailure::kErrorCode);
  if (!service) return;
  DWORD code = 0;
  BOOL ok = StartServiceT(service.get());
  if (!ok) code = GetLastError();
  service.reset();
  Report(frame, ok != FALSE, static_cast<std::int32_t>(code));
}

// Asks the service to stop and does not wait for it. With "/wait SECONDS" before the name it
// waits up to that long until the service has stopped and, where it ran alone in its process,
// that process has ended: "success", "timeout" or "error".
TARVOLK_EXPORT(Stop, SystemFrame) {
  ServiceHandle manager = OpenManager(frame);
  if (!manager) return;
  int seconds = -1;  // no "/wait"
  if (frame.HasEntries() && TV_AW(lstrcmpi)((*frame.stacktop)->text, TV_T("/wait")) == 0) {
    frame.popint();
    seconds = frame.popint();
    if (seconds < 0) seconds = 0;
  }
  DWORD access = seconds < 0 ? SERVICE_STOP : SERVICE_STOP | SERVICE_QUERY_STATUS;
  ServiceHandle service =
      OpenNamedService(frame, manager.get(), access, PreludeFailure::kWordOnly, PreludeFailure::kWordOnly);
  if (!service) return;
  int stopped;
  if (seconds >= 0) {
    stopped = StopAndWait(service.get(), seconds < 2000000 ? static_cast<DWORD>(seconds) * 1000 : 2000000000u);
  } else {
    SERVICE_STATUS status = {};
    stopped = ControlService(service.get(), SERVICE_CONTROL_STOP, &status) ? 1 : -1;
  }
  service.reset();
  frame.clearstack();
  frame.pushword(stopped > 0 ? "success" : stopped == 0 ? "timeout" : "error");
}

// Pushes the current state (1 stopped ... 7 paused) and the result word. A service that cannot
// be found reads as stopped: "1", "error". Reading asks no more than that of the manager: it
// answers an installer without administrator rights too.
TARVOLK_EXPORT(QueryStatus, SystemFrame) {
  ServiceHandle manager = OpenManager(frame, SC_MANAGER_CONNECT);
  if (!manager) return;
  SERVICE_STATUS status = {};
  status.dwCurrentState = SERVICE_STOPPED;
  ServiceHandle service = OpenNamedService(frame, manager.get(), SERVICE_QUERY_STATUS, PreludeFailure::kStopped,
                                           PreludeFailure::kStopped);
  if (!service) return;
  BOOL ok = QueryServiceStatus(service.get(), &status);
  service.reset();
  Report(frame, ok != FALSE, static_cast<std::int32_t>(status.dwCurrentState));
}

// Marks the service for deletion; it is neither stopped first nor waited for.
TARVOLK_EXPORT(Remove, SystemFrame) {
  ServiceHandle manager = OpenManager(frame);
  if (!manager) return;
  ServiceHandle service =
      OpenNamedService(frame, manager.get(), DELETE, PreludeFailure::kWordOnly, PreludeFailure::kWordOnly);
  if (!service) return;
  BOOL ok = DeleteService(service.get());
  service.reset();
  Report(frame, ok != FALSE);
}
