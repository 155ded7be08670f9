// Quillmere64.dll: the 64-bit companion of the 32-bit plug-in. rundll32 runs one of its two entry
// points with the command line "0x<window> <arguments>"; it lists the 64-bit processes (whose
// modules a 32-bit process cannot read) with the same engine as the plug-in, and sends one record
// per process or module to the window, synchronously, stopping at the first 0 answer. It ends its
// process when done.
#include <cstdlib>

#include "quillmere/engine.h"
#include "quillmere/helper_record.h"

namespace {

struct HelperRun {
  HWND window;
  DWORD self;
  DWORD lastId;
  bool lastWanted;
  std::uint32_t count;
};

// 64-bit processes only: the plug-in reads everything of 32-bit ones itself.
bool Is64BitProcess(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
  if (process == nullptr) return false;
  BOOL wow64 = TRUE;
  bool known = tv::Api().IsWow64Process && tv::Api().IsWow64Process(process, &wow64);
  CloseHandle(process);
  return known && !wow64;
}

bool Wanted(HelperRun& run, DWORD processId) {
  if (processId == run.self) return false;
  if (processId != run.lastId) {
    run.lastId = processId;
    run.lastWanted = Is64BitProcess(processId);
  }
  return run.lastWanted;
}

void CopyName(const wchar_t* from, std::uint16_t* to) {
  std::uint32_t n = 0;
  for (; n + 1 < tv::kHelperPathChars && from[n] != 0; ++n) to[n] = static_cast<std::uint16_t>(from[n]);
  to[n] = 0;
}

int SendRecord(const tv::ProcessEntry* entry, void* arg) {
  auto& run = *static_cast<HelperRun*>(arg);
  if (!Wanted(run, entry->processId)) return 1;
  tv::HelperEntry64 record = {};
  record.processId = entry->processId;
  CopyName(entry->itemPath, record.itemPath);
  CopyName(entry->displayName, record.displayName);
  ULONG_PTR window = reinterpret_cast<ULONG_PTR>(entry->window);
  record.windowLow = static_cast<std::uint32_t>(window);
  record.windowHigh = static_cast<std::uint32_t>(window >> 32);
  CopyName(entry->imagePath, record.imagePath);
  record.position = entry->position;
  record.total = entry->total;
  COPYDATASTRUCT data = {tv::kHelperEntryMessage, sizeof record, &record};
  // Sent, not posted: the answer says whether to go on (a window that is gone answers 0).
  return SendMessageW(run.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) != 0;
}

int CountRecord(const tv::ProcessEntry* entry, void* arg) {
  auto& run = *static_cast<HelperRun*>(arg);
  if (Wanted(run, entry->processId)) ++run.count;
  return 1;
}

// "0x<window>" and then up to two numbers; missing numbers read as 0.
HelperRun ParseCommandLine(const char* text, int* first, int* second) {
  HelperRun run = {};
  char* end = nullptr;
  run.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(text ? text : "", &end, 16)));
  *first = static_cast<int>(std::strtol(end, &end, 10));
  *second = static_cast<int>(std::strtol(end, &end, 10));
  run.self = GetCurrentProcessId();
  run.lastId = 0xFFFFFFFFu;
  return run;
}

}  // namespace

// Arguments "<findWindow> <withModules>": 1 looks up main windows and their captions.
extern "C" __declspec(dllexport) void CALLBACK EnumSystemProcesses64(HWND, HINSTANCE, LPSTR commandLine, int) {
  int findWindow = 0, withModules = 0;
  HelperRun run = ParseCommandLine(commandLine, &findWindow, &withModules);
  if (IsWindow(run.window)) {
    tv::EnumRequest request = {&run, findWindow};
    tv::EnumProcessEntries(&SendRecord, &request, withModules != 0);
  }
  ExitProcess(0);
}

// No arguments: sends the number of records an enumeration with modules would send.
extern "C" __declspec(dllexport) void CALLBACK GetSystemModulesCount64(HWND, HINSTANCE, LPSTR commandLine, int) {
  int unused1 = 0, unused2 = 0;
  HelperRun run = ParseCommandLine(commandLine, &unused1, &unused2);
  if (IsWindow(run.window)) {
    tv::EnumRequest request = {&run, 0};
    tv::EnumProcessEntries(&CountRecord, &request, true);
    COPYDATASTRUCT data = {tv::kHelperCountMessage, sizeof run.count, &run.count};
    SendMessageW(run.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }
  ExitProcess(0);
}

// Called by frame/entry.cpp; the companion keeps nothing between calls (each run ends its process).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
