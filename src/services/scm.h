// The Service Control Manager in the width of the build, and the prelude and reporting that
// every service export shares.
#pragma once
#include "frame/owned.h"
#include "frame/plugin.h"

namespace tv {

// The local machine's active database, and a service in it, with the access given.
SC_HANDLE OpenManagerT(DWORD access);
SC_HANDLE OpenServiceT(SC_HANDLE manager, const tchar* name, DWORD access);
BOOL StartServiceT(SC_HANDLE service);
SC_HANDLE CreateServiceT(SC_HANDLE manager, const tchar* name, const tchar* displayName, DWORD serviceType,
                         DWORD startType, const tchar* binaryPath, const tchar* loadOrderGroup, DWORD* tagId,
                         const tchar* dependencies, const tchar* account, const tchar* password);

// Fixed number reported when the manager cannot be opened.
constexpr std::int32_t kManagerUnavailable = 100;
// Install's result number until a call sets it: the bit pattern 0xDEADBEAF.
constexpr std::int32_t kInstallPlaceholder = static_cast<std::int32_t>(0xDEADBEAFu);

// Empties the stack, then pushes the result word; with a number, the number goes just below it.
void Report(Frame& frame, bool ok);
void Report(Frame& frame, bool ok, std::int32_t number);

// Opens the manager with the access given (full access by default). When it cannot be opened,
// the stack is emptied and "100", "error" pushed.
ServiceHandle OpenManager(Frame& frame, DWORD access = SC_MANAGER_ALL_ACCESS);

// What a service export pushes below "error" when its prelude fails.
enum class PreludeFailure {
  kWordOnly,    // nothing but "error"
  kStopped,     // "1": the state a missing service reads as
  kErrorCode,   // the error code of the failed call
};

// Pops the service name and opens the service with only the access that the export's request
// needs: a service whose access list refuses more (a security product's) still answers. When the
// name is missing or the service cannot be opened, the stack is emptied, the export's failure
// result pushed, and an empty handle returned. The manager stays open for the caller to close
// last.
ServiceHandle OpenNamedService(Frame& frame, SC_HANDLE manager, DWORD access, PreludeFailure noName,
                               PreludeFailure notOpened);

// Asks the service to stop (one that stops already is not asked again) and waits, at most
// limitMs, until it reports stopped and, where it ran alone in its process, that process has
// ended too: only then are the files it held free. The handle needs SERVICE_STOP and
// SERVICE_QUERY_STATUS. 1: stopped in time (also a service that was stopped already), 0: not in
// time, -1: its status could not be read or the request was refused. The wait serves the
// messages sent to the calling thread.
int StopAndWait(SC_HANDLE service, DWORD limitMs);

}  // namespace tv
