// Process operations that the process tools, the search and the page's closing of programs
// share: the debug privilege, terminating a process, asking a window to close.
#pragma once
#include "frame/plugin.h"

namespace tv {

// Enables SeDebugPrivilege for the installer's process once; a failure is tried again next time.
bool EnableDebugPrivilege();
// Terminates the process (exit code 0xFFFFFFFF) and waits at most 1 s for it to end.
void TerminateAndWait(DWORD processId);
// Asks the window to close (WM_CLOSE, at most 1 s for the window to answer).
void CloseWindowPolitely(HWND window);

}  // namespace tv
