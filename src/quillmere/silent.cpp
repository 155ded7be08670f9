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

// The turns of an asynchronous search on the installer's stack: the event is set while the
// installer's thread waits inside SilentWait; the lock is held by the search thread for the
// length of one script call, so that SilentWait returns only between two calls.
volatile LONG g_turnsGated = 0;
HANDLE g_installerWaits = nullptr;  // manual-reset
CRITICAL_SECTION g_turnLock;

bool PrepareTurns() {
  if (g_installerWaits != nullptr) return true;
  g_installerWaits = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_installerWaits == nullptr) return false;
  InitializeCriticalSection(&g_turnLock);
  return true;
}

// The installer's thread waits for the search: the search thread may take turns meanwhile.
class InstallerWaits {
 public:
  InstallerWaits() {
    if (g_turnsGated) SetEvent(g_installerWaits);
  }
  // Returns once no turn is running.
  ~InstallerWaits() {
    if (!g_turnsGated) return;
    ResetEvent(g_installerWaits);
    EnterCriticalSection(&g_turnLock);
    LeaveCriticalSection(&g_turnLock);
  }
  InstallerWaits(const InstallerWaits&) = delete;
  InstallerWaits& operator=(const InstallerWaits&) = delete;
};

DWORD WINAPI SilentSearchThread(LPVOID functionIndex) {
  int result = RunSearch(nullptr, static_cast<int>(reinterpret_cast<INT_PTR>(functionIndex)));
  ResetSearchState();
  Targets().applicationsWanted = false;
  return static_cast<DWORD>(result);
}

// Waits for the thread. Messages that other threads send to the calling thread's windows are
// served meanwhile, and its windows repaint, so that a script function that writes to the
// installer's window cannot wait on this thread for ever; input stays queued, so no handler of
// the installer runs script code beside the search.
void WaitServingMessages(HANDLE thread) {
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE | QS_PAINT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessage(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessage(&message);
  }
}

void CollectSearchThread() {
  CloseHandle(SearchThread());
  SearchThread() = nullptr;
  g_turnsGated = 0;
}

}  // namespace

ScriptTurn::ScriptTurn() {
  if (!g_turnsGated) {
    held_ = !g_abandon;
    return;
  }
  for (;;) {
    WaitForSingleObject(g_installerWaits, INFINITE);
    if (g_abandon) return;
    EnterCriticalSection(&g_turnLock);
    if (WaitForSingleObject(g_installerWaits, 0) == WAIT_OBJECT_0 && !g_abandon) break;
    LeaveCriticalSection(&g_turnLock);  // the installer stopped waiting meanwhile
  }
  held_ = locked_ = true;
}

ScriptTurn::~ScriptTurn() {
  if (locked_) LeaveCriticalSection(&g_turnLock);
}

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
  if (SearchThread() != nullptr) {
    g_abandon = 1;
    if (g_installerWaits != nullptr) SetEvent(g_installerWaits);  // wakes a thread waiting for its turn
    CancelSearch();
    WaitForSingleObject(SearchThread(), kAutoCloseLimitMs);
    CollectSearchThread();
    g_abandon = 0;
  }
  if (g_installerWaits != nullptr) {
    CloseHandle(g_installerWaits);
    g_installerWaits = nullptr;
    DeleteCriticalSection(&g_turnLock);
  }
}

bool SearchAbandoned() { return g_abandon != 0; }

}  // namespace tv

using namespace tv;

// Pops an optional "/async" and a script function's address; pushes "done" (the search has
// ended), "ok" (it runs in the background) or "error".
TARVOLK_EXPORT(SilentSearch, QuillmereFrame) {
  if (!EnableDebugPrivilege() || SearchThread() != nullptr) {
    frame.pushword("error");
    return;
  }
  Arg word(frame);
  bool async = false;
  if (PopArg(frame, word) && IsWord(word.c_str(), "/async")) {
    async = true;
    if (!PopArg(frame, word)) word.data()[0] = 0;
  }
  int functionIndex = word.data() != nullptr ? FunctionIndexOf(word.c_str()) : -1;
  if (functionIndex <= 0) {
    frame.pushword("error");
    return;
  }
  if (async && !PrepareTurns()) {
    frame.pushword("error");
    return;
  }
  g_turnsGated = async ? 1 : 0;
  HANDLE thread = CreateThread(nullptr, 0, &SilentSearchThread,
                               reinterpret_cast<LPVOID>(static_cast<INT_PTR>(functionIndex)), 0, nullptr);
  if (thread == nullptr) {
    g_turnsGated = 0;
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
TARVOLK_EXPORT(SilentWait, QuillmereFrame) {
  if (SearchThread() == nullptr) {
    frame.pushword("error");
    return;
  }
  Arg word(frame);
  bool popped = PopArg(frame, word);
  if (popped && IsWord(word.c_str(), "/time")) {
    Arg number(frame);
    int milliseconds = PopArg(frame, number) ? myatoi_signed(number.c_str()) : 0;
    if (milliseconds < 0) milliseconds = 0;  // a negative time would be INFINITE
    DWORD waited;
    {
      InstallerWaits turns;
      waited = WaitForSingleObject(SearchThread(), static_cast<DWORD>(milliseconds));
    }
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
  {
    InstallerWaits turns;
    WaitServingMessages(SearchThread());
  }
  CollectSearchThread();
}

// Pushes the running search's percentage, or "error" when no search is held.
TARVOLK_EXPORT(SilentPercentComplete, QuillmereFrame) {
  if (SearchThread() == nullptr) {
    frame.pushword("error");
    return;
  }
  tchar text[16];
  FormatUnsigned(text, LastPercent());
  frame.pushstring(text);
}
