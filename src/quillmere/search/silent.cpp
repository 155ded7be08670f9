// SilentSearch, SilentWait and SilentPercentComplete: a search without the page, each program
// found offered to a script function, run to its end inside the call or in the background.
#include "frame/numbers.h"
#include "quillmere/search/closed_record.h"
#include "quillmere/system/engine.h"
#include "quillmere/module.h"
#include "quillmere/system/process_control.h"
#include "quillmere/search/script_calls.h"
#include "quillmere/search/search.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

// How long a custom target's function is asked again after an "autoclose" answer before the
// entry counts as one that cannot be closed, and the pause between two asks.
constexpr DWORD kCustomAskLimitMs = 10000;
constexpr DWORD kCustomAskPauseMs = 100;

// How long the unload notification waits for a search thread to end.
constexpr DWORD kUnloadLimitMs = 10000;

// The held search thread is a silent search's (not the page's).
bool g_silentHeld = false;
// The held search thread would not end when the plug-in was unloaded: everything it can reach is
// kept until it has ended.
bool g_orphaned = false;

DWORD WINAPI SilentSearchThread(LPVOID functionIndex) {
  int result = RunSearch(nullptr, static_cast<int>(reinterpret_cast<INT_PTR>(functionIndex)));
  ResetSearchState();
  Targets().applicationsWanted = false;
  return static_cast<DWORD>(result);
}

void CollectSearchThread() {
  CloseHandle(SearchThread());
  SearchThread() = nullptr;
  g_silentHeld = false;
}

// A silent search's thread is held, and the calling thread may wait for it.
bool SilentSearchHeld() { return SearchHeld() && g_silentHeld && !g_orphaned; }

// The installer's unload notification releases what the searches keep: a search still running
// is abandoned first, and one that would not end keeps what it can reach.
void ReleaseSearches() {
  if (!AbandonSearch()) return;
  ResetSearchState();
  Targets().applicationsWanted = false;
  // A pass that runs later creates the event anew.
  ReleaseSearchCancelEvent();
}
const bool g_releaseAtUnload = (AtModuleUnload(UnloadStep::searches, &ReleaseSearches), true);

}  // namespace

bool SearchHeld() {
  if (g_orphaned && WaitForSingleObject(SearchThread(), 0) == WAIT_OBJECT_0) {
    // The thread that would not end has ended at last: what it could reach may go now.
    g_orphaned = false;
    CollectSearchThread();
    ResetSearchState();
    Targets().applicationsWanted = false;
    CloseScriptCalls();
  }
  return SearchThread() != nullptr;
}

bool AutoCloseProcess(const FoundRecord& record, bool mayTerminate) {
  if (record.isCustom) {
    const DWORD start = GetTickCount();
    while (AskCustomTarget(record.custom)) {
      if (GetTickCount() - start >= kCustomAskLimitMs || ScriptCallsAbandoned()) {
        NoteCustom(*record.custom, false);
        return false;
      }
      Sleep(kCustomAskPauseMs);
    }
    NoteCustom(*record.custom, true);
    return true;
  }
  // The installer itself (or the uninstaller it is a copy of) is never asked: as one that cannot
  // be closed.
  ClosedProgram* noted = nullptr;
  CloseEnd end = CloseProgram(record.process, &noted, mayTerminate, false);
  return end == CloseEnd::closed || end == CloseEnd::killed;
}

bool AbandonSearch() {
  if (SearchThread() != nullptr && !g_orphaned) {
    AbandonScriptCalls();
    CancelSearch();
    if (WaitServingScriptCalls(SearchThread(), kUnloadLimitMs) != WAIT_OBJECT_0) {
      // It may still run: it keeps what it can reach, it will never run script code again, and
      // the module stays loaded under it.
      g_orphaned = true;
      KeepModuleLoaded();
      return false;
    }
    CollectSearchThread();
  }
  if (g_orphaned) return false;
  CloseScriptCalls();
  return true;
}

}  // namespace tv

using namespace tv;

// Pops an optional "/async" and a script function's address; pushes "done" (the search has
// ended), "ok" (it runs in the background) or "error". Refused with the arguments left on the
// stack under "error", as they were: while a search is held, from inside a function that a search
// runs, without the debug privilege, and for an address that is missing or no function's.
TARVOLK_EXPORT(SilentSearch, QuillmereFrame) {
  if (InsideScriptCall() || !EnableDebugPrivilege() || SearchHeld()) {
    frame.pushword("error");
    return;
  }
  Arg first(frame);
  Arg second(frame);
  bool hasFirst = PopArg(frame, first);
  bool async = hasFirst && IsWord(first.c_str(), "/async");
  bool hasAddress = async ? PopArg(frame, second) : hasFirst;
  int functionIndex = hasAddress ? FunctionIndexOf((async ? second : first).c_str()) : -1;
  HANDLE thread = nullptr;
  if (functionIndex >= 0 && OpenScriptCalls()) {
    PrepareClosedRecord();
    thread = CreateThread(nullptr, 0, &SilentSearchThread, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(functionIndex)),
                          0, nullptr);
  }
  if (thread == nullptr) {
    if (async && hasAddress) frame.pushstring(second.c_str());
    if (hasFirst) frame.pushstring(first.c_str());
    frame.pushword("error");
    return;
  }
  SearchThread() = thread;
  g_silentHeld = true;
  if (async) {
    frame.pushword("ok");
    return;
  }
  WaitServingScriptCalls(thread, INFINITE);
  CollectSearchThread();
  frame.pushword("done");
}

// "/time MS": waits at most MS milliseconds and pushes "wait", "done", "cancel" or "error".
// Otherwise waits for the search's end and collects it, leaving the stack as it was. Either way
// the search's functions run meanwhile, on this thread. Refused (the arguments stay under
// "error") when no silent search is held and from inside a function that a search runs.
TARVOLK_EXPORT(SilentWait, QuillmereFrame) {
  if (InsideScriptCall() || !SilentSearchHeld()) {
    frame.pushword("error");
    return;
  }
  Arg word(frame);
  bool popped = PopArg(frame, word);
  if (popped && IsWord(word.c_str(), "/time")) {
    Arg number(frame);
    int milliseconds = PopArg(frame, number) ? myatoi_signed(number.c_str()) : 0;
    if (milliseconds < 0) milliseconds = 0;  // a negative time would be INFINITE
    DWORD waited = WaitServingScriptCalls(SearchThread(), static_cast<DWORD>(milliseconds));
    if (waited == WAIT_TIMEOUT) {
      frame.pushword("wait");
      return;
    }
    DWORD code = 0xFFFFFFFFu;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeThread(SearchThread(), &code)) code = 0xFFFFFFFFu;
    frame.pushword(code == 0xFFFFFFFFu ? "error" : code == 0 ? "cancel" : "done");
    return;
  }
  if (popped) frame.pushstring(word.c_str());
  WaitServingScriptCalls(SearchThread(), INFINITE);
  CollectSearchThread();
}

// Pushes the running search's percentage, or "error" when no search is held.
TARVOLK_EXPORT(SilentPercentComplete, QuillmereFrame) {
  if (!SilentSearchHeld()) {
    frame.pushword("error");
    return;
  }
  tchar text[16];
  FormatUnsigned(text, LastPercent());
  frame.pushstring(text);
}
