// The bridge to the 64-bit companion Quillmere64.dll: on 64-bit Windows it lists the 64-bit
// processes and their modules, which a 32-bit process cannot read, and sends them back one
// WM_COPYDATA record at a time to a message-only window of the calling thread.
#pragma once
#include "quillmere/engine.h"

namespace tv {

// Starts "rundll32.exe Quillmere64.dll,<entryPoint> 0x<window> <arguments>" from the plug-in's
// folder and serves its messages until it ends; records go to the callback with the request's
// callbackArg (no callback: records are ignored). Always true: a missing companion or a failed
// start is no error, and reports nothing.
bool RunHelper64(const char* entryPoint, const char* arguments, EntryCallback callback, const EnumRequest* request);

// The module count that the companion's "GetSystemModulesCount64" reported last.
DWORD HelperModuleCount();
void ClearHelperModuleCount();

// What the bridge's window does with one WM_COPYDATA: true with its answer when the message is
// the companion's (a record while a request is set, or the count), false when it is not.
bool HandleHelperCopyData(const COPYDATASTRUCT* data, LRESULT* answer);
// Sets the request that records go to (null callback: none); RunHelper64 sets it around a run.
void SetHelperRequest(EntryCallback callback, const EnumRequest* request);

}  // namespace tv
