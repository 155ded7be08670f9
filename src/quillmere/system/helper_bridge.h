// The bridge to the 64-bit companion Quillmere64.dll: on 64-bit Windows it lists the 64-bit
// processes and their modules, which a 32-bit process cannot read, and sends them back in blocks
// of records (helper_batch.h), one WM_COPYDATA each, to a message-only window of the calling
// thread; the answer to each block tells it whether to go on.
#pragma once
#include "quillmere/system/engine.h"

namespace tv {

// What a run of the companion came to.
struct HelperOutcome {
  bool complete;  // a companion of this version walked to its end: its last block was taken
  DWORD walked;   // processes it reported, as its latest block said
};

// Starts the system's 64-bit rundll32 with "<plug-in folder>\Quillmere64.dll",EnumSystemProcesses64
// 0x<window> <arguments> and serves its blocks until it ends; records go to the callback with
// the request's callbackArg. A missing companion, a failed start, a companion of another version
// or one that falls silent (ended after a few seconds) is no error: the outcome is then not
// complete.
HelperOutcome RunHelper64(const char* arguments, EntryCallback callback, const EnumRequest* request);

struct ProcessDetails;
// Has the companion read a 64-bit program's command line and current folder into `out`. False
// when it could not (no companion, the process gone, no answer in time).
bool HelperProcessDetails(DWORD processId, ProcessDetails* out);

// What the bridge's window does with one WM_COPYDATA: the answer to the companion, 1 to go on
// or 0 to stop. A block is refused (0, nothing handed on) when no callback is set, when it is not
// a well-formed block of this version, or when an earlier one of the run was refused or stopped;
// otherwise its records go to the callback in order until one answers 0.
LRESULT HandleHelperCopyData(const COPYDATASTRUCT* data);
// Sets the callback and request that records go to, and starts a new outcome;
// RunHelper64 sets it around a run.
void SetHelperRequest(EntryCallback callback, const EnumRequest* request);
HelperOutcome LastHelperOutcome();

}  // namespace tv
