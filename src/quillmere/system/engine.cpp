#include "quillmere/system/engine.h"

#include "frame/owned.h"
#include "quillmere/system/path_text.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

constexpr DWORD kListSlots = 512;  // process ids and module handles per list; never grown
constexpr DWORD kListModulesAll = 3;  // 32-bit and 64-bit modules alike

ProcessApi g_api = {};
bool g_isWindows2000 = false;
HANDLE g_cancelEvent = nullptr;
EntryLookup g_lookup = nullptr;  // null: GetProcAddress

FARPROC EntryPoint(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return g_lookup ? g_lookup(module, name) : GetProcAddress(module, name);
}

template <class F>
void Resolve(HMODULE module, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(EntryPoint(module, name)));
}

bool RequiredPresent() {
  return g_api.NtQuerySystemInformation && g_api.NtQueryObject && g_api.NtQueryVolumeInformationFile &&
         g_api.EnumProcesses && g_api.EnumProcessModules && g_api.GetModuleFileNameEx;
}

// A zeroed GlobalAlloc list of kListSlots words.
template <class T>
T* NewList(GlobalBlock& block) {
  block.reset(GlobalAlloc(GPTR, kListSlots * sizeof(T)));
  return static_cast<T*>(static_cast<void*>(block.get()));
}

// The ids the system lists, at most kListSlots; 0 when the list cannot be read.
DWORD ReadProcessIds(GlobalBlock& block, DWORD** ids) {
  *ids = NewList<DWORD>(block);
  DWORD bytes = 0;
  if (*ids == nullptr || !g_api.EnumProcesses(*ids, kListSlots * sizeof(DWORD), &bytes)) return 0;
  DWORD count = bytes / sizeof(DWORD);
  return count < kListSlots ? count : kListSlots;
}

bool Cancelled() { return g_cancelEvent && WaitForSingleObject(g_cancelEvent, 0) == WAIT_OBJECT_0; }

// Reads the image path of an open process through the first entry point the system has.
void ReadImagePath(HANDLE process, tchar* out) {
  out[0] = 0;
  if (g_api.QueryFullProcessImageName) {
    DWORD size = kPathChars;
    if (!g_api.QueryFullProcessImageName(process, 0, out, &size)) out[0] = 0;
  } else if (g_api.GetProcessImageFileName) {
    // A device that no drive letter stands for (a share, a volume mounted on a folder) keeps its
    // device path: it still ends in the program's file name, which is what callers match.
    if (g_api.GetProcessImageFileName(process, out, kPathChars))
      DevicePathToDosPath(out, out);
    else
      out[0] = 0;
  } else if (g_api.GetModuleFileNameEx) {
    if (!g_api.GetModuleFileNameEx(process, nullptr, out, kPathChars)) out[0] = 0;
  }
  out[kPathChars - 1] = 0;
}

DWORD OpenAccess() { return PROCESS_QUERY_INFORMATION | (g_isWindows2000 ? PROCESS_VM_READ : 0); }

// Reports the modules of one process other than its image; false when the pass is to stop.
bool ReportModules(ProcessEntry* entry, EntryCallback callback, const EnumRequest* request) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry->processId));
  if (!process) return true;
  GlobalBlock block;
  HMODULE* modules = NewList<HMODULE>(block);
  if (modules == nullptr) return true;
  DWORD bytes = 0;
  const DWORD size = kListSlots * sizeof(HMODULE);
  bool listed = g_api.EnumProcessModulesEx &&
                g_api.EnumProcessModulesEx(process.get(), modules, size, &bytes, kListModulesAll);
  if (!listed) listed = g_api.EnumProcessModules(process.get(), modules, size, &bytes) != FALSE;
  if (!listed) return true;
  DWORD count = bytes / sizeof(HMODULE);
  if (count > kListSlots) count = kListSlots;
  for (DWORD m = 0; m < count; ++m) {
    entry->itemPath[0] = 0;
    if (g_api.GetModuleFileNameEx(process.get(), modules[m], entry->itemPath, kPathChars) &&
        !SameText(entry->itemPath, entry->imagePath)) {
      entry->itemPath[kPathChars - 1] = 0;
      if (!callback(entry, request->callbackArg)) return false;
    }
    if (Cancelled()) return false;
  }
  return true;
}

struct WindowWalk {
  DWORD count;
  DWORD nextPosition;
  const EnumRequest* request;
  EntryCallback callback;
  ProcessEntry entry;
};

bool IsVisible(HWND window) { return (TV_AW(GetWindowLongPtr)(window, GWL_STYLE) & WS_VISIBLE) != 0; }

BOOL CALLBACK CountVisible(HWND window, LPARAM counter) {
  if (IsVisible(window)) ++*reinterpret_cast<DWORD*>(counter);
  return TRUE;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM state) {
  auto* walk = reinterpret_cast<WindowWalk*>(state);
  if (!IsVisible(window)) return TRUE;
  ProcessEntry& entry = walk->entry;
  entry.position = walk->nextPosition++;
  entry.displayName[0] = 0;
  if (GetWindowTextT(window, entry.displayName, kPathChars) <= 0 || entry.displayName[0] == 0) return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  entry.processId = processId;
  FillImagePath(&entry);
  if (!walk->request->findWindow) GetFileDescription(entry.imagePath, entry.displayName);
  entry.total = walk->count;
  entry.window = window;
  return walk->callback(&entry, walk->request->callbackArg) ? TRUE : FALSE;
}

struct MainWindowSearch {
  DWORD processId;
  ProcessEntry* entry;
};

BOOL CALLBACK TakeMainWindow(HWND window, LPARAM state) {
  auto* search = reinterpret_cast<MainWindowSearch*>(state);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  LONG_PTR style = TV_AW(GetWindowLongPtr)(window, GWL_STYLE);
  if (!(style & WS_VISIBLE) || !(style & WS_CAPTION) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  search->entry->window = window;
  search->entry->displayName[0] = 0;
  GetWindowTextT(window, search->entry->displayName, kPathChars);
  return search->entry->displayName[0] == 0 ? TRUE : FALSE;
}

}  // namespace

const ProcessApi& Api() { return g_api; }

void SetEntryLookup(EntryLookup lookup) {
  g_lookup = lookup;
  g_api = {};
}

HANDLE SearchCancelEvent() { return g_cancelEvent; }

void ReleaseSearchCancelEvent() {
  if (g_cancelEvent) CloseHandle(g_cancelEvent);
  g_cancelEvent = nullptr;
}

bool InitProcessApi() {
  if (g_cancelEvent == nullptr)
    g_cancelEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  else
    ResetEvent(g_cancelEvent);
  if (RequiredPresent()) return true;

  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  HMODULE psapi = TV_AW(LoadLibrary)(TV_T("psapi.dll"));  // kept loaded for the life of the process
  Resolve(ntdll, "NtQuerySystemInformation", &g_api.NtQuerySystemInformation);
  Resolve(ntdll, "NtQueryObject", &g_api.NtQueryObject);
  Resolve(ntdll, "NtQueryVolumeInformationFile", &g_api.NtQueryVolumeInformationFile);
  Resolve(kernel, TV_AW_NAME("QueryFullProcessImageName"), &g_api.QueryFullProcessImageName);
  Resolve(kernel, "Wow64DisableWow64FsRedirection", &g_api.Wow64DisableWow64FsRedirection);
  Resolve(kernel, "Wow64RevertWow64FsRedirection", &g_api.Wow64RevertWow64FsRedirection);
  Resolve(kernel, "IsWow64Process", &g_api.IsWow64Process);
  Resolve(psapi, "EnumProcesses", &g_api.EnumProcesses);
  Resolve(psapi, "EnumProcessModules", &g_api.EnumProcessModules);
  Resolve(psapi, "EnumProcessModulesEx", &g_api.EnumProcessModulesEx);
  Resolve(psapi, TV_AW_NAME("GetModuleFileNameEx"), &g_api.GetModuleFileNameEx);
  Resolve(psapi, TV_AW_NAME("GetProcessImageFileName"), &g_api.GetProcessImageFileName);
  DWORD version = GetVersion();
  g_isWindows2000 = LOBYTE(LOWORD(version)) == 5 && HIBYTE(LOWORD(version)) == 0;
  return RequiredPresent();
}

void CancelSearch() {
  if (g_cancelEvent) SetEvent(g_cancelEvent);
}

FsRedirectionOff::FsRedirectionOff() {
  off_ = g_api.Wow64DisableWow64FsRedirection && g_api.Wow64RevertWow64FsRedirection &&
         g_api.Wow64DisableWow64FsRedirection(&previous_);
}

FsRedirectionOff::~FsRedirectionOff() {
  if (off_) g_api.Wow64RevertWow64FsRedirection(previous_);
}

bool EnumProcessEntries(EntryCallback callback, const EnumRequest* request, bool withModules, ProcessWidth width) {
  if (!InitProcessApi()) return true;
  GlobalBlock block;
  DWORD* ids = nullptr;
  DWORD count = ReadProcessIds(block, &ids);
  if (count == 0) return true;
  ProcessEntry entry = {};
  DWORD reported = 0;
  for (DWORD i = 0; i < count; ++i) {
    {
      KernelHandle process(OpenProcess(OpenAccess(), FALSE, ids[i]));
      if (!process) continue;
      if (width != ProcessWidth::all) {
        // Asked before anything else of the process: a pass of one width skips the others cheaply.
        BOOL wow64 = FALSE;
        if (!g_api.IsWow64Process || !g_api.IsWow64Process(process.get(), &wow64)) continue;
        if ((wow64 != FALSE) != (width == ProcessWidth::wow64)) continue;
      }
      ReadImagePath(process.get(), entry.imagePath);
    }
    entry.processId = ids[i];
    entry.position = ++reported;
    entry.total = count;
    entry.window = nullptr;
    CopyBounded(entry.itemPath, entry.imagePath, kPathChars);
    FillDisplayName(&entry, request->findWindow != 0);
    if (!callback(&entry, request->callbackArg)) return false;
    if (withModules && !ReportModules(&entry, callback, request)) return false;
    if (Cancelled()) return false;
  }
  return true;
}

bool EnumProcessIds(int (*callback)(DWORD processId, void* value), void* value) {
  if (!InitProcessApi()) return true;
  GlobalBlock block;
  DWORD* ids = nullptr;
  DWORD count = ReadProcessIds(block, &ids);
  for (DWORD i = 0; i < count; ++i)
    if (!callback(ids[i], value)) return false;
  return true;
}

DWORD CountProcesses() {
  if (!InitProcessApi()) return 0;
  GlobalBlock block;
  DWORD* ids = nullptr;
  return ReadProcessIds(block, &ids);
}

DWORD CountVisibleWindows() {
  DWORD count = 0;
  EnumWindows(&CountVisible, reinterpret_cast<LPARAM>(&count));
  return count;
}

bool EnumWindowEntries(EntryCallback callback, const EnumRequest* request) {
  if (!InitProcessApi()) return true;
  WindowWalk walk = {};
  walk.count = CountVisibleWindows();
  walk.request = request;
  walk.callback = callback;
  return EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&walk)) != FALSE;
}

bool IsWow64() {
  InitProcessApi();
  BOOL wow64 = FALSE;
  return g_api.IsWow64Process && g_api.IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool IsSystemProcessId(DWORD processId) { return processId == 0 || processId == (g_isWindows2000 ? 8u : 4u); }

void FillImagePath(ProcessEntry* entry) {
  entry->imagePath[0] = 0;
  DWORD access = PROCESS_QUERY_INFORMATION;
  if (!g_api.QueryFullProcessImageName && !g_api.GetProcessImageFileName) access |= PROCESS_VM_READ;
  KernelHandle process(OpenProcess(access, FALSE, entry->processId));
  if (process) ReadImagePath(process.get(), entry->imagePath);
}

void FillDisplayName(ProcessEntry* entry, bool findWindow) {
  entry->displayName[0] = 0;
  if (findWindow) {
    entry->window = nullptr;
    MainWindowSearch search = {entry->processId, entry};
    EnumWindows(&TakeMainWindow, reinterpret_cast<LPARAM>(&search));
  }
  if (entry->displayName[0] == 0 && !GetFileDescription(entry->imagePath, entry->displayName))
    FormatProcessId(entry->displayName, entry->processId);
}

bool GetFileDescription(const tchar* path, tchar* out) {
  if (path[0] == 0) return false;
  GlobalBlock block;
  {
    // A 64-bit program's path under System32 names its own file, not the 32-bit one.
    FsRedirectionOff redirection;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeT(path, &ignored);
    if (size == 0) return false;
    block.reset(GlobalAlloc(GPTR, size));
    if (!block || !GetFileVersionInfoT(path, size, block.get())) return false;
  }
  void* info = block.get();
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueT(info, TV_T("\\VarFileInfo\\Translation"), reinterpret_cast<void**>(&translations),
                      &length) ||
      translations == nullptr || length < sizeof(Translation))
    return false;
  tchar query[41] = {};
  FormatDescriptionQuery(query, translations[0].language, translations[0].codePage);
  tchar* description = nullptr;
  if (!VerQueryValueT(info, query, reinterpret_cast<void**>(&description), &length) || description == nullptr)
    return false;
  CopyBounded(out, description, kPathChars - 1);
  return true;
}

bool DevicePathToDosPath(const tchar* devicePath, tchar* out) {
  return MapDevicePath(devicePath, out, kPathChars, [](tchar letter, tchar* target, std::size_t capacity) {
    tchar drive[3] = {letter, tchar(':'), 0};
    return QueryDosDeviceT(drive, target, static_cast<DWORD>(capacity)) != 0;
  });
}

}  // namespace tv
