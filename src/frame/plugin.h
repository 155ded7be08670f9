// The installer's plug-in interface as this DLL sees it, in the width of the build:
// the ANSI build (x86-ansi) works in char, the Unicode builds (x86-unicode, amd64-unicode)
// in UTF-16 wchar_t. Exports are written once against tchar.
#pragma once
#include <windows.h>

#include "stack.h"

namespace tv {

#ifdef TARVOLK_UNICODE
using tchar = wchar_t;
#else
using tchar = char;
#endif

// The system function of the build's width: TV_AW(OpenService) is OpenServiceW in the Unicode
// builds and OpenServiceA in the ANSI build, taking tchar text either way; TV_T("text") is a
// literal of the build's width; TV_AW_NAME("OpenService") is the name to look such a function up
// by at run time.
#ifdef TARVOLK_UNICODE
#define TV_AW(name) name##W
#define TV_AW_NAME(name) name "W"
#define TV_T(text) L##text
#else
#define TV_AW(name) name##A
#define TV_AW_NAME(name) name "A"
#define TV_T(text) text
#endif

using stack_t = BasicStackEntry<tchar>;
using Frame = BasicFrame<tchar>;
using StackMark = BasicStackMark<tchar>;
using Arg = BasicArg<tchar>;
using SecretArg = BasicSecretArg<tchar>;

enum NSPIM { NSPIM_UNLOAD, NSPIM_GUIINIT };
using PluginCallback = UINT_PTR (*)(NSPIM);

// Owned by the installer; members are pointer-sized.
struct extra_parameters {
  void* exec_flags;
  int(__stdcall* ExecuteCodeSegment)(int functionIndex, HWND parent);
  void(__stdcall* validate_filename)(tchar* path);
  int(__stdcall* RegisterPluginCallback)(HMODULE module, PluginCallback callback);
};

// The instance handle that the entry point was last given.
extern HINSTANCE g_instance;

// The frame of the service, firewall and settings exports (and Unload).
Frame& SystemFrame();

// Adds a function that the installer's unload notification runs (a module releasing the state
// it keeps between calls). Called during start-up; at most a handful.
void AtUnload(void (*release)());

// Registers the plug-in's unload callback with the installer on the first call that brings an
// installer record; later calls do nothing. An installer keeps a plug-in that registered loaded
// until it ends, so that state kept between calls survives, a script function called back from
// inside an export may call the plug-in again without unloading it under the outer call, and
// the static runtime's per-load cost is paid once.
void RegisterUnloadCallback(extra_parameters* extra);

// Waits at most `milliseconds` (INFINITE: without limit) for one of the objects (none: only the
// time), serving meanwhile the messages that other threads send to the calling thread, so that a
// thread with windows never holds up their senders. WAIT_OBJECT_0 + i, WAIT_TIMEOUT or
// WAIT_FAILED.
DWORD WaitServingSent(DWORD count, const HANDLE* objects, DWORD milliseconds);

// Keeps the module loaded for the rest of the process, whatever unloads it.
void KeepModuleLoaded();

// Runs the script function at functionIndex through the installer (0 when the installer ran
// it). The module stays loaded meanwhile, whatever the function calls: where the installer
// took no unload callback, the module is pinned for the rest of the process.
int RunScriptFunction(extra_parameters* extra, int functionIndex, HWND parent);

// Pushes the texts in order, runs the script function at functionIndex on the calling thread and
// pops its answer into `answer` (when one is wanted, else null): the top entry, when the function
// left one above the script's entries that are still in place (StackMark). Whatever lies above
// those is taken off, and nothing of theirs. False when the function could not run or left no
// answer where one was wanted.
bool CallScriptFunction(Frame& frame, int functionIndex, const tchar* const* texts, std::size_t count, Arg* answer);

// Keeps the frame values of the call in the frame that `module` gives, registers the unload
// callback, then runs the export's body in that frame. Out of line, so that an export is no more
// than a call of it. The plug-in is built without C++ exceptions: every failure, a failed
// allocation included, is an answer that the body reports on the stack itself.
void RunExport(HWND hwndParent, int string_size, tchar* variables, stack_t** stacktop, extra_parameters* extra,
               Frame& (*module)(), void (*body)(Frame&));

}  // namespace tv

// Defines an exported function with the plug-in signature, exported by its plain name, whose
// body runs with `frame` bound to the frame that the function ModuleFrame returns.
#define TARVOLK_EXPORT(Name, ModuleFrame)                                                               \
  static void Name##Body(::tv::Frame& frame);                                                          \
  extern "C" __declspec(dllexport) void __cdecl Name(HWND hwndParent, int string_size,                 \
                                                     ::tv::tchar* variables, ::tv::stack_t** stacktop, \
                                                     ::tv::extra_parameters* extra) {                  \
    ::tv::RunExport(hwndParent, string_size, variables, stacktop, extra, &ModuleFrame, &Name##Body);   \
  }                                                                                                    \
  static void Name##Body(::tv::Frame& frame)
