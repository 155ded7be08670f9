#include "quillmere/helper_bridge.h"

#include "frame/buffer.h"
#include "frame/owned.h"
#include "quillmere/helper_record.h"
#include "quillmere/width.h"

namespace tv {
namespace {

WNDPROC g_previousProc = nullptr;
DWORD g_helperModuleCount = 0;
EntryCallback g_callback = nullptr;
const EnumRequest* g_request = nullptr;

void CopyName(const std::uint16_t* name, tchar* out) {
  int length = 0;
  while (length < static_cast<int>(kHelperPathChars) && name[length] != 0) ++length;
  FromNative(reinterpret_cast<const wchar_t*>(name), length, out, kPathChars);
}

LRESULT CALLBACK HelperWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    LRESULT answer = 0;
    if (HandleHelperCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam), &answer)) return answer;
  }
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

DWORD HelperModuleCount() { return g_helperModuleCount; }
void ClearHelperModuleCount() { g_helperModuleCount = 0; }

void SetHelperRequest(EntryCallback callback, const EnumRequest* request) {
  g_callback = callback;
  g_request = request;
}

bool HandleHelperCopyData(const COPYDATASTRUCT* data, LRESULT* answer) {
  if (data == nullptr) return false;
  if (data->dwData == kHelperEntryMessage && data->cbData == sizeof(HelperEntry64) && g_callback && g_request &&
      data->lpData) {
    HelperEntry64 record;
    CopyMemory(&record, data->lpData, sizeof record);
    ProcessEntry entry = {};
    entry.processId = record.processId;
    entry.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(record.windowLow));
    entry.position = record.position;
    entry.total = record.total;
    CopyName(record.itemPath, entry.itemPath);
    CopyName(record.displayName, entry.displayName);
    CopyName(record.imagePath, entry.imagePath);
    *answer = g_callback(&entry, g_request->callbackArg);
    return true;
  }
  if (data->dwData == kHelperCountMessage && data->cbData == sizeof(std::uint32_t) && data->lpData) {
    g_helperModuleCount = *static_cast<const std::uint32_t*>(data->lpData);
    *answer = 1;
    return true;
  }
  return false;
}

// Works in the build's width, so that a plug-in folder named outside the ANSI code page (a
// temporary folder under such a user name) is found and handed to rundll32 as it is.
bool RunHelper64(const char* entryPoint, const char* arguments, EntryCallback callback, const EnumRequest* request) {
  InitProcessApi();
  tchar folder[MAX_PATH] = {};
  DWORD length = GetModuleFileNameT(g_instance, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return true;
  tchar* slash = folder + length;
  while (slash > folder && *slash != tchar('\\')) --slash;
  *slash = 0;
  static const char kHelperName[] = "Quillmere64.dll";
  tchar helperPath[MAX_PATH + sizeof kHelperName] = {};
  TV_AW(wsprintf)(helperPath, TV_T("%s\\%hs"), folder, kHelperName);
  if (TV_AW(GetFileAttributes)(helperPath) == INVALID_FILE_ATTRIBUTES) return true;

  HWND window = CreateWindowExA(0, "STATIC", "Quillmere x64 Checker", WS_POPUP, 0, 0, 100, 100, HWND_MESSAGE,
                                nullptr, g_instance, nullptr);
  if (window) {
    g_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HelperWindowProc)));
  }
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
    SetHelperRequest(callback, request);
    if (StartHelper(&info) && info.hProcess) {
      ServeUntilEnded(info.hProcess);
      CloseHandle(info.hProcess);
    }
    SetHelperRequest(nullptr, nullptr);
  }
  if (window && IsWindow(window)) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previousProc));
    DestroyWindow(window);
  }
  return true;
}

}  // namespace tv
