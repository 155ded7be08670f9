// The process engine under every search of the Quillmere module: walks of the running
// processes (with their modules), the visible top-level windows and the bare process ids, each
// item handed to a callback as one ProcessEntry, and what is shown for a process (its image
// path, its main window and caption, its file description). Nothing is kept between passes; a
// pass reports as it goes, so a callback can stop it at any item.
#pragma once
#include "frame/plugin.h"

namespace tv {

constexpr DWORD kPathChars = MAX_PATH;  // 260, terminator included

struct ProcessEntry {
  DWORD processId;
  tchar itemPath[kPathChars];     // image path, module path or open file, by pass
  tchar displayName[kPathChars];  // caption, file description, or "Process ID: <id>"
  HWND window;
  tchar imagePath[kPathChars];    // path of the executable: drive-letter form where a drive maps
                                  // its device, else the device path; empty when unreadable
  DWORD position;                 // item being looked at, for progress
  DWORD total;                    // items in the pass
};

// Nonzero to go on, 0 to stop the pass.
using EntryCallback = int (*)(const ProcessEntry* entry, void* callbackArg);

struct EnumRequest {
  void* callbackArg;  // handed unchanged to every callback call
  int findWindow;     // look up each process's main window (and take its caption)
};

// Resolves the run-time entry points once and clears SearchCancelEvent. False when a required
// one is missing: the passes then report nothing and the counters give 0.
bool InitProcessApi();
// Stops a running pass at its next poll; called from another thread than the pass.
void CancelSearch();
// The auto-reset event that passes poll; null before the first InitProcessApi.
HANDLE SearchCancelEvent();
// Closes the event (when the plug-in is unloaded); the next InitProcessApi creates it again.
void ReleaseSearchCancelEvent();

// Which processes EnumProcessEntries takes, by what IsWow64Process says of each: all of them,
// only those that are not WOW64 processes (on 64-bit Windows: the 64-bit ones), or only WOW64
// ones. A process whose width cannot be read is left out by the last two.
enum class ProcessWidth { all, notWow64, wow64 };

// True when the pass ran to its end; false when the callback returned 0 or the search was
// cancelled. A process and its modules carry as position the number of processes the pass has
// reported so far, this one included (those it skipped or could not open not counted), and as
// total the length of the system's process list.
bool EnumProcessEntries(EntryCallback callback, const EnumRequest* request, bool withModules,
                        ProcessWidth width = ProcessWidth::all);
bool EnumProcessIds(int (*callback)(DWORD processId, void* value), void* value);
bool EnumWindowEntries(EntryCallback callback, const EnumRequest* request);
DWORD CountProcesses();
DWORD CountVisibleWindows();

bool IsWow64();
// The idle and system processes, which every search ignores.
bool IsSystemProcessId(DWORD processId);

void FillImagePath(ProcessEntry* entry);
void FillDisplayName(ProcessEntry* entry, bool findWindow);
// The FileDescription of the file's first translation, cut to 258 characters.
bool GetFileDescription(const tchar* path, tchar* out);
// \Device\HarddiskVolume3\x (or Wine's \??\C:\x) to C:\x; out may be the input, kPathChars long.
bool DevicePathToDosPath(const tchar* devicePath, tchar* out);

// Turns WOW64 file-system redirection off on the calling thread while it lives, where the system
// has redirection, and puts back what the thread had when it ends: a 64-bit program's files under
// System32 are read as they are, and the caller's thread is left as it was. Nested guards
// restore in turn. Needs InitProcessApi first.
class FsRedirectionOff {
 public:
  FsRedirectionOff();
  ~FsRedirectionOff();
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

 private:
  void* previous_ = nullptr;
  bool off_ = false;
};

// Entry points resolved at run time; null where the system lacks one.
struct ProcessApi {
  LONG(WINAPI* NtQuerySystemInformation)(ULONG infoClass, void* buffer, ULONG size, ULONG* returned);
  LONG(WINAPI* NtQueryObject)(HANDLE handle, ULONG infoClass, void* buffer, ULONG size, ULONG* returned);
  LONG(WINAPI* NtQueryVolumeInformationFile)(HANDLE file, void* ioStatus, void* buffer, ULONG size, ULONG infoClass);
  BOOL(WINAPI* QueryFullProcessImageName)(HANDLE process, DWORD flags, tchar* name, DWORD* size);
  BOOL(WINAPI* Wow64DisableWow64FsRedirection)(void** oldValue);
  BOOL(WINAPI* Wow64RevertWow64FsRedirection)(void* oldValue);
  BOOL(WINAPI* IsWow64Process)(HANDLE process, BOOL* wow64);
  BOOL(WINAPI* EnumProcesses)(DWORD* ids, DWORD size, DWORD* returned);
  BOOL(WINAPI* EnumProcessModules)(HANDLE process, HMODULE* modules, DWORD size, DWORD* returned);
  BOOL(WINAPI* EnumProcessModulesEx)(HANDLE process, HMODULE* modules, DWORD size, DWORD* returned, DWORD filter);
  DWORD(WINAPI* GetModuleFileNameEx)(HANDLE process, HMODULE module, tchar* name, DWORD size);
  DWORD(WINAPI* GetProcessImageFileName)(HANDLE process, tchar* name, DWORD size);
};
const ProcessApi& Api();

// How InitProcessApi finds an entry point in a loaded module: GetProcAddress, unless another
// look-up is set (a test's, standing for a system that lacks an entry point). Setting one, or
// null for GetProcAddress again, forgets what was resolved, so the next InitProcessApi resolves
// every entry point through it.
using EntryLookup = FARPROC(WINAPI*)(HMODULE module, const char* name);
void SetEntryLookup(EntryLookup lookup);

}  // namespace tv
