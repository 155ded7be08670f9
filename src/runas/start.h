// Starting programs for the run-as exports: wide texts from the script's, the start with the
// desktop shell's token, and the ordinary start.
#pragma once
#include "frame/buffer.h"
#include "frame/owned.h"
#include "frame/plugin.h"
#include "frame/wide.h"

namespace tv {

// Starts the program with a copy of the token of the process that owns the shell window, so an
// elevated installer can start it as the desktop user's ordinary self. False when any step fails;
// nothing is shown and no error is reported.
bool StartNonElevated(const wchar_t* program, wchar_t* commandLine, const wchar_t* workingDirectory);

// A primary copy of the token of the process that owns the shell window, when the installer may
// start programs with another token; nothing otherwise (or without a shell).
KernelHandle ShellToken();

// A primary copy of the process's token, with the access a start with it needs; nothing when the
// token cannot be opened or copied.
KernelHandle PrimaryTokenOf(HANDLE process);

// Starts the program with a primary token (CreateProcessWithTokenW, looked up at run time); the
// handles are closed at once. False when any step fails.
bool StartWithToken(HANDLE token, const wchar_t* program, wchar_t* commandLine, const wchar_t* workingDirectory);

// Starts the program as the installer itself; the handles are closed at once.
bool StartOrdinary(const wchar_t* program, wchar_t* commandLine, const wchar_t* workingDirectory);

}  // namespace tv
