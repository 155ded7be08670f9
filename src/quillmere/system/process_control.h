// Process operations that the process tools, the search and the page's closing of programs
// share: the debug privilege, terminating a process, asking a window to close, and the one guard
// that every way of ending a program passes.
#pragma once
#include "frame/plugin.h"
#include "quillmere/system/process_details.h"

namespace tv {

// Enables SeDebugPrivilege for the installer's process once; a failure is tried again next time.
bool EnableDebugPrivilege();

// Whether the plug-in may end the process at all (ask it to close, stop its service, terminate
// it): never the installer's own process, nor, when the installer is an uninstaller's temporary
// copy (its command line carries "_?="), the uninstaller that started it.
bool MayEndProcess(DWORD processId);
// Whether the plug-in may terminate the process: MayEndProcess, and it hosts no service, other
// than `stoppedService` (the program's own service, just stopped; null: none), that has not
// stopped, when that service shares the process or a service was stopped first. A shared host
// (svchost) that still runs other services is never terminated.
bool MayTerminate(DWORD processId, const tchar* stoppedService);

// Terminates the process (exit code 0xFFFFFFFF) and waits at most 1 s for it to end; false
// without trying when MayTerminate refuses.
bool TerminateAndWait(DWORD processId, const tchar* stoppedService = nullptr);
// Asks the window to close (WM_CLOSE, at most 1 s for the window to answer); false without
// asking when MayEndProcess refuses its process, or for no window.
bool CloseWindowPolitely(HWND window);

// A helper process of an application (as a browser or an Electron program runs its renderers):
// started by the process that `parent` describes, running as parentId (one that began no later
// than the child, so that a later process that took the id does not count), from the same
// executable.
bool IsHelperProcess(const ProcessDetails& child, DWORD parentId, const ProcessDetails& parent);
// The process of the application that the process is a piece of: its parent, and that one's, as
// long as each is a helper process of the next; the process itself when it is none, and always
// for the installer's own process.
DWORD ApplicationRoot(DWORD processId);

}  // namespace tv
