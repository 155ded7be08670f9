#include "quillmere/system/polite_close.h"

#include "frame/owned.h"
#include "quillmere/system/engine.h"
#include "quillmere/system/process_control.h"

namespace tv {
namespace {

constexpr DWORD kStepWaitMs = 2000;  // what each step gives the program to end
constexpr DWORD kAnswerMs = 1000;    // what a window has to answer a message
constexpr int kWindowsKept = 32;

// The process's top-level windows: only the shown ones, or the hidden ones too.
struct Windows {
  DWORD processId;
  bool shownOnly;
  int count;
  HWND list[kWindowsKept];
};

BOOL CALLBACK TakeWindow(HWND window, LPARAM state) {
  auto* windows = reinterpret_cast<Windows*>(state);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == windows->processId && (!windows->shownOnly || IsWindowVisible(window)) &&
      windows->count < kWindowsKept)
    windows->list[windows->count++] = window;
  return TRUE;
}

void ReadWindows(DWORD processId, bool shownOnly, Windows* out) {
  out->processId = processId;
  out->shownOnly = shownOnly;
  out->count = 0;
  EnumWindows(&TakeWindow, reinterpret_cast<LPARAM>(out));
}

HWND MainWindowOf(DWORD processId) {
  ProcessEntry entry;
  entry.processId = processId;
  entry.imagePath[0] = 0;
  FillDisplayName(&entry, true);
  return entry.window;
}

bool Send(HWND window, UINT message, WPARAM wParam, DWORD_PTR* answer) {
  return TV_AW(SendMessageTimeout)(window, message, wParam, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                   kAnswerMs, answer) != 0;
}

// The end of the session, as Windows closes an application: every top-level window of the
// process is asked whether it may end; when all agreed, each hears that it ends, and when one
// refused (or did not answer in time), those that agreed hear that it goes on. 0: the process has
// no window, 1: asked, -1: refused.
int EndSession(DWORD processId) {
  Windows all;
  ReadWindows(processId, false, &all);
  int asked = 0;
  bool refused = false;
  for (; asked < all.count; ++asked) {
    DWORD_PTR answer = TRUE;
    if (!Send(all.list[asked], WM_QUERYENDSESSION, 0, &answer)) {
      if (IsWindow(all.list[asked])) break;  // no answer in time: it may be asking its user
      continue;                              // gone meanwhile
    }
    if (answer == FALSE) {
      refused = true;
      break;
    }
  }
  const BOOL ending = asked == all.count;
  DWORD_PTR ignored = 0;
  for (int i = 0; i < asked; ++i) Send(all.list[i], WM_ENDSESSION, ending, &ignored);
  return refused ? -1 : all.count > 0 ? 1 : 0;
}

volatile LONG g_consoleBusy = 0;
volatile LONG g_ownEvents = 0;
bool g_handlerKept = false;

BOOL WINAPI HearOwnEvent(DWORD event) {
  if (event > CTRL_BREAK_EVENT) return FALSE;
  InterlockedIncrement(&g_ownEvents);
  return TRUE;  // the installer does not end for the event it sent
}

// Sends Ctrl+C or Ctrl+Break to the console of the process, where it has one. The installer, a
// windows program without a console of its own, joins that console for the moment it takes
// (one thread at a time: a process has one console) and leaves it again, its standard handles
// as they were. It hears the event itself, and ignores it; one that has a console of its own
// sends nothing. False when nothing was sent.
bool ConsoleEvent(DWORD processId, DWORD event) {
  while (InterlockedCompareExchange(&g_consoleBusy, 1, 0) != 0) Sleep(10);
  const DWORD kinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  HANDLE standard[3];
  for (int i = 0; i < 3; ++i) standard[i] = GetStdHandle(kinds[i]);
  bool sent = false;
  if (AttachConsole(processId)) {
    LONG heard = g_ownEvents;
    if (!g_handlerKept) SetConsoleCtrlHandler(&HearOwnEvent, TRUE);
    sent = GenerateConsoleCtrlEvent(event, 0) != FALSE;
    // The event reaches this process on a thread of its own, maybe after the console is left:
    // the handler stays until it has come.
    for (int i = 0; sent && i < 100 && g_ownEvents == heard; ++i) Sleep(10);
    FreeConsole();
    if (!g_handlerKept) {
      if (!sent || g_ownEvents != heard) {
        SetConsoleCtrlHandler(&HearOwnEvent, FALSE);
      } else {
        g_handlerKept = true;  // still to come: the handler, and the module it lives in, stay
        KeepModuleLoaded();
      }
    }
  }
  for (int i = 0; i < 3; ++i) SetStdHandle(kinds[i], standard[i]);
  InterlockedExchange(&g_consoleBusy, 0);
  return sent;
}

// One close under way: its time, the process to wait for, and the windows it showed before the
// close began.
class Closing {
 public:
  Closing(DWORD processId, DWORD limitMs)
      : id_(processId),
        start_(GetTickCount()),
        limit_(limitMs),
        process_(OpenProcess(SYNCHRONIZE, FALSE, processId)) {
    ReadWindows(id_, true, &shown_);
  }
  bool cancelled = false;  // a search being abandoned, or the page being left, stops the close

  bool Ended() { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }
  // Whether a further step is taken: the program runs, and the first step always goes; later
  // ones only within the close's time.
  bool GoesOn() { return !cancelled && !Ended() && (!stepped_ || Left() > 0); }
  DWORD Left() {
    DWORD passed = GetTickCount() - start_;
    return passed < limit_ ? limit_ - passed : 0;
  }

  // After a step: true once the program has ended within `milliseconds`. While it shows a window
  // that it opened since the close began (its question to its user), and for a step's time after
  // that window has gone, it is waited for within the close's time.
  bool Wait(DWORD milliseconds) {
    DWORD stepStart = GetTickCount();
    stepped_ = true;
    HANDLE objects[2] = {process_.get(), SearchCancelEvent()};
    while (process_ && !cancelled && Left() > 0) {
      if (Asking()) {
        stepStart = GetTickCount();
        milliseconds = kStepWaitMs;
      } else if (GetTickCount() - stepStart >= milliseconds) {
        break;
      }
      DWORD woke = WaitServingSent(objects[1] != nullptr ? 2 : 1, objects, 100);
      if (woke == WAIT_OBJECT_0) return true;
      if (woke == WAIT_OBJECT_0 + 1) SetEvent(objects[1]);  // taken from the others that poll it
      cancelled = woke != WAIT_TIMEOUT;
    }
    return Ended();
  }

 private:
  bool Asking() {
    Windows now;
    ReadWindows(id_, true, &now);
    for (int i = 0; i < now.count; ++i) {
      bool seen = false;
      for (int j = 0; j < shown_.count; ++j) seen = seen || shown_.list[j] == now.list[i];
      if (!seen) return true;
    }
    return false;
  }

  DWORD id_;
  DWORD start_;
  DWORD limit_;
  KernelHandle process_;
  bool stepped_ = false;
  Windows shown_;
};

bool OwnWindow(HWND window, DWORD processId) {
  DWORD owner = 0;
  return window != nullptr && GetWindowThreadProcessId(window, &owner) != 0 && owner == processId;
}

}  // namespace

Closed ClosePolitely(const CloseRequest& request) {
  const DWORD id = request.processId;
  if (!MayEndProcess(id)) return Closed::running;
  Closing closing(id, request.limitMs);
  HWND window = OwnWindow(request.window, id) ? request.window : MainWindowOf(id);
  if (window != nullptr && CloseWindowPolitely(window) && closing.Wait(kStepWaitMs)) return Closed::ended;
  if (request.services != nullptr && request.service != nullptr) {
    if (closing.GoesOn()) request.services->Stop(*request.service, request.withDialog, closing.Left());
  } else if (closing.GoesOn()) {
    int session = EndSession(id);
    // A program that refuses while it asks its user (a window it opened since the close began)
    // is waited for: the refusal may only stand for "not before my user has answered".
    if (session < 0) return closing.Wait(0) ? Closed::ended : Closed::refused;
    if (session > 0 && closing.Wait(kStepWaitMs)) return Closed::ended;
    for (DWORD event = CTRL_C_EVENT; event <= CTRL_BREAK_EVENT; ++event)  // Ctrl+C, then Ctrl+Break
      if (closing.GoesOn() && ConsoleEvent(id, event) && closing.Wait(kStepWaitMs)) return Closed::ended;
  }
  return closing.Ended() ? Closed::ended : Closed::running;
}

Application::Application(DWORD root) {
  Take(root, this);
  EnumProcessIds(&Take, this);
}

Application::~Application() {
  for (int i = 0; i < count_; ++i)
    if (handles_[i] != nullptr) CloseHandle(handles_[i]);
}

int Application::Take(DWORD id, void* self) {
  auto* application = static_cast<Application*>(self);
  int& count = application->count_;
  const DWORD root = count > 0 ? application->ids_[0] : id;
  if (count == 0 || (id != root && !IsSystemProcessId(id) && ApplicationRoot(id) == root)) {
    application->ids_[count] = id;
    application->handles_[count++] = OpenProcess(SYNCHRONIZE, FALSE, id);
  }
  return count < kKept ? 1 : 0;
}

bool Application::AllEnded(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (int i = 0; i < count_; ++i) {
    DWORD passed = GetTickCount() - start;
    DWORD left = passed < milliseconds ? milliseconds - passed : 0;
    if (!Gone(i) && WaitServingSent(1, &handles_[i], left) != WAIT_OBJECT_0) return false;
  }
  return true;
}

}  // namespace tv
