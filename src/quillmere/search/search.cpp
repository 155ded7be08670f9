// The search run: the passes in their fixed order, each item tested against the targets of its
// pass, and the reports, to the page's list or to the script's function.
#include "quillmere/search/search.h"

#include <initializer_list>
#include <new>

#include "frame/buffer.h"
#include "quillmere/system/engine.h"
#include "quillmere/system/handle_scan.h"
#include "quillmere/system/helper_bridge.h"
#include "quillmere/module.h"
#include "quillmere/system/path_text.h"
#include "quillmere/search/script_calls.h"
#include "quillmere/system/process_control.h"
#include "quillmere/search/search_text.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

// One program reported by the running search: its process id, and in page mode its row's first
// text. The table grows with the reports, so that no program is ever offered twice.
struct FoundSlot {
  DWORD processId;
  tchar* name;
};

Buffer<FoundSlot> g_found;
volatile DWORD g_foundProcesses = 0;
volatile DWORD g_lastPercent = 0;
HANDLE g_searchThread = nullptr;

alignas(ServiceList) unsigned char g_serviceStorage[sizeof(ServiceList)];
ServiceList* g_services = nullptr;

void ReleaseServices() {
  if (g_services == nullptr) return;
  g_services->~ServiceList();
  g_services = nullptr;
}

void ReleaseFound() {
  for (FoundSlot& slot : g_found) StackFree(slot.name);
  g_found.Clear();
  g_foundProcesses = 0;
}

bool FoundHolds(DWORD processId, const tchar* name) {
  for (const FoundSlot& slot : g_found)
    if (slot.processId == processId && (name == nullptr || (slot.name != nullptr && SameText(slot.name, name))))
      return true;
  return false;
}

// Records a reported program; false when no memory is left (the program is reported anyway).
bool RecordFound(DWORD processId, const tchar* name) {
  FoundSlot slot = {processId, nullptr};
  if (name != nullptr) {
    std::size_t size = Length(name) + 1;
    slot.name = static_cast<tchar*>(StackAlloc(size * sizeof(tchar)));
    if (slot.name != nullptr) CopyBounded(slot.name, name, size);
  }
  if (g_found.Push(slot)) return true;
  StackFree(slot.name);
  return false;
}

struct SearchContext {
  const TargetList* targets;  // the pass's list; null in the custom and applications passes
  CustomTarget* custom;       // the custom pass's current target
  TargetKind kind;
  PageView* view;             // null in silent mode
  int scriptFunction;
  DWORD doneBefore;
  DWORD totalItems;
  DWORD ownProcessId;
  DWORD shownPercent;
  bool stopped;  // silent mode: an answer ended the search
  tchar scratch[512];
};

// Silent mode: offers a program to the script's function once per search; nonzero to go on.
int AskScript(const tchar* first, const tchar* second, int scriptFunction, const FoundRecord& record) {
  tchar id[16] = {TV_T('0'), 0};  // a custom target has no process: "0", which no process has
  if (!record.isCustom) {
    if (FoundHolds(record.process.processId, nullptr)) return 1;
    RecordFound(record.process.processId, nullptr);
    ++g_foundProcesses;
    FormatUnsigned(id, record.process.processId);
  }
  Arg answer(QuillmereFrame());
  if (!CallScript(scriptFunction, {first, second, id}, &answer)) return 0;
  if (IsWord(answer.c_str(), "true")) return 1;
  bool terminate = IsWord(answer.c_str(), "autoclose");
  if (!terminate && !IsWord(answer.c_str(), "close")) return 0;
  if (AutoCloseProcess(record, terminate)) return 1;
  // It could not be closed: the function hears it once more, and the search stops.
  CallScript(scriptFunction, {first, second, TV_T("-1")}, nullptr);
  return 0;
}

// Page mode: a new row, unless the program is listed already under the same first text.
int AddListRow(PageView* view, const tchar* first, const tchar* second, HICON icon, FoundRecord* record) {
  if (!record->isCustom) {
    if (FoundHolds(record->process.processId, first)) {
      if (icon != nullptr) DestroyIcon(icon);
      FreeFoundRecord(record);
      return 1;
    }
    RecordFound(record->process.processId, first);
    ++g_foundProcesses;
  }
  bool ownIcon = !record->isCustom;  // a custom target keeps its own; the page owns the record now
  view->InsertRow(first, second, icon, record);
  if (ownIcon && icon != nullptr) DestroyIcon(icon);
  return 1;
}

int ReportFound(const ProcessEntry* entry, const tchar* target, SearchContext* context) {
  // A helper process stands for its application: reported as the application's first process.
  ProcessEntry root;
  root.processId = ApplicationRoot(entry->processId);
  if (root.processId != entry->processId) {
    if (context->view != nullptr && root.processId == context->ownProcessId) return 1;
    root.window = nullptr;
    FillImagePath(&root);
    FillDisplayName(&root, context->view != nullptr);
    entry = &root;
  }
  tchar name[512] = {};
  if (entry->imagePath[0] != 0) {
    FileNameFromPath(entry->imagePath, kPathChars, name, 512);
    if (IsWord(name, "explorer.exe")) return 1;  // the shell is never reported
  }
  FoundRecord* record = NewFoundRecord();
  if (record == nullptr) return 1;
  record->process.window = entry->window;
  record->process.processId = entry->processId;
  CopyBounded(record->process.name, entry->displayName, kPathChars);
  CopyBounded(record->process.image, entry->imagePath, kPathChars);
  CopyBounded(record->process.target, target, kTargetChars);
  if (g_services != nullptr)
    record->process.hostsServices = g_services->FindServiceOfProcess(entry->processId, &record->process.service);
  if (context->view == nullptr) {
    int answer = AskScript(entry->displayName, entry->imagePath, context->scriptFunction, *record);
    FreeFoundRecord(record);
    return answer;
  }
  HICON icon = nullptr;
  if (entry->imagePath[0] != 0) TV_AW(ExtractIconEx)(entry->imagePath, 0, nullptr, &icon, 1);
  if (context->scriptFunction >= 0) CallScript(context->scriptFunction, {entry->imagePath}, nullptr);  // answer not read
  return AddListRow(context->view, entry->displayName, name, icon, record);
}

bool Leaving(const SearchContext* context) { return context->view != nullptr && context->view->LeaveRequested(); }

bool Matches(const ProcessEntry* entry, const tchar* target, const tchar* lowerPath, SearchContext* context) {
  switch (context->kind) {
    case TargetKind::file:
    case TargetKind::module:
      return PathStartsWith(lowerPath, target);
    case TargetKind::caption:
      CopyBounded(context->scratch, entry->displayName, 512);
      LowerText(context->scratch);
      return WildcardMatch(target, static_cast<const tchar*>(context->scratch));
    case TargetKind::window_class:
      // A window that is gone by now has no class to test: skipped.
      if (!IsWindow(entry->window) || TV_AW(GetClassName)(entry->window, context->scratch, 512) == 0) return false;
      LowerText(context->scratch);
      return WildcardMatch(target, static_cast<const tchar*>(context->scratch));
    default:
      return true;
  }
}

int MatchCustom(SearchContext* context) {
  CustomTarget* target = context->custom;
  if (!AskCustomTarget(target)) return 1;
  FoundRecord* record = NewFoundRecord();
  if (record == nullptr) return 1;
  record->isCustom = true;
  record->custom = target;
  if (context->view != nullptr) return AddListRow(context->view, target->label, target->detail, target->icon, record);
  int answer = AskScript(target->label, target->detail, context->scriptFunction, *record);
  FreeFoundRecord(record);
  return answer;
}

// The percentage at `done` items of the whole search.
void ShowPercentAt(SearchContext* context, DWORD done) {
  DWORD percent = SearchPercent(done, 0, context->totalItems);
  g_lastPercent = percent;
  if (context->view != nullptr && percent != context->shownPercent) {
    context->shownPercent = percent;
    context->view->ShowPercent(percent);
  }
}

int MatchEntryOnce(const ProcessEntry* entry, SearchContext* context) {
  ShowPercentAt(context, context->doneBefore + entry->position);
  if (context->kind == TargetKind::custom) return MatchCustom(context);
  if (IsSystemProcessId(entry->processId)) return 1;
  if (context->view != nullptr && entry->processId == context->ownProcessId) return 1;  // the page never lists the installer
  tchar lowerPath[kPathChars];
  CopyBounded(lowerPath, entry->itemPath, kPathChars);
  LowerText(lowerPath);
  if (context->kind == TargetKind::file || context->kind == TargetKind::module) {
    const TargetList& folders = Targets().folders;
    for (DWORD i = 0; i < folders.count; ++i)
      if (PathStartsWith(static_cast<const tchar*>(lowerPath), static_cast<const tchar*>(folders.entries[i])) &&
          !ReportFound(entry, folders.entries[i], context))
        return 0;
  }
  if (context->kind == TargetKind::applications)
    return Leaving(context) ? 0 : ReportFound(entry, TV_T("applications"), context);
  for (DWORD i = 0; context->targets != nullptr && i < context->targets->count; ++i) {
    if (Leaving(context)) return 0;
    const tchar* target = context->targets->entries[i];
    if (Matches(entry, target, lowerPath, context) && !ReportFound(entry, target, context)) return 0;
  }
  return 1;
}

// The callback of every pass, the companion's records included.
int MatchEntry(const ProcessEntry* entry, void* arg) {
  auto* context = static_cast<SearchContext*>(arg);
  if (context->stopped || ScriptCallsAbandoned()) return 0;
  if (MatchEntryOnce(entry, context) != 0) return 1;
  if (context->view == nullptr) context->stopped = true;
  return 0;
}

}  // namespace

FoundRecord* NewFoundRecord() { return static_cast<FoundRecord*>(StackAlloc(sizeof(FoundRecord))); }
void FreeFoundRecord(FoundRecord* record) { StackFree(record); }

DWORD LastPercent() { return g_lastPercent; }
DWORD FoundProcessCount() { return g_foundProcesses; }
ServiceList* SearchServices() { return g_services; }
HANDLE& SearchThread() { return g_searchThread; }

bool AskCustomTarget(const CustomTarget* target) {
  Arg answer(QuillmereFrame());
  return CallScript(target->scriptFunction, {target->detail}, &answer) && IsWord(answer.c_str(), "true");
}

bool ProcessIsRunning(DWORD processId) {
  struct Look {
    DWORD id;
    bool seen;
  } look = {processId, false};
  EnumProcessIds(
      [](DWORD id, void* value) {
        auto* l = static_cast<Look*>(value);
        if (id != l->id) return 1;
        l->seen = true;
        return 0;
      },
      &look);
  return look.seen;
}

int RunSearch(PageView* view, int scriptFunction) {
  SearchContext context = {};
  context.view = view;
  context.scriptFunction = scriptFunction;
  context.ownProcessId = GetCurrentProcessId();
  context.shownPercent = 0xFFFFFFFFu;
  const EnumRequest request = {&context, view != nullptr ? 1 : 0};
  const SearchTargets& targets = Targets();
  if (view != nullptr) view->SearchStarted();
  // The search's own thread reads 64-bit programs' files (their icons) as they are, for its
  // whole walk.
  InitProcessApi();
  FsRedirectionOff redirection;

  ReleaseServices();
  g_services = new (g_serviceStorage)
      ServiceList(g_instance, static_cast<HWND>(QuillmereFrame().hwndParent), view ? view->StopCaptionFormat() : nullptr);

  // The weight of each pass: what it will look at.
  const bool paths = targets.files.count > 0 || targets.folders.count > 0;
  const bool modules = targets.modules.count > 0 || targets.folders.count > 0;
  DWORD handles = paths ? CountSystemHandles() : 0;
  // One step per process of the list. Each item of the module pass carries as position the
  // processes its walk has reported so far; where the companion walks the 64-bit processes
  // first, the plug-in's walk of the 32-bit ones goes on from the companion's count, so the
  // percentage rises by one step per process walked, whichever side walks it.
  DWORD processes = modules ? CountProcesses() : 0;
  DWORD windows = 0;
  auto visible = [&windows]() {
    if (windows == 0) windows = CountVisibleWindows();
    return windows;
  };
  DWORD classes = targets.classes.count > 0 ? visible() : 0;
  DWORD captions = targets.captions.count > 0 ? visible() : 0;
  DWORD applications = targets.applicationsWanted ? visible() : 0;
  DWORD custom = targets.customCount;
  context.totalItems = custom + applications + captions + classes + processes + handles;

  ReleaseFound();
  g_lastPercent = 0;

  // Each pass in turn; none after the page asked to leave, none after an answer stopped a
  // silent search.
  auto proceed = [&context]() { return !context.stopped && !Leaving(&context); };
  if (custom > 0 && proceed()) {
    context.kind = TargetKind::custom;
    for (DWORD i = 0; i < custom && proceed(); ++i) {
      ProcessEntry entry = {};
      entry.position = i + 1;
      entry.total = custom;
      context.custom = &Targets().custom[i];
      MatchEntry(&entry, &context);
    }
  }
  context.doneBefore = custom;
  context.custom = nullptr;
  if (applications > 0 && proceed()) {
    context.kind = TargetKind::applications;
    context.targets = nullptr;
    EnumWindowEntries(&MatchEntry, &request);
  }
  context.doneBefore += applications;
  if (captions > 0 && proceed()) {
    context.kind = TargetKind::caption;
    context.targets = &targets.captions;
    EnumWindowEntries(&MatchEntry, &request);
  }
  context.doneBefore += captions;
  if (classes > 0 && proceed()) {
    context.kind = TargetKind::window_class;
    context.targets = &targets.classes;
    EnumWindowEntries(&MatchEntry, &request);
  }
  context.doneBefore += classes;
  if (modules && proceed()) {
    context.kind = TargetKind::module;
    context.targets = &targets.modules;
    const DWORD passStart = context.doneBefore;
    ProcessWidth width = ProcessWidth::all;
    if (IsWow64()) {
      // "<find windows> <with modules>"
      char arguments[] = {request.findWindow ? '1' : '0', ' ', '1', 0};
      HelperOutcome companion = RunHelper64(arguments, &MatchEntry, &request);
      // The companion reported every 64-bit process with its image: the 32-bit ones are left.
      // Without it (missing, failed, of another version) every process is walked here, so the
      // images of 64-bit programs are still seen (their modules are not).
      if (companion.complete) {
        width = ProcessWidth::wow64;
        context.doneBefore += companion.walked;
      }
    }
    if (proceed()) EnumProcessEntries(&MatchEntry, &request, true, width);
    context.doneBefore = passStart;
  }
  context.doneBefore += processes;
  if (paths && proceed()) {
    context.kind = TargetKind::file;
    context.targets = &targets.files;
    EnumFileHandleEntries(&MatchEntry, &request);
  }
  // A search that ran every pass ends at 100, however many items its passes reported.
  if (proceed()) ShowPercentAt(&context, context.totalItems);
  if (view != nullptr) view->SearchEnded();
  return context.stopped ? 0 : 1;
}

void ResetSearchState() {
  ResetSearchTargets();
  ReleaseServices();
  ReleaseFound();
  g_lastPercent = 0;
}

}  // namespace tv
