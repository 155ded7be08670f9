// How a running program was started: its executable, its command line and its current folder,
// read from the process itself, so that it can be started again the same way once setup is done.
#pragma once
#include "frame/buffer.h"
#include "frame/plugin.h"

namespace tv {

struct ProcessDetails {
  BasicText<wchar_t> image;        // the executable's path; empty when it could not be read
  BasicText<wchar_t> commandLine;  // empty when it could not be read
  BasicText<wchar_t> folder;       // the current folder, as GetCurrentDirectory gives it; empty
                                   // when it could not be read
  FILETIME started = {};           // with the id, names this very process
  DWORD parentId = 0;              // the process that started it (which may have ended since)
};

// Reads what the process was started with. False when the process cannot be opened; a part that
// cannot be read stays empty. A 32-bit plug-in reads 64-bit programs through the companion.
bool ReadProcessDetails(DWORD processId, ProcessDetails* out);

// Reads only where the process came from: its executable, its start and its parent; the command
// line and the folder stay empty. False when the process cannot be opened.
bool ReadProcessOrigin(DWORD processId, ProcessDetails* out);

// True while the process that started at `started` still runs under this id.
bool ProcessStillRuns(DWORD processId, const FILETIME& started);
// When the process under this id started (also once it has ended, while it can be opened).
bool ProcessStartTime(DWORD processId, FILETIME* started);
// The id of the process that started this one; 0 when it cannot be read.
DWORD ParentProcessId(HANDLE process);

// The parameters block of a process, as its own width lays it out: where the command line and
// the current folder stand. Read by ReadProcessDetails; the companion reads 64-bit processes
// for the 32-bit plug-in with the same code.
bool ReadProcessParameters(HANDLE process, ProcessDetails* out);

}  // namespace tv
