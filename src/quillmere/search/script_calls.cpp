#include "quillmere/search/script_calls.h"

#include "frame/owned.h"
#include "quillmere/module.h"

namespace tv {
namespace {

// One call of a script function, in the memory of the search thread that waits for it.
struct Request {
  int functionIndex;
  const tchar* const* texts;
  std::size_t count;
  Arg* answer;
  bool answered;
};

enum class Slot { empty, waiting, running };

// Guards the slot and the abandonment; never held while a function runs. Made by the first
// OpenScriptCalls, on the installer's thread before any search thread exists, and kept.
CRITICAL_SECTION g_lock;
bool g_lockReady = false;

Request* g_request = nullptr;
Slot g_slot = Slot::empty;
volatile LONG g_abandoned = 0;

HANDLE g_bell = nullptr;     // manual-reset: a request waits in the slot
HANDLE g_done = nullptr;     // auto-reset: the request in the slot was run
HANDLE g_abandon = nullptr;  // manual-reset: set with g_abandoned

// The thread that runs a search's function at the moment; 0 when none does.
volatile DWORD g_servingThread = 0;

// Serves the messages that other threads send to this one; posted messages stay queued.
void ServeSentMessages() {
  MSG message;
  TV_AW(PeekMessage)(&message, nullptr, 0, 0, PM_NOREMOVE);
}

// On the installer's thread: push, run, pop.
void Run(Request& request) {
  DWORD outer = g_servingThread;
  g_servingThread = GetCurrentThreadId();
  request.answered =
      CallScriptFunction(QuillmereFrame(), request.functionIndex, request.texts, request.count, request.answer);
  g_servingThread = outer;
}

void CloseEvent(HANDLE& event) {
  if (event != nullptr) CloseHandle(event);
  event = nullptr;
}

}  // namespace

bool CallScript(int functionIndex, std::initializer_list<const tchar*> texts, Arg* answer) {
  Request request = {functionIndex, texts.begin(), texts.size(), answer, false};
  {
    Locked lock(g_lock);
    if (g_abandoned || g_bell == nullptr || g_slot != Slot::empty) return false;
    g_request = &request;
    g_slot = Slot::waiting;
    SetEvent(g_bell);
  }
  HANDLE events[2] = {g_done, g_abandon};
  DWORD count = 2;
  for (;;) {
    DWORD woke = MsgWaitForMultipleObjects(count, events, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) return request.answered && !g_abandoned;
    if (woke == WAIT_OBJECT_0 + count) {
      ServeSentMessages();
      continue;
    }
    // Abandoned (or the wait failed): a request nobody took yet is withdrawn; one that runs is
    // finished by its thread, which rings g_done.
    Locked lock(g_lock);
    if (g_slot == Slot::waiting && g_request == &request) {
      g_slot = Slot::empty;
      g_request = nullptr;
      ResetEvent(g_bell);
      return false;
    }
    count = 1;
  }
}

bool OpenScriptCalls() {
  if (!g_lockReady) {
    InitializeCriticalSection(&g_lock);
    g_lockReady = true;
  }
  Locked lock(g_lock);
  if (g_bell == nullptr) g_bell = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_done == nullptr) g_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_abandon == nullptr) g_abandon = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_bell == nullptr || g_done == nullptr || g_abandon == nullptr) return false;
  ResetEvent(g_bell);
  ResetEvent(g_done);
  g_slot = Slot::empty;
  g_request = nullptr;
  return true;
}

HANDLE ScriptCallBell() { return g_abandoned ? nullptr : g_bell; }

void ServeScriptCall() {
  Request* request;
  {
    Locked lock(g_lock);
    if (g_slot != Slot::waiting || g_abandoned) return;
    request = g_request;
    g_slot = Slot::running;
    ResetEvent(g_bell);
  }
  Run(*request);
  Locked lock(g_lock);
  g_slot = Slot::empty;
  g_request = nullptr;
  SetEvent(g_done);
}

DWORD WaitServingScriptCalls(HANDLE object, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  bool served = false;
  for (;;) {
    DWORD left = INFINITE;
    if (milliseconds != INFINITE) {
      DWORD spent = GetTickCount() - start;
      left = spent >= milliseconds ? 0 : milliseconds - spent;
    }
    HANDLE handles[2] = {object, ScriptCallBell()};
    DWORD count = handles[1] != nullptr ? 2 : 1;
    DWORD woke = MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_SENDMESSAGE | QS_PAINT);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_TIMEOUT || woke == WAIT_FAILED) return woke;
    if (count == 2 && woke == WAIT_OBJECT_0 + 1) {
      // A request that waits when the time is up is served once, so that any poll lets the
      // search go on; after that the time counts.
      if (left == 0 && served) return WAIT_TIMEOUT;
      ServeScriptCall();
      served = true;
      continue;
    }
    MSG message;
    while (TV_AW(PeekMessage)(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) TV_AW(DispatchMessage)(&message);
  }
}

bool InsideScriptCall() { return g_servingThread != 0 && g_servingThread == GetCurrentThreadId(); }

void AbandonScriptCalls() {
  if (!g_lockReady) return;  // no channel was ever opened
  Locked lock(g_lock);
  g_abandoned = 1;
  if (g_abandon != nullptr) SetEvent(g_abandon);
}

bool ScriptCallsAbandoned() { return g_abandoned != 0; }

void CloseScriptCalls() {
  if (!g_lockReady) return;
  Locked lock(g_lock);
  g_abandoned = 0;
  g_slot = Slot::empty;
  g_request = nullptr;
  CloseEvent(g_bell);
  CloseEvent(g_done);
  CloseEvent(g_abandon);
}

}  // namespace tv
