// Closing a program that a search found, as a whole application: its process politely, the
// helper processes of the application after it, every act noted in the record of what was ended.
#include "quillmere/search/closed_record.h"
#include "quillmere/system/polite_close.h"
#include "quillmere/system/process_control.h"

namespace tv {
namespace {

// The time a close may take: the polite steps, and a program that asks its user before it
// closes (a service's stop takes 30 s at most).
constexpr DWORD kCloseLimitMs = 30000;
// How long the helper processes have to follow their application once it has closed.
constexpr DWORD kHelpersFollowMs = 2000;

// Terminates what still runs of the application, its first process first, noting each; a helper
// process is noted as a program of its own (the restart brings it back with its parent).
bool Kill(const FoundProcess& program, ClosedProgram** noted, Application& application) {
  const tchar* service = program.hostsServices ? program.service.lpServiceName : nullptr;
  if (!application.Gone(0)) {
    if (!MayTerminate(program.processId, service)) return false;
    *noted = NoteProgram(program, Ended::killed, *noted);
    TerminateAndWait(program.processId, service);
  }
  FoundProcess piece = program;
  piece.window = nullptr;
  piece.hostsServices = false;
  for (int i = 1; i < application.Count(); ++i) {
    if (application.Gone(i)) continue;
    piece.processId = application.Id(i);
    NoteProgram(piece, Ended::killed);
    TerminateAndWait(piece.processId);
  }
  return application.AllEnded(0);
}

}  // namespace

CloseEnd CloseProgram(const FoundProcess& program, ClosedProgram** noted, bool mayTerminate, bool withDialog) {
  const DWORD id = program.processId;
  if (id == 0 || !MayEndProcess(id)) return CloseEnd::running;
  Application application(id);
  // A process that has ended already (a helper that its application's close took with it, offered
  // by a pass that listed it before) is not noted again: its entry keeps what ended it.
  if (application.Ended(0)) return CloseEnd::closed;
  ServiceList* services = program.hostsServices ? SearchServices() : nullptr;
  *noted = NoteProgram(program, services != nullptr ? Ended::stopped : Ended::closed, *noted);
  const CloseRequest request = {id, program.window, services, &program.service, withDialog, kCloseLimitMs};
  Closed closed = ClosePolitely(request);
  if (closed == Closed::ended && application.AllEnded(kHelpersFollowMs)) return CloseEnd::closed;
  if (closed == Closed::refused) *noted = NoteProgram(program, Ended::failed, *noted);
  if (!mayTerminate) return closed == Closed::refused ? CloseEnd::refused : CloseEnd::running;
  return Kill(program, noted, application) ? CloseEnd::killed : CloseEnd::running;
}

bool KillProgram(const FoundProcess& program, ClosedProgram** noted) {
  if (program.processId == 0) return false;
  Application application(program.processId);
  return Kill(program, noted, application);
}

}  // namespace tv
