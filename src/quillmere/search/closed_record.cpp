// The record of what the plug-in ended, EnumClosedPrograms and RestartClosedPrograms.
#include "quillmere/search/closed_record.h"

#include <new>

#include "frame/numbers.h"
#include "frame/owned.h"
#include "quillmere/module.h"
#include "quillmere/system/process_details.h"
#include "quillmere/system/process_owner.h"
#include "quillmere/system/width.h"
#include "runas/start.h"

namespace tv {
namespace {

struct ClosedProgram {
  DWORD processId = 0;
  ProcessDetails details;  // read before the program was asked to close
  bool detailsRead = false;
  Ended how = Ended::closed;
  int user = -1;  // 1 the installer's user, 0 another user, -1 not known
  KernelHandle token;  // a copy of the program's own token, to start it again as its user
  BasicText<tchar> name, target, service;
};

Buffer<ClosedProgram*> g_record;
CRITICAL_SECTION g_lock;
bool g_lockReady = false;
bool g_inUse = false;  // an export walks the record (a function it runs may call the plug-in)

ClosedProgram* NewEntry() {
  void* block = StackAlloc(sizeof(ClosedProgram));
  return block != nullptr ? new (block) ClosedProgram : nullptr;
}

void FreeEntry(ClosedProgram* entry) {
  entry->~ClosedProgram();
  StackFree(entry);
}

void ClearRecord() {
  for (ClosedProgram* entry : g_record) FreeEntry(entry);
  g_record.Clear();
}

const bool g_releaseAtUnload = (AtUnload(&ClearRecord), true);

// A primary copy of the program's token, for a start as the user who ran it.
void CopyToken(DWORD processId, KernelHandle* out) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (process) *out = PrimaryTokenOf(process.get());
}

// The entry of the program that runs under this id, noted before.
ClosedProgram* Find(DWORD processId) {
  for (ClosedProgram* entry : g_record)
    if (processId != 0 && entry->processId == processId &&
        (!entry->detailsRead || ProcessStillRuns(processId, entry->details.started)))
      return entry;
  return nullptr;
}

bool Add(ClosedProgram* entry) {
  Locked lock(g_lock);
  if (g_record.Push(entry)) return true;
  FreeEntry(entry);
  return false;
}

// What became of the act: one whose program (or service) still runs has failed.
Ended Outcome(const ClosedProgram& entry) {
  if (entry.how == Ended::failed || entry.processId == 0) return entry.how;
  if (entry.how == Ended::stopped && !entry.service.empty()) {
    ServiceHandle manager(TV_AW(OpenSCManager)(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager ? TV_AW(OpenService)(manager.get(), entry.service.c_str(), SERVICE_QUERY_STATUS)
                                  : nullptr);
    SERVICE_STATUS status = {};
    if (service && QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED)
      return Ended::failed;
    return Ended::stopped;
  }
  bool runs = entry.detailsRead ? ProcessStillRuns(entry.processId, entry.details.started)
                                : ProcessIsRunning(entry.processId);
  return runs ? Ended::failed : entry.how;
}

const char* OutcomeWord(Ended how) {
  switch (how) {
    case Ended::closed: return "closed";
    case Ended::killed: return "killed";
    case Ended::stopped: return "stopped";
    default: return "failed";
  }
}

// A wide text in the stack's width (the ANSI code page in x86-ansi).
void ToStack(const BasicText<wchar_t>& text, BasicText<tchar>* out) {
#ifdef TARVOLK_UNICODE
  out->Assign(text);
#else
  int size = text.empty() ? 0 : WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                                    0, nullptr, nullptr);
  if (size <= 0 || !out->Resize(static_cast<std::size_t>(size))) {
    out->Clear();
    return;
  }
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out->data(), size, nullptr, nullptr);
#endif
}

// The entry's fields, in the order a function pops them: what became of it, the executable, the
// command line, the folder, the name, the target, the service. Pushed in reverse, with `extra`
// (when given) on top of them, and the function run.
bool OfferEntry(Frame& frame, int functionIndex, const ClosedProgram& entry, Ended outcome, const char* extra,
                Arg* answer) {
  BasicText<tchar> image, commandLine, folder;
  ToStack(entry.details.image, &image);
  ToStack(entry.details.commandLine, &commandLine);
  ToStack(entry.details.folder, &folder);
  tchar how[16], word[16] = {};
  CopyAscii(how, OutcomeWord(outcome), 16);
  if (extra != nullptr) CopyAscii(word, extra, 16);
  const tchar* texts[] = {entry.service.c_str(), entry.target.c_str(), entry.name.c_str(), folder.c_str(),
                          commandLine.c_str(), image.c_str(), how, word};
  return CallScriptFunction(frame, functionIndex, texts, extra != nullptr ? 8 : 7, answer);
}

// The plug-in may walk the record: no search adds to it, and no walk runs.
bool RecordFree() { return !SearchHeld() && !g_inUse; }

class InUse {
 public:
  InUse() { g_inUse = true; }
  ~InUse() { g_inUse = false; }
  InUse(const InUse&) = delete;
  InUse& operator=(const InUse&) = delete;
};

// ---- starting again

bool InstallerElevated() {
  KernelHandle token = OpenToken(GetCurrentProcess(), TOKEN_QUERY);
  if (!token) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

bool StartService(const tchar* name) {
  ServiceHandle manager(TV_AW(OpenSCManager)(nullptr, nullptr, SC_MANAGER_CONNECT));
  ServiceHandle service(manager ? TV_AW(OpenService)(manager.get(), name, SERVICE_START) : nullptr);
  return service && TV_AW(StartService)(service.get(), 0, nullptr);
}

// An elevated installer starts the program as the desktop user (the shell's token), else with the
// program's own token as it ran; never with its own elevated token. Otherwise as itself.
bool StartProgram(const ClosedProgram& entry, bool elevated) {
  const wchar_t* folder = entry.details.folder.empty() ? nullptr : entry.details.folder.c_str();
  BasicText<wchar_t> line;  // the start may write into the command line: a private copy for each
  if (!elevated) return line.Assign(entry.details.commandLine) && StartOrdinary(entry.details.image.c_str(), line.data(), folder);
  if (line.Assign(entry.details.commandLine) && StartNonElevated(entry.details.image.c_str(), line.data(), folder))
    return true;
  return entry.token && line.Assign(entry.details.commandLine) &&
         StartWithToken(entry.token.get(), entry.details.image.c_str(), line.data(), folder);
}

// Whether the entry can be started again: nullptr when it can, else why not.
const char* Refusal(const ClosedProgram& entry, Ended outcome) {
  if (outcome == Ended::failed) return "failed";
  if (!entry.service.empty()) return nullptr;  // a service starts through the service manager
  if (entry.user == 0) return "other user";
  if (entry.user < 0 || entry.details.image.empty() || entry.details.commandLine.empty()) return "unknown";
  return nullptr;
}

}  // namespace

void PrepareClosedRecord() {
  if (g_lockReady) return;
  InitializeCriticalSection(&g_lock);
  g_lockReady = true;
}

void NoteProgram(const FoundProcess& program, Ended how) {
  if (!g_lockReady) return;
  {
    Locked lock(g_lock);
    if (ClosedProgram* known = Find(program.processId)) {
      known->how = how;
      return;
    }
  }
  ClosedProgram* entry = NewEntry();
  if (entry == nullptr) return;
  entry->processId = program.processId;
  entry->how = how;
  entry->detailsRead = ReadProcessDetails(program.processId, &entry->details);
  ProcessOwner owner;
  if (owner.Lookup(program.processId)) entry->user = owner.sameUser ? 1 : 0;
  CopyToken(program.processId, &entry->token);
  entry->name.Assign(program.name);
  entry->target.Assign(program.target);
  if (program.hostsServices && program.service.lpServiceName != nullptr) entry->service.Assign(program.service.lpServiceName);
  Add(entry);
}

void NoteCustom(const CustomTarget& target, bool gone) {
  if (!g_lockReady) return;
  ClosedProgram* entry = NewEntry();
  if (entry == nullptr) return;
  entry->how = gone ? Ended::closed : Ended::failed;
  entry->name.Assign(target.label != nullptr ? target.label : TV_T(""));
  entry->target.Assign(TV_T("custom"));
  Add(entry);
}

}  // namespace tv

using namespace tv;

// Pops a script function's address and offers it every program of the record, in the order they
// ended; the function answers "true" to go on. Pushes "done", "cancel" (the function stopped the
// walk) or "error".
TARVOLK_EXPORT(EnumClosedPrograms, QuillmereFrame) {
  if (!RecordFree()) {
    frame.pushword("error");
    return;
  }
  Arg address(frame);
  int functionIndex = PopArg(frame, address) ? FunctionIndexOf(address.c_str()) : -1;
  if (functionIndex < 0) {
    frame.pushword("error");
    return;
  }
  InUse walking;
  for (ClosedProgram* entry : g_record) {
    Arg answer(frame);
    if (!OfferEntry(frame, functionIndex, *entry, Outcome(*entry), nullptr, &answer) ||
        !IsWord(answer.c_str(), "true")) {
      frame.pushword("cancel");
      return;
    }
  }
  frame.pushword("done");
}

// Pops an optional "/ask" with a script function's address. Starts again, in the order they
// ended, every program of the record that was closed or killed (with its command line, in its
// folder) and every service that was stopped; then empties the record. With "/ask" the function
// hears of every entry first, with a word on top of its fields: "start" (answer "true" to have it
// started), or why it will not be: "failed", "other user", "unknown". Pushes how many were started.
TARVOLK_EXPORT(RestartClosedPrograms, QuillmereFrame) {
  if (!RecordFree()) {
    frame.pushword("error");
    return;
  }
  int functionIndex = -1;
  {
    Arg word(frame);
    if (PopArg(frame, word)) {
      if (IsWord(word.c_str(), "/ask")) {
        functionIndex = PopArg(frame, word) ? FunctionIndexOf(word.c_str()) : -1;
        if (functionIndex < 0) {
          frame.pushword("error");
          return;
        }
      } else {
        frame.pushstring(word.c_str());
      }
    }
  }
  InUse walking;
  const bool elevated = InstallerElevated();
  std::int32_t started = 0;
  for (ClosedProgram* entry : g_record) {
    Ended outcome = Outcome(*entry);
    const char* refusal = Refusal(*entry, outcome);
    if (functionIndex >= 0) {
      Arg answer(frame);
      bool wanted = OfferEntry(frame, functionIndex, *entry, outcome, refusal ? refusal : "start", &answer) &&
                    IsWord(answer.c_str(), "true");
      if (!wanted) continue;
    }
    if (refusal != nullptr) continue;
    bool ok = !entry->service.empty() ? StartService(entry->service.c_str()) : StartProgram(*entry, elevated);
    if (ok) ++started;
  }
  ClearRecord();
  frame.pushint(started);
}
