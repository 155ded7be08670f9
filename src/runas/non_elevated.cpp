// StartNonElevated and the export RunAsNonElevatedUser.
#include "frame/owned.h"
#include "runas/start.h"

namespace tv {

namespace {

using CreateProcessWithTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                               LPSTARTUPINFOW, LPPROCESS_INFORMATION);

struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE m) { FreeLibrary(m); }
};
using Library = Owned<HMODULE, LibraryTraits>;

// "SeIncreaseQuotaPrivilege" enabled in the installer's own token. Any error, "not all assigned"
// included, means the installer may not start programs with another token.
bool EnableIncreaseQuota() {
  KernelHandle token = OpenToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES);
  if (!token) return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeIncreaseQuotaPrivilege", &privileges.Privileges[0].Luid)) return false;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  return GetLastError() == ERROR_SUCCESS;
}

}  // namespace

KernelHandle ShellToken() {
  if (!EnableIncreaseQuota()) return KernelHandle();
  HWND shell = GetShellWindow();
  DWORD shellProcessId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &shellProcessId) == 0 || shellProcessId == 0)
    return KernelHandle();
  KernelHandle shellProcess(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId));
  return shellProcess ? PrimaryTokenOf(shellProcess.get()) : KernelHandle();
}

bool StartNonElevated(const wchar_t* program, wchar_t* commandLine, const wchar_t* workingDirectory) {
  KernelHandle token = ShellToken();
  return token && StartWithToken(token.get(), program, commandLine, workingDirectory);
}

KernelHandle PrimaryTokenOf(HANDLE process) {
  KernelHandle token = OpenToken(process, TOKEN_DUPLICATE);
  if (!token) return KernelHandle();
  const DWORD access = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                       TOKEN_ADJUST_SESSIONID;
  HANDLE copy = nullptr;
  if (!DuplicateTokenEx(token.get(), access, nullptr, SecurityImpersonation, TokenPrimary, &copy))
    return KernelHandle();
  return KernelHandle(copy);
}

bool StartWithToken(HANDLE token, const wchar_t* program, wchar_t* commandLine, const wchar_t* workingDirectory) {
  Library advapi(TV_AW(LoadLibrary)(TV_T("advapi32.dll")));
  if (!advapi) return false;
  auto createWithToken = reinterpret_cast<CreateProcessWithTokenFn>(
      reinterpret_cast<void*>(GetProcAddress(advapi.get(), "CreateProcessWithTokenW")));
  if (createWithToken == nullptr) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!createWithToken(token, 0, program, commandLine, 0, nullptr, workingDirectory, &startup, &started))
    return false;
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

bool StartOrdinary(const wchar_t* program, wchar_t* commandLine, const wchar_t* workingDirectory) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, workingDirectory, &startup,
                      &started))
    return false;
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

}  // namespace tv

using namespace tv;

// Pops the program, the command line and the working directory; starts the program as the desktop
// user when the shell's token can be had, else as the installer. Empties the stack and leaves
// "success" or "error".
TARVOLK_EXPORT(RunAsNonElevatedUser, SystemFrame) {
  Arg program(frame), commandLine(frame), directory(frame);
  if (!PopArg(frame, program) || !PopArg(frame, commandLine) || !PopArg(frame, directory)) {
    frame.clearstack();
    frame.pushword("error");
    return;
  }
  // The ANSI texts convert with the ANSI code page into 1024 characters; one that does not fit
  // starts nothing rather than a cut path or command line.
  constexpr std::size_t kWideChars = 1024;
  BasicText<wchar_t> wideProgram, wideCommandLine, wideDirectory, line;
  bool ok = ToWide(program.c_str(), CP_ACP, kWideChars, &wideProgram) &&
            ToWide(commandLine.c_str(), CP_ACP, kWideChars, &wideCommandLine) &&
            ToWide(directory.c_str(), CP_ACP, kWideChars, &wideDirectory);
  if (ok) {
    // The start calls may write into the command line: a private, writable copy for each.
    ok = line.Assign(wideCommandLine) && StartNonElevated(wideProgram.c_str(), line.data(), wideDirectory.c_str());
    if (!ok)
      ok = line.Assign(wideCommandLine) && StartOrdinary(wideProgram.c_str(), line.data(), wideDirectory.c_str());
  }
  frame.clearstack();
  frame.pushword(ok ? "success" : "error");
}
