// EnumProcesses, FindProcess, CloseProcess, KillProcesses and IsFileLocked: the process tools,
// exports of their own on the system layer.
#include "quillmere/system/process_control.h"

#include "frame/numbers.h"
#include "frame/owned.h"
#include "quillmere/system/engine.h"
#include "quillmere/module.h"
#include "quillmere/system/path_text.h"
#include "quillmere/system/polite_close.h"
#include "quillmere/system/process_owner.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

// ---- EnumProcesses

struct ScriptWalk {
  Frame* frame;
  int functionIndex;
};

int OfferToScript(const ProcessEntry* entry, void* arg) {
  auto* walk = static_cast<ScriptWalk*>(arg);
  if (IsSystemProcessId(entry->processId)) return 1;
  Frame& frame = *walk->frame;
  tchar id[16];
  FormatUnsigned(id, entry->processId);
  const tchar* texts[] = {entry->displayName, entry->imagePath, id};
  Arg answer(frame);
  return CallScriptFunction(frame, walk->functionIndex, texts, 3, &answer) && IsWord(answer.c_str(), "true") ? 1 : 0;
}

// ---- FindProcess and CloseProcess

// The lowercased, backslash-prefixed program name; string_size + 1 characters.
class NameMatch {
 public:
  NameMatch(const Frame& frame, const tchar* name) : text_(frame.TextCapacity() + 1) {
    if (text_.data() == nullptr) return;
    BuildNameMatch(name, text_.data(), text_.capacity());
    LowerText(text_.data());
  }
  bool ok() const { return text_.c_str() != nullptr; }
  bool Matches(const ProcessEntry* entry) const {
    tchar path[kPathChars];
    CopyBounded(path, entry->itemPath, kPathChars);
    LowerText(path);
    return PathEndsWith(path, text_.c_str());
  }

 private:
  Arg text_;
};

struct FindWalk {
  Frame* frame;
  const NameMatch* match;
  bool yesno;
  bool user;
  bool found;
};

// An owner that cannot be read, or whose account has no name, is pushed with empty names; only
// the installer's own user counts as the same user.
void PushOwner(Frame& frame, DWORD processId) {
  ProcessOwner owner;
  owner.Lookup(processId);
  frame.pushstring(owner.accountName ? owner.accountName : TV_T(""));
  frame.pushstring(owner.domainName ? owner.domainName : TV_T(""));
  frame.pushword(owner.sameUser ? "1" : "0");
}

int ReportFirstMatch(const ProcessEntry* entry, void* arg) {
  auto* walk = static_cast<FindWalk*>(arg);
  if (IsSystemProcessId(entry->processId) || !walk->match->Matches(entry)) return 1;
  Frame& frame = *walk->frame;
  if (walk->user) PushOwner(frame, entry->processId);
  if (walk->yesno) {
    frame.pushword("yes");
  } else {
    tchar id[16];
    FormatUnsigned(id, entry->processId);
    frame.pushstring(entry->displayName);
    frame.pushstring(entry->imagePath);
    frame.pushstring(id);
  }
  walk->found = true;
  return 0;
}

struct CloseWalk {
  const NameMatch* match;
  bool kill;
  bool wait;
  bool found;
  bool refused;
  bool running;
  DWORD start;
  DWORD limit;
};

// What is left of the time "/wait" gave (without it: none, so each program is only asked).
DWORD Left(const CloseWalk& walk) {
  DWORD passed = GetTickCount() - walk.start;
  return passed < walk.limit ? walk.limit - passed : 0;
}

int CloseMatching(const ProcessEntry* entry, void* arg) {
  auto* walk = static_cast<CloseWalk*>(arg);
  const DWORD id = entry->processId;
  // The installer itself (or the uninstaller it is a copy of) is never asked nor counted, nor a
  // shared service host that is not terminated.
  if (IsSystemProcessId(id) || !walk->match->Matches(entry) || !MayEndProcess(id)) return 1;
  if (walk->kill) {
    walk->found = TerminateAndWait(id) || walk->found;
    return 1;
  }
  walk->found = true;
  // The helper processes of an application go with its first process, which has their name; a
  // service that shares its process with others is left alone.
  ServiceList services(nullptr, nullptr, nullptr);
  ServiceEntry service;
  bool hosts = services.FindServiceOfProcess(id, &service);
  if ((hosts && (service.ServiceStatusProcess.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0) ||
      ApplicationRoot(id) != id)
    return 1;
  const CloseRequest request = {id, entry->window, hosts ? &services : nullptr, &service, false, Left(*walk)};
  if (!walk->wait) {
    ClosePolitely(request);
    return 1;
  }
  Application application(id);
  walk->refused = ClosePolitely(request) == Closed::refused || walk->refused;
  walk->running = !application.AllEnded(Left(*walk)) || walk->running;
  return 1;
}

// ---- IsFileLocked

// The path as CreateFileW opens it at any length: in UTF-16 (from the ANSI code page in
// x86-ansi), and where its full path has MAX_PATH characters or more, in the extended form of
// that full path. Null when it cannot be made (no memory left).
class OpenablePath {
 public:
  explicit OpenablePath(const tchar* path) {
#ifdef TARVOLK_UNICODE
    const wchar_t* wide = path;
#else
    int chars = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (chars <= 0) return;
    given_.reset(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(chars) * sizeof(wchar_t)));
    auto* wide = static_cast<wchar_t*>(given_.get());
    if (wide == nullptr || MultiByteToWideChar(CP_ACP, 0, path, -1, wide, chars) <= 0) return;
#endif
    DWORD size = GetFullPathNameW(wide, 0, nullptr, nullptr);  // terminator included
    if (size == 0 || size <= kLongPathChars) {
      form_ = wide;  // short, or no full path to be had: as given
      return;
    }
    HeapBlock full(HeapAlloc(GetProcessHeap(), 0, size * sizeof(wchar_t)));
    auto* fullPath = static_cast<wchar_t*>(full.get());
    if (fullPath == nullptr) return;
    DWORD length = GetFullPathNameW(wide, size, fullPath, nullptr);
    if (length == 0 || length >= size) return;
    std::size_t formSize = LongPathForm(fullPath, static_cast<wchar_t*>(nullptr), 0) + 1;
    extended_.reset(HeapAlloc(GetProcessHeap(), 0, formSize * sizeof(wchar_t)));
    auto* extended = static_cast<wchar_t*>(extended_.get());
    if (extended == nullptr) return;
    LongPathForm(fullPath, extended, formSize);
    form_ = extended;
  }
  const wchar_t* get() const { return form_; }

 private:
  HeapBlock given_;
  HeapBlock extended_;
  const wchar_t* form_ = nullptr;
};

}  // namespace

}  // namespace tv

using namespace tv;

// Pops a script function's address and offers it every process: the function pops the id, the
// image path and the display name, and pushes "true" to go on.
TARVOLK_EXPORT(EnumProcesses, QuillmereFrame) {
  if (!EnableDebugPrivilege()) {
    frame.pushword("error");
    return;
  }
  ScriptWalk walk = {&frame, 0};
  {
    Arg address(frame);
    if (!PopArg(frame, address)) {
      frame.pushword("error");
      return;
    }
    walk.functionIndex = FunctionIndexOf(address.c_str());
  }
  if (walk.functionIndex < 0) {
    frame.pushword("error");
    return;
  }
  EnumRequest request = {&walk, 0};
  frame.pushword(EnumProcessEntries(&OfferToScript, &request, false) ? "done" : "cancel");
}

// Pops "/yesno" and "/user" in any number and order, then the program name; reports the first
// process whose image has that name.
TARVOLK_EXPORT(FindProcess, QuillmereFrame) {
  Arg name(frame);
  if (name.data() == nullptr) {
    frame.pushword("error");
    return;
  }
  FindWalk walk = {&frame, nullptr, false, false, false};
  for (;;) {
    if (!PopArg(frame, name)) {
      frame.pushword("error");
      return;
    }
    if (IsWord(name.c_str(), "/yesno"))
      walk.yesno = true;
    else if (IsWord(name.c_str(), "/user"))
      walk.user = true;
    else
      break;
  }
  NameMatch match(frame, name.c_str());
  if (name.empty() || !match.ok()) {
    frame.pushword("error");
    return;
  }
  walk.match = &match;
  EnumRequest request = {&walk, 0};
  EnumProcessEntries(&ReportFirstMatch, &request, false);
  if (!walk.found) frame.pushword(walk.yesno ? "no" : "");
}

// Pops an optional "/kill", or "/wait" and a number of seconds, then the program name. Asks every
// matching program to close with the first step that applies to it ("ok" or "error"), or
// terminates the processes; with "/wait" asks them with every step and waits for them.
TARVOLK_EXPORT(CloseProcess, QuillmereFrame) {
  if (!EnableDebugPrivilege()) {
    frame.pushword("error");
    return;
  }
  Arg name(frame);
  if (!PopArg(frame, name)) {
    frame.pushword("error");
    return;
  }
  CloseWalk walk = {};
  int seconds = 0;
  if (IsWord(name.c_str(), "/kill")) {
    walk.kill = true;
    if (!PopArg(frame, name)) return;
  } else if (IsWord(name.c_str(), "/wait")) {
    walk.wait = true;
    seconds = PopArg(frame, name) ? myatoi_signed(name.c_str()) : -1;
    if (seconds >= 0 && !PopArg(frame, name)) seconds = -1;
  }
  NameMatch match(frame, name.c_str());
  if (seconds < 0 || name.empty() || !match.ok()) {
    frame.pushword("error");
    return;
  }
  walk.match = &match;
  walk.start = GetTickCount();
  walk.limit = seconds < 2000000 ? static_cast<DWORD>(seconds) * 1000 : 2000000000u;
  EnumRequest request = {&walk, walk.kill ? 0 : 1};
  EnumProcessEntries(&CloseMatching, &request, false);
  const char* word = walk.refused ? "refused" : walk.running ? "running" : "closed";
  frame.pushword(!walk.found ? "error" : !walk.wait ? "ok" : word);
}

// Pops a comma-separated list of process ids and terminates each listed process.
TARVOLK_EXPORT(KillProcesses, QuillmereFrame) {
  if (!EnableDebugPrivilege()) {
    frame.pushword("error");
    return;
  }
  Arg list(frame);
  if (!PopArg(frame, list)) return;
  ForEachListedProcessId(list.c_str(), [](std::uint32_t id) { TerminateAndWait(id); });
}

// Pops a file path: "true" when the file cannot be opened for exclusive reading and writing,
// "false" when it can or does not exist. Paths of any length are opened.
TARVOLK_EXPORT(IsFileLocked, QuillmereFrame) {
  Arg path(frame);
  if (!PopArg(frame, path)) return;
  OpenablePath openable(path.c_str());
  const DWORD access = GENERIC_READ | GENERIC_WRITE;
  HANDLE file = openable.get()
                    ? CreateFileW(openable.get(), access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                    : CreateFileT(path.c_str(), access, 0, OPEN_EXISTING);
  bool locked = false;
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  } else {
    DWORD error = GetLastError();
    locked = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
  }
  frame.pushword(locked ? "true" : "false");
}
