// Quillmere64.dll: the 64-bit companion of the 32-bit plug-in. rundll32 runs
// EnumSystemProcesses64 with the command line "0x<window> <findWindow> <withModules>"; it lists
// the 64-bit processes (whose modules a 32-bit process cannot read) with the same engine as the
// plug-in, and sends what it finds to the window in blocks of records (helper_batch.h), each
// sent synchronously: a 0 answer stops the walk at once. Its last block carries kHelperBatchLast,
// so the plug-in knows that the walk ran to its end. It ends its process when done.
#include <cstdlib>

#include "frame/owned.h"
#include "quillmere/system/engine.h"
#include "quillmere/system/helper_batch.h"
#include "quillmere/system/process_details.h"

namespace {

// A block goes out when the next record does not fit, and at the start of a process once this
// long has passed since the last one went: the plug-in's percentage moves on at least as often,
// and the walk never runs far ahead of the answers.
constexpr DWORD kBatchIntervalMs = 100;

struct CompanionWalk {
  HWND window;
  DWORD self;
  DWORD lastProcess;
  DWORD walked;    // processes reported so far
  DWORD total;     // the length of the process list
  DWORD lastSent;  // tick count
  tv::HelperBatchWriter batch;
};

CompanionWalk g_walk;  // static: the block is 64 KiB

bool Send(CompanionWalk& walk, std::uint32_t flags) {
  const unsigned char* block = walk.batch.Finish(flags, walk.walked, walk.total);
  COPYDATASTRUCT data = {tv::kHelperBatchMessage, static_cast<DWORD>(walk.batch.size()),
                         const_cast<unsigned char*>(block)};
  // Sent, not posted: the answer says whether to go on (a window that is gone answers 0).
  bool goOn = SendMessageW(walk.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) != 0;
  walk.batch.Clear();
  walk.lastSent = GetTickCount();
  return goOn;
}

bool Add(CompanionWalk& walk, const tv::ProcessEntry* entry) {
  return walk.batch.Add(entry->processId, entry->position, reinterpret_cast<ULONG_PTR>(entry->window),
                        entry->itemPath, entry->displayName, entry->imagePath);
}

int AddRecord(const tv::ProcessEntry* entry, void* arg) {
  auto& walk = *static_cast<CompanionWalk*>(arg);
  if (entry->processId == walk.self) return 1;
  if (entry->processId != walk.lastProcess) {
    walk.lastProcess = entry->processId;
    if (walk.batch.Count() > 0 && GetTickCount() - walk.lastSent >= kBatchIntervalMs && !Send(walk, 0)) return 0;
  }
  walk.walked = entry->position;
  walk.total = entry->total;
  if (Add(walk, entry)) return 1;
  if (!Send(walk, 0)) return 0;
  return Add(walk, entry) ? 1 : 0;  // an empty block takes any record
}

}  // namespace

// Arguments "<findWindow> <withModules>": 1 looks up main windows and their captions, 1 lists
// modules. Missing numbers read as 0.
extern "C" __declspec(dllexport) void CALLBACK EnumSystemProcesses64(HWND, HINSTANCE, LPSTR commandLine, int) {
  CompanionWalk& walk = g_walk;
  char* end = nullptr;
  walk.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(commandLine ? commandLine : "", &end, 16)));
  int findWindow = static_cast<int>(std::strtol(end, &end, 10));
  int withModules = static_cast<int>(std::strtol(end, &end, 10));
  walk.self = GetCurrentProcessId();
  walk.lastProcess = 0xFFFFFFFFu;
  walk.lastSent = GetTickCount();
  if (IsWindow(walk.window)) {
    tv::EnumRequest request = {&walk, findWindow};
    // 64-bit processes only: the plug-in reads everything of 32-bit ones itself.
    if (tv::EnumProcessEntries(&AddRecord, &request, withModules != 0, tv::ProcessWidth::notWow64))
      Send(walk, tv::kHelperBatchLast);
  }
  ExitProcess(0);
}

// Arguments "<process id>": reads how that 64-bit process was started (its command line, current
// folder and executable) and sends it in one message (helper_batch.h); nothing when the process
// cannot be opened.
extern "C" __declspec(dllexport) void CALLBACK ReadProcessDetails64(HWND, HINSTANCE, LPSTR commandLine, int) {
  char* end = nullptr;
  HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(commandLine ? commandLine : "", &end, 16)));
  auto processId = static_cast<DWORD>(std::strtoul(end, &end, 10));
  tv::ProcessDetails details;
  if (IsWindow(window) && tv::ReadProcessDetails(processId, &details)) {
    static unsigned char block[tv::kHelperBatchBytes];
    const wchar_t* const texts[3] = {details.commandLine.c_str(), details.folder.c_str(), details.image.c_str()};
    COPYDATASTRUCT data = {tv::kHelperDetailsMessage, static_cast<DWORD>(tv::WriteHelperDetails(processId, texts, block)),
                           block};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }
  ExitProcess(0);
}

// Sends nothing and ends. A plug-in of an earlier version asks it first for a module count; it
// then gets none (and its records are refused), rather than rundll32's message about a missing
// entry point, which would wait for a click.
extern "C" __declspec(dllexport) void CALLBACK GetSystemModulesCount64(HWND, HINSTANCE, LPSTR, int) { ExitProcess(0); }

// Called by frame/entry.cpp; the companion keeps nothing between calls (each run ends its process).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
