// Asking a program to close in the ways it understands, before anyone thinks of terminating it:
// its main window, the end-of-session protocol by which Windows closes applications, its console,
// its service. Each step only while the program still runs, and each wait over as soon as it has
// ended.
#pragma once
#include "frame/plugin.h"
#include "quillmere/system/service_list.h"

namespace tv {

enum class Closed { ended, refused, running };

struct CloseRequest {
  DWORD processId;
  HWND window;                  // the main window it was found by; null: its own is looked up
  ServiceList* services;        // stops its service; null: it is closed as a program
  const ServiceEntry* service;  // its service, with `services`
  bool withDialog;              // the service stop shows its progress dialog
  DWORD limitMs;                // the time the whole close may take
};

// Asks the program to close with each step that applies to it, in this order, going on only
// while it runs:
//   1. its main window (shown, captioned, unowned) gets WM_CLOSE;
//   2. a program: each of its top-level windows, hidden ones too, is asked WM_QUERYENDSESSION
//      (ENDSESSION_CLOSEAPP), and hears WM_ENDSESSION when none refused; a window that answers
//      FALSE refuses, and the close ends there;
//   3. a program with a console: Ctrl+C to that console, then Ctrl+Break;
//   2'. a service's program instead of 2 and 3: the service is stopped (ServiceList::Stop).
// After each step it waits up to 2 s for the program to end; while the program shows a window
// that it opened since the close began (its question whether to save), it waits for as long as
// the close may take, a refusal included; with no time (0) it takes the first step that applies and does not wait (a
// service is only asked to stop). Nothing here terminates a program. `running` also for a
// program that MayEndProcess refuses, and for one that no step reached.
Closed ClosePolitely(const CloseRequest& request);

// The processes of an application: its first process (ApplicationRoot) and its helper processes,
// each held open, so that its id stays its own while it is waited for and ended. A process that
// cannot be opened counts as gone.
class Application {
 public:
  explicit Application(DWORD root);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  int Count() const { return count_; }
  DWORD Id(int i) const { return ids_[i]; }  // 0: the first process
  bool Gone(int i) const { return handles_[i] == nullptr || WaitForSingleObject(handles_[i], 0) == WAIT_OBJECT_0; }
  // Whether the process is known to have ended (not merely out of reach).
  bool Ended(int i) const { return handles_[i] != nullptr && WaitForSingleObject(handles_[i], 0) == WAIT_OBJECT_0; }
  // True once every process has ended, at most `milliseconds` from now.
  bool AllEnded(DWORD milliseconds);

 private:
  static int Take(DWORD id, void* self);

  static constexpr int kKept = 64;
  int count_ = 0;
  DWORD ids_[kKept];
  HANDLE handles_[kKept];
};

}  // namespace tv
