#include "quillmere/helper_bridge.h"

#include "frame/owned.h"
#include "quillmere/helper_batch.h"
#include "quillmere/width.h"

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
  return CallWindowProcA(g_previousProc, window, message, wParam, lParam);
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
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
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

// Works in the build's width, so that a plug-in folder named outside the ANSI code page (a
// temporary folder under such a user name) is found and handed to rundll32 as it is.
HelperOutcome RunHelper64(const char* arguments, EntryCallback callback, const EnumRequest* request) {
  static const char kEntryPoint[] = "EnumSystemProcesses64";
  SetHelperRequest(nullptr, nullptr);
  InitProcessApi();
  tchar folder[MAX_PATH] = {};
  DWORD length = GetModuleFileNameT(g_instance, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return g_outcome;
  tchar* slash = folder + length;
  while (slash > folder && *slash != tchar('\\')) --slash;
  *slash = 0;
  static const char kHelperName[] = "Quillmere64.dll";
  tchar helperPath[MAX_PATH + sizeof kHelperName] = {};
  TV_AW(wsprintf)(helperPath, TV_T("%s\\%hs"), folder, kHelperName);
  if (TV_AW(GetFileAttributes)(helperPath) == INVALID_FILE_ATTRIBUTES) return g_outcome;

  HWND window = CreateWindowExA(0, "STATIC", "Quillmere x64 Checker", WS_POPUP, 0, 0, 100, 100, HWND_MESSAGE,
                                nullptr, g_instance, nullptr);
  if (window) {
    g_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HelperWindowProc)));
  }
  SIZE_T size = lstrlenA(kHelperName) + lstrlenA(kEntryPoint) + lstrlenA(arguments) + 32;
  auto* commandLine = static_cast<tchar*>(LocalAlloc(LPTR, size * sizeof(tchar)));
  if (commandLine) {
    char handle[2 * sizeof(void*) + 1];
    FormatPointer(window, handle);
    TV_AW(wsprintf)(commandLine, TV_T("%hs,%hs 0x%hs %hs"), kHelperName, kEntryPoint, handle, arguments);
    ShellExecuteInfo info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
    info.lpFile = TV_T("rundll32.exe");
    info.lpParameters = commandLine;
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    SetHelperRequest(callback, request);
    if (StartHelper(&info) && info.hProcess) {
      ServeUntilEnded(info.hProcess);
      CloseHandle(info.hProcess);
    }
    g_callback = nullptr;
    g_request = nullptr;
    LocalFree(commandLine);
  }
  if (window && IsWindow(window)) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previousProc));
    DestroyWindow(window);
  }
  return g_outcome;
}

}  // namespace tv
