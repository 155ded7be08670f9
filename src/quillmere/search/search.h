// The search: every pass of the engine over the running system, each item tested against the
// registered targets, and each program found reported, as a row of the running-programs page or
// as a question to a script function (silent mode).
#pragma once
#include "frame/plugin.h"
#include "quillmere/system/engine.h"
#include "quillmere/system/service_list.h"
#include "quillmere/search/targets.h"

namespace tv {

// A program that a search found.
struct FoundProcess {
  HWND window;        // its main window, null when it has none
  DWORD processId;
  bool hostsServices;
  ServiceEntry service;  // the first service it runs, when hostsServices (valid while the
                         // search's service list lives)
  tchar name[kPathChars];     // the name it is shown with
  tchar image[kPathChars];    // its executable's path; empty when it could not be read
  tchar target[kTargetChars]; // the target that found it first (lowercased), "applications"
};

struct ClosedProgram;  // closed_record.h

// What stands behind a reported program: a process, or a custom target.
struct FoundRecord {
  bool isCustom;
  FoundProcess process;  // a process
  CustomTarget* custom;  // a custom target
  ClosedProgram* noted;  // the process's entry in the record of what was ended, once noted
};

FoundRecord* NewFoundRecord();  // zero-filled; null when no memory is left
void FreeFoundRecord(FoundRecord* record);

// What the running-programs page gives a search in page mode. The search calls it on its own
// thread; the page changes its controls through messages to them.
class PageView {
 public:
  // The search starts (before anything is counted).
  virtual void SearchStarted() = 0;
  // The percentage changed.
  virtual void ShowPercent(DWORD percent) = 0;
  // A new row before the status row. The page takes the record; it copies the icon (null: the
  // generic program icon) and does not keep it.
  virtual void InsertRow(const tchar* first, const tchar* second, HICON icon, FoundRecord* record) = 0;
  // Every pass has run (or the page asked to leave).
  virtual void SearchEnded() = 0;
  // The user is leaving the page: no further pass runs, and a running pass stops.
  virtual bool LeaveRequested() = 0;
  // The caption format of the stop-service dialog ("%s" for the service), or null for the
  // default.
  virtual const tchar* StopCaptionFormat() = 0;

 protected:
  ~PageView() = default;
};

// Runs every pass. Page mode (view set): rows go to the view, and scriptFunction (-1: none) is
// called with each program's image path; always 1. Silent mode (view null): each program goes
// to the script function; 1 when the search ran to its end, 0 when an answer stopped it.
int RunSearch(PageView* view, int scriptFunction);

// Percentage of the running (or last) search.
DWORD LastPercent();
// Processes reported by the last search (custom targets not counted); 0 after a reset.
DWORD FoundProcessCount();
// The service list of the last search; null before one ran and after the reset.
ServiceList* SearchServices();

// Asks the custom target's function (with its detail on the stack): true when it answers "true".
bool AskCustomTarget(const CustomTarget* target);
// True while the process id is in the system's process list.
bool ProcessIsRunning(DWORD processId);

// How the close of a program that a search found came out.
enum class CloseEnd { closed, killed, refused, running };
// Closes the program as a whole application: its process with the polite steps (ClosePolitely;
// a service's with the progress dialog where withDialog), the helper processes of the
// application (ApplicationRoot) given 2 s to follow it; then, where mayTerminate, terminates
// what still runs of it (KillProgram). Every act is noted in the record of what was ended
// (`noted`: the program's entry, carried from act to act), a refusal as a failure.
CloseEnd CloseProgram(const FoundProcess& program, ClosedProgram** noted, bool mayTerminate, bool withDialog);
// Terminates the program and the helper processes of its application, noting each. False when
// the program may not be terminated (MayTerminate) or something of it still runs.
bool KillProgram(const FoundProcess& program, ClosedProgram** noted);

// Closes a program that a silent search's script answered "autoclose" (mayTerminate) or "close"
// for (CloseProgram). True when it has gone (a custom target: when its function stops answering
// "true", asked for 10 s at most); false when it refused, could not be closed, or has no process
// id.
bool AutoCloseProcess(const FoundRecord& record, bool mayTerminate);

// Run when the plug-in is unloaded: a search still running asks nothing more, ends its pass and
// is collected (at most about 10 s). False when its thread would not end: it then keeps
// everything it can reach, and the module stays loaded.
bool AbandonSearch();

// The one search thread of the module (the page's or a silent search's), held until it is
// collected; null when there is none. Written only by the installer's thread.
HANDLE& SearchThread();
// True while a search thread is held (a thread that would not end at unload is collected here
// once it has ended).
bool SearchHeld();

}  // namespace tv
