// SilentSearch, SilentWait and SilentPercentComplete: a search without the page, each program
// found offered to a script function, run to its end inside the call or in the background.
#include "frame/numbers.h"
#include "quillmere/engine.h"
#include "quillmere/module.h"
#include "quillmere/process_tools.h"
#include "quillmere/search.h"
#include "quillmere/width.h"

namespace tv {
namespace {

// How long an "autoclose" answer may take before the program counts as one that cannot be
// closed, and the pause between two asks of a custom target's function.
constexpr DWORD kAutoCloseLimitMs = 10000;
constexpr DWORD kCustomAskPauseMs = 100;

// Set when the plug-in is unloaded under a running search: the search asks nothing more.
volatile LONG g_abandon = 0;

bool IsSwitch(const tchar* text, const char* word) {
  tchar w[16];
  CopyAscii(w, word, 16);
  return TextCompareNoCase(text, w) == 0;
}

DWORD WINAPI SilentSearchThread(LPVOID functionIndex) {
  int result = RunSearch(nullptr, static_cast<int>(reinterpret_cast<INT_PTR>(functionIndex)));
  ResetSearchState();
  Targets().applicationsWanted = false;
  return static_cast<DWORD>(result);
}

// Waits for the thread, serving the calling thread's window messages meanwhile, so that a
// script function that talks to the installer's window cannot wait on this thread.
void WaitServingMessages(HANDLE thread) {
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessage(&message);
    }
  }
}

void CollectSearchThread() {
  CloseHandle(SearchThread());
  SearchThread() = nullptr;
}

}  // namespace

bool AutoCloseProcess(const FoundRecord& record) {
  const DWORD start = GetTickCount();
  auto outOfTime = [start]() { return GetTickCount() - start >= kAutoCloseLimitMs; };
  if (record.isCustom) {
    while (AskCustomTarget(record.custom)) {
      if (outOfTime() || g_abandon) return false;
      Sleep(kCustomAskPauseMs);
    }
    return true;
  }
  const FoundProcess& program = record.process;
  // The module and file passes of a silent search look up no windows: the program's main
  // window is looked up here, so that it is asked to close before it is terminated.
  HWND window = program.window;
  if (window == nullptr && program.processId != 0) {
    ProcessEntry entry = {};
    entry.processId = program.processId;
    FillDisplayName(&entry, true);
    window = entry.window;
  }
  for (bool first = true;; first = false) {
    if (first && IsWindow(window)) {
      CloseWindowPolitely(window);
      Sleep(2000);
    } else if (first && program.hostsServices && SearchServices() != nullptr) {
      SearchServices()->StopServiceOfProcess(program.processId);
    } else {
      if (program.processId == 0) return false;
      TerminateAndWait(program.processId);
      Sleep(500);
    }
    if (!ProcessIsRunning(program.processId)) return true;
    if (outOfTime() || g_abandon) return false;
  }
}

// Run by the installer's unload notification: a search still running asks nothing more and
// ends its pass before the plug-in goes.
void AbandonSearch() {
  if (SearchThread() == nullptr) return;
  g_abandon = 1;
  CancelSearch();
  WaitForSingleObject(SearchThread(), kAutoCloseLimitMs);
  CollectSearchThread();
  g_abandon = 0;
}

bool SearchAbandoned() { return g_abandon != 0; }

}  // namespace tv

using namespace tv;

// Pops an optional "/async" and a script function's address; pushes "done" (the search has
// ended), "ok" (it runs in the background) or "error".
TARVOLK_EXPORT(SilentSearch, QuillmereFrame()) {
  if (!EnableDebugPrivilege() || SearchThread() != nullptr) {
    frame.pushword("error");
    return;
  }
  Arg word(frame);
  bool async = false;
  if (PopArg(frame, word) && IsSwitch(word.c_str(), "/async")) {
    async = true;
    if (!PopArg(frame, word)) word.data()[0] = 0;
  }
  int functionIndex = word.data() != nullptr ? FunctionIndexOf(word.c_str()) : -1;
  if (functionIndex <= 0) {
    frame.pushword("error");
    return;
  }
  HANDLE thread = CreateThread(nullptr, 0, &SilentSearchThread,
                               reinterpret_cast<LPVOID>(static_cast<INT_PTR>(functionIndex)), 0, nullptr);
  if (thread == nullptr) {
    frame.pushword("error");
    return;
  }
  SearchThread() = thread;
  if (async) {
    frame.pushword("ok");
    return;
  }
  WaitServingMessages(thread);
  CollectSearchThread();
  frame.pushword("done");
}

// "/time MS": waits at most MS milliseconds and pushes "wait", "done", "cancel" or "error".
// Otherwise waits for the search's end and collects it, leaving the stack as it was.
TARVOLK_EXPORT(SilentWait, QuillmereFrame()) {
  if (SearchThread() == nullptr) {
    frame.pushword("error");
    return;
  }
  Arg word(frame);
  bool popped = PopArg(frame, word);
  if (popped && IsSwitch(word.c_str(), "/time")) {
    Arg number(frame);
    int milliseconds = PopArg(frame, number) ? myatoi_signed(number.c_str()) : 0;
    if (milliseconds < 0) milliseconds = 0;  // a negative time would be INFINITE
    DWORD waited = WaitForSingleObject(SearchThread(), static_cast<DWORD>(milliseconds));
    if (waited == WAIT_TIMEOUT) {
      frame.pushword("wait");
      return;
    }
    DWORD code = 0xFFFFFFFFu;
    if (!GetExitCodeThread(SearchThread(), &code)) code = 0xFFFFFFFFu;
    frame.pushword(code == 0xFFFFFFFFu ? "error" : code == 0 ? "cancel" : "done");
    return;
  }
  if (popped) frame.pushstring(word.c_str());
  WaitServingMessages(SearchThread());
  CollectSearchThread();
}

// Pushes the running search's percentage, or "error" when no search is held.
TARVOLK_EXPORT(SilentPercentComplete, QuillmereFrame()) {
  if (SearchThread() == nullptr) {
    frame.pushword("error");
    return;
  }
  tchar text[16];
  FormatUnsigned(text, LastPercent());
  frame.pushstring(text);
}
