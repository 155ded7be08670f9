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

LRESULT CALLBACK HelperWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) return HandleHelperCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  return TV_AW(CallWindowProc)(g_previousProc, window, message, wParam, lParam);
}

using ShellExecuteInfo = TV_AW(SHELLEXECUTEINFO);

// The helper must be the 64-bit rundll32: redirection is off while it is started.
bool StartHelper(ShellExecuteInfo* info) {
  void* redirection = nullptr;
  bool disabled = Api().Wow64DisableWow64FsRedirection && Api().Wow64RevertWow64FsRedirection &&
                  Api().Wow64DisableWow64FsRedirection(&redirection);
  bool started = TV_AW(ShellExecuteEx)(info) != FALSE;
  if (disabled) Api().Wow64RevertWow64FsRedirection(redirection);
  return started;
}

// Waits for the helper's process while serving the thread's messages (its records among them).
void ServeUntilEnded(HANDLE process) {
  for (;;) {
    DWORD woke = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1) return;
    MSG msg;
    while (TV_AW(PeekMessage)(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      TV_AW(DispatchMessage)(&msg);
    }
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return;
  }
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

// Starts "rundll32.exe Quillmere64.dll,<entryPoint> 0x<window> <arguments>" from the plug-in's
// folder, with a message-only window of the calling thread whose procedure is `procedure` and
// whose user data is `run`, and serves it until the companion ends. False when there is no
// companion or it could not be started. Works in the build's width, so that a plug-in folder
// named outside the ANSI code page (a temporary folder under such a user name) is found and
// handed to rundll32 as it is. Each run has a window and a state of its own: two threads may
// run the companion at once (the page's search, and a program noted on the installer's thread).
bool RunCompanion(const char* entryPoint, const char* arguments, WNDPROC procedure, void* run) {
  InitProcessApi();
  tchar folder[MAX_PATH] = {};
  DWORD length = GetModuleFileNameT(g_instance, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  tchar* slash = folder + length;
  while (slash > folder && *slash != tchar('\\')) --slash;
  *slash = 0;
  static const char kHelperName[] = "Quillmere64.dll";
  tchar helperPath[MAX_PATH + sizeof kHelperName] = {};
  TV_AW(wsprintf)(helperPath, TV_T("%s\\%hs"), folder, kHelperName);
  if (TV_AW(GetFileAttributes)(helperPath) == INVALID_FILE_ATTRIBUTES) return false;

  HWND window = TV_AW(CreateWindowEx)(0, TV_T("STATIC"), TV_T("Quillmere x64 Checker"), WS_POPUP, 0, 0, 100, 100, HWND_MESSAGE,
                                nullptr, g_instance, nullptr);
  if (window == nullptr) return false;
  TV_AW(SetWindowLongPtr)(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(run));
  WNDPROC previous =
      reinterpret_cast<WNDPROC>(TV_AW(SetWindowLongPtr)(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
  if (g_previousProc == nullptr) g_previousProc = previous;  // every STATIC window has the same
  bool started = false;
  Buffer<tchar> commandLine;
  if (commandLine.Resize(Length(kHelperName) + Length(entryPoint) + Length(arguments) + 32)) {
    char handle[2 * sizeof(void*) + 1];
    FormatPointer(window, handle);
    TV_AW(wsprintf)(commandLine.data(), TV_T("%hs,%hs 0x%hs %hs"), kHelperName, entryPoint, handle, arguments);
    ShellExecuteInfo info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
    info.lpFile = TV_T("rundll32.exe");
    info.lpParameters = commandLine.data();
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    started = StartHelper(&info) && info.hProcess;
    if (started) {
      ServeUntilEnded(info.hProcess);
      CloseHandle(info.hProcess);
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
  auto* run = reinterpret_cast<DetailsRun*>(TV_AW(GetWindowLongPtr)(window, GWLP_USERDATA));
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
