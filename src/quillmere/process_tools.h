// Process operations that the process tool exports share with the search and its closing of
// programs.
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
