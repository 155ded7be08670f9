#include "quillmere/system/helper_bridge.h"

#include "frame/buffer.h"
#include "frame/owned.h"
#include "quillmere/system/helper_batch.h"
#include "quillmere/system/process_details.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

WNDPROC g_previousProc = nullptr;
EntryCallback g_callback = nullptr;
const EnumRequest* g_request = nullptr;
HelperOutcome g_outcome = {};
bool g_refused = false;  // a block of this run was refused, or a callback stopped it

void CopyName(const HelperRecord& record, int which, tchar* out) {
  wchar_t name[kHelperPathChars];
  CopyHelperText(record, which, name);
  FromNative(name, record.length[which], out, kPathChars);
}

// What a window of one companion run keeps (its user data): the run's own state, and how many
// of the companion's messages it has taken, which tells the wait that the companion still works.
struct CompanionRun {
  void* state;
  DWORD heard;
};

CompanionRun* RunOf(HWND window) {
  return reinterpret_cast<CompanionRun*>(TV_AW(GetWindowLongPtr)(window, GWLP_USERDATA));
}

LRESULT CALLBACK HelperWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    if (CompanionRun* run = RunOf(window)) ++run->heard;
    return HandleHelperCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  }
  return TV_AW(CallWindowProc)(g_previousProc, window, message, wParam, lParam);
}

// How long the companion may stay silent, from its start and after each message of its that was
// answered, before it counts as absent. It sends its first block within about 0.1 s of its start
// and the next ones as often; time that the plug-in spends on a block (a script function asked
// about a program) does not count.
constexpr DWORD kCompanionSilenceMs = 5000;

// Starts the system's own 64-bit rundll32 by its full path (never one found by a search of the
// folders a bare name would be looked for in, the plug-in's or the installer's), hidden, in the
// plug-in's folder. System32 is the 64-bit one while redirection is off, for this call only.
bool StartCompanion(tchar* commandLine, const tchar* folder, PROCESS_INFORMATION* started) {
  tchar program[MAX_PATH + 16];
  if (!SystemFilePath(TV_T("\\rundll32.exe"), program)) return false;
  TV_AW(STARTUPINFO) startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  FsRedirectionOff redirection;
  return TV_AW(CreateProcess)(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                              started) != FALSE;
}

// Waits for the companion's process while serving the thread's messages (its blocks among
// them). A companion that stays silent too long (one that hangs, or rundll32's message about an
// entry point that a companion of another version lacks, which waits for a click) is ended: only
// the process started for this run.
void ServeUntilEnded(HANDLE process, const CompanionRun& run) {
  DWORD heard = run.heard;
  DWORD since = GetTickCount();
  for (;;) {
    DWORD silent = GetTickCount() - since;
    DWORD woke = silent >= kCompanionSilenceMs ? WAIT_TIMEOUT
                                               : MsgWaitForMultipleObjects(1, &process, FALSE,
                                                                           kCompanionSilenceMs - silent, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) return;
    if (woke != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    while (TV_AW(PeekMessage)(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      TV_AW(DispatchMessage)(&msg);
    }
    if (run.heard != heard) {
      heard = run.heard;
      since = GetTickCount();
    }
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return;
  }
  TerminateProcess(process, 1);
  WaitForSingleObject(process, kCompanionSilenceMs);
}

// The handle in hexadecimal, all of its digits (as "%p" writes it).
void FormatPointer(HWND window, char (&out)[2 * sizeof(void*) + 1]) {
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(window);
  for (int i = 2 * sizeof(void*) - 1; i >= 0; --i, value >>= 4) out[i] = "0123456789ABCDEF"[value & 15];
  out[2 * sizeof(void*)] = 0;
}

}  // namespace

void SetHelperRequest(EntryCallback callback, const EnumRequest* request) {
  g_callback = callback;
  g_request = request;
  g_outcome = {};
  g_refused = false;
}

HelperOutcome LastHelperOutcome() { return g_outcome; }

LRESULT HandleHelperCopyData(const COPYDATASTRUCT* data) {
  HelperBatchReader reader;
  if (g_refused || g_callback == nullptr || g_request == nullptr || data == nullptr ||
      data->dwData != kHelperBatchMessage ||
      !reader.Open(data->lpData, data->cbData)) {
    g_refused = true;
    return 0;
  }
  HelperRecord record;
  ProcessEntry entry = {};
  entry.total = reader.Total();
  while (reader.Next(&record)) {
    entry.processId = record.processId;
    // Only the low 32 bits of a window handle are significant: sign-extended, as between widths.
    entry.window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(record.window)));
    entry.position = record.position;
    CopyName(record, 0, entry.itemPath);
    CopyName(record, 1, entry.displayName);
    CopyName(record, 2, entry.imagePath);
    if (!g_callback(&entry, g_request->callbackArg)) {
      g_refused = true;
      return 0;
    }
  }
  g_outcome.walked = reader.Walked();
  g_outcome.complete = (reader.Flags() & kHelperBatchLast) != 0;
  return 1;
}

namespace {

// Starts "rundll32.exe "<folder>\Quillmere64.dll",<entryPoint> 0x<window> <arguments>" with the
// companion beside the plug-in, a message-only window of the calling thread whose procedure is
// `procedure` and whose run state is `state`, and serves it until the companion ends or counts as
// absent. False when there is no companion or it could not be started. Works in the build's
// width, so that a plug-in folder named outside the ANSI code page (a temporary folder under such
// a user name) is found and handed to rundll32 as it is. Each run has a window and a state of its
// own: two threads may run the companion at once (the page's search, and a program noted on the
// installer's thread).
bool RunCompanion(const char* entryPoint, const char* arguments, WNDPROC procedure, void* state) {
  InitProcessApi();
  static const char kHelperName[] = "Quillmere64.dll";
  tchar helperPath[MAX_PATH + sizeof kHelperName] = {};
  DWORD length = GetModuleFileNameT(g_instance, helperPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  tchar* slash = helperPath + length;
  while (slash > helperPath && *slash != tchar('\\')) --slash;
  *slash = 0;
  tchar folder[MAX_PATH];
  CopyBounded(folder, helperPath, MAX_PATH);
  TV_AW(wsprintf)(slash, TV_T("\\%hs"), kHelperName);
  if (TV_AW(GetFileAttributes)(helperPath) == INVALID_FILE_ATTRIBUTES) return false;

  HWND window = TV_AW(CreateWindowEx)(0, TV_T("STATIC"), TV_T("Quillmere x64 Checker"), WS_POPUP, 0, 0, 100, 100, HWND_MESSAGE,
                                nullptr, g_instance, nullptr);
  if (window == nullptr) return false;
  CompanionRun run = {state, 0};
  TV_AW(SetWindowLongPtr)(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&run));
  WNDPROC previous =
      reinterpret_cast<WNDPROC>(TV_AW(SetWindowLongPtr)(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
  if (g_previousProc == nullptr) g_previousProc = previous;  // every STATIC window has the same
  bool started = false;
  Buffer<tchar> commandLine;
  if (commandLine.Resize(2 * MAX_PATH + Length(entryPoint) + Length(arguments) + 64)) {
    char handle[2 * sizeof(void*) + 1];
    FormatPointer(window, handle);
    TV_AW(wsprintf)(commandLine.data(), TV_T("rundll32.exe \"%s\",%hs 0x%hs %hs"), helperPath, entryPoint, handle,
                    arguments);
    PROCESS_INFORMATION companion = {};
    started = StartCompanion(commandLine.data(), folder, &companion);
    if (started) {
      KernelHandle process(companion.hProcess);
      KernelHandle thread(companion.hThread);
      ServeUntilEnded(process.get(), run);
    }
  }
  TV_AW(SetWindowLongPtr)(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  DestroyWindow(window);
  return started;
}

struct DetailsRun {
  DWORD processId;
  ProcessDetails* out;
  bool read;
};

void TakeText(const unsigned char* text, std::uint32_t length, BasicText<wchar_t>* out) {
  if (!out->Resize(length)) return;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint16_t unit;
    CopyMemory(&unit, text + 2 * i, sizeof unit);
    out->data()[i] = static_cast<wchar_t>(unit);
  }
}

LRESULT CALLBACK DetailsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CompanionRun* companion = RunOf(window);
  if (message == WM_COPYDATA && companion != nullptr) ++companion->heard;
  auto* run = companion != nullptr ? static_cast<DetailsRun*>(companion->state) : nullptr;
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  const unsigned char* texts[3];
  std::uint32_t lengths[3];
  if (message == WM_COPYDATA && run != nullptr && !run->read && data != nullptr &&
      data->dwData == kHelperDetailsMessage &&
      ReadHelperDetails(data->lpData, data->cbData, run->processId, texts, lengths)) {
    TakeText(texts[0], lengths[0], &run->out->commandLine);
    TakeText(texts[1], lengths[1], &run->out->folder);
    if (run->out->image.empty()) TakeText(texts[2], lengths[2], &run->out->image);
    run->read = true;
    return 1;
  }
  if (message == WM_COPYDATA) return 0;
  return TV_AW(CallWindowProc)(g_previousProc, window, message, wParam, lParam);
}

}  // namespace

HelperOutcome RunHelper64(const char* arguments, EntryCallback callback, const EnumRequest* request) {
  SetHelperRequest(callback, request);
  if (!RunCompanion("EnumSystemProcesses64", arguments, &HelperWindowProc, nullptr)) g_outcome = {};
  g_callback = nullptr;
  g_request = nullptr;
  return g_outcome;
}

bool HelperProcessDetails(DWORD processId, ProcessDetails* out) {
  char arguments[kIntTextSize];
  FormatInt(static_cast<std::int32_t>(processId), arguments);
  DetailsRun run = {processId, out, false};
  return RunCompanion("ReadProcessDetails64", arguments, &DetailsWindowProc, &run) && run.read;
}

}  // namespace tv
