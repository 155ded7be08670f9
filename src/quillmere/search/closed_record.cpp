// The record of what the plug-in ended, EnumClosedPrograms and RestartClosedPrograms.
#include "quillmere/search/closed_record.h"

#include <new>

#include "frame/numbers.h"
#include "frame/owned.h"
#include "quillmere/module.h"
#include "quillmere/system/engine.h"
#include "quillmere/system/process_control.h"
#include "quillmere/system/process_details.h"
#include "quillmere/system/process_owner.h"
#include "quillmere/system/width.h"
#include "runas/start.h"

namespace tv {

struct ClosedProgram {
  DWORD processId = 0;
  FILETIME started = {};  // with the id, names the program; read when it was first noted
  bool startKnown = false;
  bool filling = true;    // made, and its details still being read by the thread that noted it
  ProcessDetails details;  // read before the program was asked to close
  bool detailsRead = false;
  Ended how = Ended::closed;  // the last act; written under the lock
  int user = -1;  // 1 the installer's user, 0 another user, -1 not known
  KernelHandle token;  // a copy of the program's own token, to start it again as it ran
  TokenRights rights;  // what that token allowed
  BasicText<tchar> name, target, service;
};

namespace {

// Every entry, in the order the programs were first noted. The lock guards the list, each
// entry's act and its filling flag; an entry's other fields are written only while it fills,
// by the thread that made it.
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

bool Added(ClosedProgram* entry) {
  if (entry == nullptr) return false;
  Locked lock(g_lock);
  if (g_record.Push(entry)) return true;
  FreeEntry(entry);
  return false;
}

// The second step of the unload: after the searches, so that no thread adds to the record while
// it goes. A search thread that would not end may still note programs: the record stays then.
void ReleaseRecord() {
  if (!g_lockReady || SearchHeld()) return;
  Locked lock(g_lock);
  for (ClosedProgram* entry : g_record) FreeEntry(entry);
  g_record.Clear();
}
const bool g_releaseAtUnload = (AtModuleUnload(UnloadStep::record, &ReleaseRecord), true);

// A primary copy of the program's token, for a start as it ran, and what that token allows.
void CopyToken(DWORD processId, ClosedProgram* entry) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process) return;
  entry->token = PrimaryTokenOf(process.get());
  KernelHandle token = OpenToken(process.get(), TOKEN_QUERY);
  if (token) ReadTokenRights(token.get(), &entry->rights);
}

// The entry of the program that runs under this id and started then (under the lock).
ClosedProgram* Find(DWORD processId, const FILETIME& started, bool startKnown) {
  for (ClosedProgram* entry : g_record)
    if (processId != 0 && entry->processId == processId && entry->startKnown == startKnown &&
        (!startKnown || CompareFileTime(&entry->started, &started) == 0))
      return entry;
  return nullptr;
}

bool Filling(const ClosedProgram& entry) {
  Locked lock(g_lock);
  return entry.filling;
}

Ended LastAct(const ClosedProgram& entry) {
  Locked lock(g_lock);
  return entry.how;
}

// What became of the act: one whose program (or service) still runs has failed.
Ended Outcome(const ClosedProgram& entry) {
  Ended how = LastAct(entry);
  if (how == Ended::failed || entry.processId == 0) return how;
  if (how == Ended::stopped && !entry.service.empty()) {
    ServiceHandle manager(TV_AW(OpenSCManager)(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager ? TV_AW(OpenService)(manager.get(), entry.service.c_str(), SERVICE_QUERY_STATUS)
                                  : nullptr);
    SERVICE_STATUS status = {};
    if (service && QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED)
      return Ended::failed;
    return Ended::stopped;
  }
  bool runs = entry.startKnown ? ProcessStillRuns(entry.processId, entry.started) : ProcessIsRunning(entry.processId);
  return runs ? Ended::failed : how;
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

// The entries that a walk offers: those the record held when it began. A function that the walk
// runs may start a search or a page that adds entries: they stay for the next walk.
bool TakeWalk(Buffer<ClosedProgram*>* walk) {
  Locked lock(g_lock);
  for (ClosedProgram* entry : g_record)
    if (!entry->filling && !walk->Push(entry)) return false;
  return true;
}

// Takes the walked entries out of the record and frees them; the others stay.
void Forget(Buffer<ClosedProgram*>& walked) {
  {
    Locked lock(g_lock);
    std::size_t kept = 0;
    for (ClosedProgram* entry : g_record) {
      bool gone = false;
      for (ClosedProgram* other : walked) gone = gone || other == entry;
      if (!gone) g_record[kept++] = entry;
    }
    g_record.Resize(kept);
  }
  for (ClosedProgram* entry : walked) FreeEntry(entry);
  walked.Clear();
}

// ---- starting again

// The tokens a restart may start programs with, read once for the walk.
struct Starters {
  bool elevated = false;  // the installer runs elevated: it may start a program with its own token
  TokenRights installer;
  KernelHandle shellToken;  // the desktop shell's, where there is one the installer may use
  TokenRights shell;
};

void ReadStarters(Starters* starters) {
  KernelHandle own = OpenToken(GetCurrentProcess(), TOKEN_QUERY);
  if (own) {
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    starters->elevated = GetTokenInformation(own.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
                         elevation.TokenIsElevated != 0;
    ReadTokenRights(own.get(), &starters->installer);
  }
  starters->shellToken = ShellToken();
  if (starters->shellToken) ReadTokenRights(starters->shellToken.get(), &starters->shell);
}

// How a program may be started again, tried in this order: with its own token (where the
// installer may use it), the shell's, the installer's; the last two only when no stronger than
// the program's own.
enum : unsigned { kOwnToken = 1, kShellToken = 2, kInstallerToken = 4 };

unsigned StartWays(const ClosedProgram& entry, const Starters& starters) {
  unsigned ways = 0;
  if (starters.elevated && entry.token) ways |= kOwnToken;
  if (starters.shellToken && NoStronger(starters.shell, entry.rights)) ways |= kShellToken;
  if (NoStronger(starters.installer, entry.rights)) ways |= kInstallerToken;
  return ways;
}

bool StartProgram(const ClosedProgram& entry, unsigned ways, const Starters& starters) {
  const wchar_t* image = entry.details.image.c_str();
  const wchar_t* folder = entry.details.folder.empty() ? nullptr : entry.details.folder.c_str();
  BasicText<wchar_t> line;  // the start may write into the command line: a private copy for each
  auto fresh = [&]() { return line.Assign(entry.details.commandLine); };
  // The image path is the one the program ran from: a 64-bit program's System32 path must not
  // become the SysWOW64 copy in a 32-bit installer. Only for this start; the thread's own
  // redirection comes back after it.
  InitProcessApi();
  FsRedirectionOff redirection;
  if ((ways & kOwnToken) && fresh() && StartWithToken(entry.token.get(), image, line.data(), folder)) return true;
  if ((ways & kShellToken) && fresh() && StartWithToken(starters.shellToken.get(), image, line.data(), folder))
    return true;
  return (ways & kInstallerToken) && fresh() && StartOrdinary(image, line.data(), folder);
}

bool StartService(const tchar* name) {
  ServiceHandle manager(TV_AW(OpenSCManager)(nullptr, nullptr, SC_MANAGER_CONNECT));
  ServiceHandle service(manager ? TV_AW(OpenService)(manager.get(), name, SERVICE_START) : nullptr);
  return service && TV_AW(StartService)(service.get(), 0, nullptr);
}

// A helper process of a program that the walk also holds (IsHelperProcess): it comes back with
// its parent, not on its own.
bool IsHelper(const ClosedProgram& entry, const Buffer<ClosedProgram*>& walked) {
  if (!entry.detailsRead) return false;
  for (const ClosedProgram* parent : walked)
    if (parent != &entry && parent->detailsRead && IsHelperProcess(entry.details, parent->processId, parent->details))
      return true;
  return false;
}

// Whether the entry can be started again: nullptr when it can (with `ways`), else why not.
const char* Refusal(const ClosedProgram& entry, Ended outcome, const Buffer<ClosedProgram*>& walked,
                    const Starters& starters, unsigned* ways) {
  if (outcome == Ended::failed) return "failed";
  if (!entry.service.empty()) return nullptr;  // a service starts through the service manager
  if (entry.user == 0) return "other user";
  if (entry.user < 0 || entry.details.image.empty() || entry.details.commandLine.empty()) return "unknown";
  if (IsHelper(entry, walked)) return "helper";
  *ways = StartWays(entry, starters);
  return *ways == 0 ? "restricted" : nullptr;
}

// Waits, serving the messages sent to this thread, while another thread reads the entry's details
// (at most about 30 s: a thread stuck in the read does not hold this one).
void WaitFilled(const ClosedProgram& entry) {
  for (int i = 0; i < 3000 && Filling(entry); ++i) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
    MSG message;
    TV_AW(PeekMessage)(&message, nullptr, 0, 0, PM_NOREMOVE);
  }
}

}  // namespace

void PrepareClosedRecord() {
  if (g_lockReady) return;
  InitializeCriticalSection(&g_lock);
  g_lockReady = true;
}

ClosedProgram* NoteProgram(const FoundProcess& program, Ended how, ClosedProgram* noted) {
  if (!g_lockReady) return nullptr;
  FILETIME started = {};
  bool startKnown = noted == nullptr && ProcessStartTime(program.processId, &started);
  ClosedProgram* entry = noted;
  {
    // Found or made in one step, so that two threads noting one program make one entry.
    Locked lock(g_lock);
    if (entry == nullptr) entry = Find(program.processId, started, startKnown);
    if (entry != nullptr) {
      entry->how = how;
    } else {
      entry = NewEntry();
      if (entry == nullptr) return nullptr;
      if (!g_record.Push(entry)) {
        FreeEntry(entry);
        return nullptr;
      }
      entry->processId = program.processId;
      entry->started = started;
      entry->startKnown = startKnown;
      entry->how = how;
      noted = entry;  // this thread fills it
    }
  }
  if (noted != entry || !Filling(*entry)) {
    WaitFilled(*entry);
    return entry;
  }
  // Read outside the lock: the companion may take a while for a 64-bit program.
  entry->detailsRead = ReadProcessDetails(program.processId, &entry->details);
  ProcessOwner owner;
  if (owner.Lookup(program.processId)) entry->user = owner.sameUser ? 1 : 0;
  CopyToken(program.processId, entry);
  entry->name.Assign(program.name);
  entry->target.Assign(program.target);
  if (program.hostsServices && program.service.lpServiceName != nullptr)
    entry->service.Assign(program.service.lpServiceName);
  Locked lock(g_lock);
  entry->filling = false;
  return entry;
}

void NoteCustom(const CustomTarget& target, bool gone) {
  if (!g_lockReady) return;
  ClosedProgram* entry = NewEntry();
  if (entry == nullptr) return;
  entry->how = gone ? Ended::closed : Ended::failed;
  entry->filling = false;
  entry->name.Assign(target.label != nullptr ? target.label : TV_T(""));
  entry->target.Assign(TV_T("custom"));
  Added(entry);
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
  Buffer<ClosedProgram*> walk;
  if (functionIndex < 0 || !TakeWalk(&walk)) {
    frame.pushword("error");
    return;
  }
  InUse walking;
  for (ClosedProgram* entry : walk) {
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
// folder, with a token no stronger than its own) and every service that was stopped; then takes
// them out of the record. With "/ask" the function hears of every entry first, with a word on top
// of its fields: "start" (answer "true" to have it started), or why it will not be: "failed",
// "other user", "unknown", "helper", "restricted". Pushes how many were started.
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
  Buffer<ClosedProgram*> walk;
  if (!TakeWalk(&walk)) {
    frame.pushword("error");
    return;
  }
  InUse walking;
  Starters starters;
  ReadStarters(&starters);
  std::int32_t started = 0;
  for (ClosedProgram* entry : walk) {
    Ended outcome = Outcome(*entry);
    unsigned ways = 0;
    const char* refusal = Refusal(*entry, outcome, walk, starters, &ways);
    if (functionIndex >= 0) {
      Arg answer(frame);
      bool wanted = OfferEntry(frame, functionIndex, *entry, outcome, refusal ? refusal : "start", &answer) &&
                    IsWord(answer.c_str(), "true");
      if (!wanted) continue;
    }
    if (refusal != nullptr) continue;
    bool ok = !entry->service.empty() ? StartService(entry->service.c_str()) : StartProgram(*entry, ways, starters);
    if (ok) ++started;
  }
  Forget(walk);
  frame.pushint(started);
}
