// The run-as exports. Wine's CreateProcessWithLogonW always fails with error 0: a double fails
// with the error a case chooses or "starts" the program, recording what it was given.
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "harness.h"
#include "victims.h"

namespace {

struct LogonCall {
  int calls = 0;
  std::wstring user, domain, password, program, directory;  // "<null>" when none was passed
  bool nullCommandLine = false;
  DWORD flags = 0;
  HANDLE process = nullptr, thread = nullptr;
};
LogonCall g_logon;
DWORD g_logonError = 0;  // 0: the start succeeds

BOOL WINAPI LogonDouble(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonFlags, LPCWSTR program,
                        LPWSTR commandLine, DWORD, LPVOID, LPCWSTR directory, LPSTARTUPINFOW,
                        LPPROCESS_INFORMATION info) {
  auto text = [](LPCWSTR t) { return std::wstring(t ? t : L"<null>"); };
  g_logon = {g_logon.calls + 1,      text(user), text(domain), text(password), text(program), text(directory),
             commandLine == nullptr, logonFlags, nullptr,      nullptr};
  if (g_logonError != 0) {
    SetLastError(g_logonError);
    return FALSE;
  }
  // Real handles, so the test can see that the plug-in closes them.
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &info->hProcess, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &info->hThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  g_logon.process = info->hProcess;
  g_logon.thread = info->hThread;
  return TRUE;
}

// A text as the script or a person at the keyboard gives it.
std::string Script(const std::wstring& w) {
  UINT codePage = sizeof(TChar) == 2 ? CP_UTF8 : CP_ACP;  // UTF-8: what T() turns back into UTF-16
  char out[1024] = {};
  WideCharToMultiByte(codePage, 0, w.c_str(), -1, out, sizeof(out), nullptr, nullptr);
  return out;
}

void SetText(HWND page, int id, const std::wstring& text) { TV_W(SetDlgItemText)(page, id, T(Script(text)).c_str()); }

std::string GetText(HWND page, int id) { return WindowText(GetDlgItem(page, id)); }

bool Shown(HWND control) { return (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0; }

// The installer with a leave function that aborts while g_aborts lasts, noting the password field
// at every page change.
int g_aborts = 0;
LONG_PTR g_standIn = 0;
std::vector<std::string> g_passwordSeen;
INT_PTR CALLBACK InstallerWithLeaveFunction(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kNotifyOuterNext) {
    g_passwordSeen.push_back(GetText(StandIn::Page(), 1218));
    if (wParam == 1 && g_aborts > 0 && g_aborts--) return 1;
  }
  return reinterpret_cast<DLGPROC>(g_standIn)(hwnd, message, wParam, lParam);
}

// Its file may appear a moment before a reader can open it under load.
std::string WaitForRecord(const std::string& record) {
  for (int i = 0; i < 100; ++i, Sleep(50)) {
    std::ifstream in(record, std::ios::binary);
    std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!got.empty()) return got;
  }
  return "";
}

// Wine has no shell window: GetShellWindow gives one of the harness, whose token the plug-in
// copies; the ordinary start only counts, so a start seen came through the token.
HWND g_shellDouble = nullptr;
int g_ordinaryStarts = 0;
HWND WINAPI ShellWindowDouble() { return g_shellDouble; }
BOOL WINAPI CreateProcessDouble(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
  ++g_ordinaryStarts;
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

}  // namespace

TEST_CASE(RunAsPageLogonErrorsAndSuccess) {
  ImportDouble logon("ADVAPI32.dll", "CreateProcessWithLogonW", reinterpret_cast<void*>(&LogonDouble));
  StandIn installer;
  int leaves = StandIn::leaves;
  Stack s;
  s.PushAll({"below", "C:\\work dir", Script(L"C:\\pr\u00F6g.exe"), "other", "locked", "bad", "/errors", "bob",
             "Name:", "/USER", "CORP", "D:", "/domain", "Just me", "Someone else", "/header"});
  g_logon = LogonCall();
  installer.WithPage("RunAs", s, [&installer, leaves](HWND parent, HWND page) {
    RECT pageRect, area;
    GetWindowRect(page, &pageRect);
    GetWindowRect(GetDlgItem(parent, 1018), &area);
    CHECK(EqualRect(&pageRect, &area));
    CHECK(IsWindowEnabled(GetDlgItem(parent, 1)));
    // 1216 has no "/pwd": the template's text does not survive.
    for (auto [id, text] : {std::pair<int, const char*>{1215, "Someone else"}, {1233, "Just me"}, {1214, "Name:"},
                            {1217, "bob"}, {1228, "D:"}, {1229, "CORP"}, {1216, ""}})
      CHECK_EQ(GetText(page, id), text);
    // No descender of the error label's font is cut off.
    HWND label = GetDlgItem(page, 1231);
    HDC dc = GetDC(label);
    HGDIOBJ before = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, before);
    ReleaseDC(label, dc);
    RECT box;
    GetClientRect(label, &box);
    CHECK(metrics.tmHeight > 0 && box.bottom >= metrics.tmHeight);

    for (auto [error, text] : {std::pair<DWORD, const char*>{1326, "bad"}, {1909, "locked"}, {5, "other"}}) {
      g_logonError = error;
      SetText(page, 1218, L"pw-" + std::to_wstring(error));
      CHECK_EQ(installer.Next(), "stayed");
      CHECK(Shown(GetDlgItem(page, 1231)));
      CHECK_EQ(GetText(page, 1231), text);
      CHECK_EQ(GetText(page, 1218), "");  // emptied at every attempt
      CHECK(g_logon.password == L"pw-" + std::to_wstring(error));
    }
    CHECK_EQ(StandIn::leaves - leaves, 0);
    CHECK_EQ(g_logon.calls, 3);

    g_logonError = 0;
    SetText(page, 1217, L"J\u00F6rg");
    SetText(page, 1218, L"s\u00E9cret");
    CHECK_EQ(installer.Next(), "left");
  });
  CHECK_EQ(StandIn::leaves - leaves, 1);
  CHECK_EQ(std::tie(g_logon.calls, g_logon.user, g_logon.password, g_logon.program, g_logon.domain, g_logon.directory,
                    g_logon.nullCommandLine, g_logon.flags),
           std::make_tuple(4, L"J\u00F6rg", L"s\u00E9cret", L"C:\\pr\u00F6g.exe", L"CORP", L"C:\\work dir", true,
                           DWORD{LOGON_WITH_PROFILE}));
  DWORD flags;
  CHECK(!GetHandleInformation(g_logon.process, &flags) && !GetHandleInformation(g_logon.thread, &flags));
  CHECK_STACK(s, {"success", "below"});
  CHECK(installer.Restored());
  CHECK(!IsWindow(StandIn::Page()));
}

// Once per page: a leave function's abort after the start keeps the page and the next Next only
// leaves it; Back starts nothing. No password in the field at a page change nor in a freed block.
TEST_CASE(RunAsStartsOnceAndKeepsNoPassword) {
  ImportDouble logon("ADVAPI32.dll", "CreateProcessWithLogonW", reinterpret_cast<void*>(&LogonDouble));
  StandIn installer;
  g_standIn = TV_W(GetWindowLongPtr)(installer.hwnd, DWLP_DLGPROC);
  TV_W(SetWindowLongPtr)(installer.hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&InstallerWithLeaveFunction));
  FreedBlocksWatch watch("pw-typed");
  g_logon = LogonCall();
  g_logonError = 0;
  g_aborts = 1;
  g_passwordSeen.clear();
  Stack s;
  s.PushAll({"below", "C:\\dir", "C:\\prog.exe"});
  installer.WithPage("RunAs", s, [&installer](HWND, HWND page) {
    SetText(page, 1218, L"pw-typed");
    CHECK_EQ(installer.Next(), "stayed");
    SetText(page, 1218, L"pw-typed");
    CHECK_EQ(installer.Next(), "left");
  });
  CHECK_EQ(g_logon.calls, 1);
  CHECK_STACK(s, {"success", "below"});

  s.Clear();
  s.PushAll({"below", "C:\\dir", "C:\\prog.exe"});
  installer.WithPage("RunAs", s, [](HWND, HWND page) { SetText(page, 1218, L"pw-typed"); });  // then Back
  CHECK_EQ(g_logon.calls, 1);
  CHECK_STACK(g_passwordSeen, {"", "", ""});
  CHECK_EQ(watch.holding, 0);
  TV_W(SetWindowLongPtr)(installer.hwnd, DWLP_DLGPROC, g_standIn);
}

// Nothing to start, with either choice: "error" and no start. No directory: the start gets none
// (the installer's is used).
TEST_CASE(RunAsNothingToStartOrNoDirectory) {
  ImportDouble logon("ADVAPI32.dll", "CreateProcessWithLogonW", reinterpret_cast<void*>(&LogonDouble));
  StandIn installer;
  g_logon = LogonCall();
  g_logonError = 0;
  for (int scene = 0; scene < 3; ++scene) {
    Stack s;
    if (scene == 2) s.Push("C:\\prog.exe");
    installer.WithPage("RunAs", s, [&installer, scene](HWND, HWND page) {
      if (scene == 1) SendDlgItemMessageA(page, 1233, BM_CLICK, 0, 0);
      CHECK_EQ(installer.Next(), "left");
    });
    CHECK_STACK(s, {scene == 2 ? "success" : "error"});
  }
  CHECK_EQ(g_logon.calls, 1);
  CHECK(g_logon.directory == L"<null>");
}

// The start with the shell's token, and texts past the installer's usual 1024 characters.
TEST_CASE(RunAsNonElevatedUserShellTokenAndLongTexts) {
  g_shellDouble = CreateWindowA("Static", "shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ImportDouble shell("USER32.dll", "GetShellWindow", reinterpret_cast<void*>(&ShellWindowDouble));
  ImportDouble ordinary("KERNEL32.dll", "CreateProcessW", reinterpret_cast<void*>(&CreateProcessDouble));
  std::string dir = TestFolder("runas"), program = dir + "\\" + Own("tvrunas") + ".exe";
  CopyFileA((Arg("testbin32") + "\\tvvictim.exe").c_str(), program.c_str(), FALSE);
  std::string record = dir + "\\tvcmdline.txt";
  DeleteFileA(record.c_str());

  CHECK_STACK(CallExport("RunAsNonElevatedUser", {dir, "tv \"one two\" 3", program}), {"success"});
  CHECK_EQ(g_ordinaryStarts, 0);
  CHECK_EQ(WaitForRecord(record), "tv \"one two\" 3\r\n" + dir + "\r\n");
  DeleteFileA(record.c_str());

  // Too long for the token start, and the ordinary start would run the program elevated.
  std::string line = "tv " + std::string(1100, 'a');
  Stack wide(4096);
  wide.PushAll({"below", dir, line, program});
  Dll().Call("RunAsNonElevatedUser", &wide);
  CHECK_STACK(wide, {"error"});
  Sleep(1000);  // time enough for a program that was started by mistake to leave its record
  CHECK(GetFileAttributesA(record.c_str()) == INVALID_FILE_ATTRIBUTES);

  // This thread pumps no messages between cases: a window left would hold up every broadcast.
  DestroyWindow(g_shellDouble);
}
