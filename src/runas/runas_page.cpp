// RunAs: the page inside the installer's wizard on which the user starts a program under another
// account or as the current user. The page is a child dialog over the installer window's page
// area; while it is shown the installer window's dialog procedure is replaced by a hook that
// acts on Next, and the export runs the message loop until the installer has left the page.
#include "frame/buffer.h"
#include "frame/owned.h"
#include "quillmere/system/process_owner.h"
#include "resources/runas_ids.h"
#include "runas/runas_args.h"
#include "runas/start.h"

namespace tv {

// The run-as module's own frame state.
Frame& RunAsFrame() {
  static Frame frame;
  return frame;
}

}  // namespace tv

using namespace tv;

namespace {

// The installer's window messages and its page area.
constexpr UINT kNotifyOuterNext = WM_USER + 0x8;
constexpr UINT kNotifyCustomReady = WM_USER + 0xd;
constexpr int kPageArea = 1018;
constexpr int kNextButton = 1;

constexpr DWORD kLogonFailure = 1326;  // ERROR_LOGON_FAILURE
constexpr DWORD kAccountLockedOut = 1909;  // ERROR_ACCOUNT_LOCKED_OUT
constexpr int kFieldChars = 1024;
const tchar kEmpty[1] = {0};

HWND CreatePage(HWND parent, DLGPROC proc) {
  return TV_AW(CreateDialogParam)(g_instance, TV_AW(MAKEINTRESOURCE)(IDD_RUNAS_PAGE), parent, proc, 0);
}
void SetItemText(HWND dialog, int id, const tchar* text) { TV_AW(SetDlgItemText)(dialog, id, text); }
void GetItemText(HWND dialog, int id, tchar* text, int size) { TV_AW(GetDlgItemText)(dialog, id, text, size); }
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return TV_AW(SendMessage)(window, message, wParam, lParam);
}
void Post(HWND window, UINT message) { TV_AW(PostMessage)(window, message, 0, 0); }
LONG_PTR SetDialogProc(HWND window, LONG_PTR proc) { return TV_AW(SetWindowLongPtr)(window, DWLP_DLGPROC, proc); }
LRESULT CallPrevious(LONG_PTR proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return TV_AW(CallWindowProc)(reinterpret_cast<WNDPROC>(proc), window, message, wParam, lParam);
}
BOOL GetMessageT(MSG* msg) { return TV_AW(GetMessage)(msg, nullptr, 0, 0); }
BOOL IsDialogMessageT(HWND dialog, MSG* msg) { return TV_AW(IsDialogMessage)(dialog, msg); }
void DispatchT(const MSG* msg) { TV_AW(DispatchMessage)(msg); }

// The ANSI variant's texts, those typed into the page's edit controls and the script's program
// path alike, are in the ANSI code page; they reach the wide start calls converted from it.
constexpr unsigned kTextCodePage = CP_ACP;

struct FontTraits {
  static HFONT Invalid() { return nullptr; }
  static void Close(HFONT f) { DeleteObject(f); }
};
using Font = Owned<HFONT, FontTraits>;

// The module state of the one page shown at a time. Its arguments are popped as it is made
// (into place: no temporary arguments to move and release).
struct PageState {
  explicit PageState(Frame& callFrame) : frame(&callFrame), args(ParseRunAsArgs(callFrame)) {}

  Frame* frame = nullptr;
  HWND parent = nullptr;
  HWND page = nullptr;
  LONG_PTR previousProc = 0;
  bool pageDone = false;
  bool started = false;  // the program started: a later Next on this page starts nothing
  int customAccount = 1;
  ProcessOwner* account = nullptr;
  RunAsArgs<tchar> args;
};
PageState* g_page = nullptr;

void SetLogonCredentials(ProcessOwner& account, const tchar* user, const tchar* domain, const tchar* password) {
  account.logonUser = user;
  account.logonDomain = domain;
  account.logonPassword = password;
}

// Starts the program under the stored account; on failure lastError holds the Windows error.
bool StartWithLogon(ProcessOwner& account, const tchar* program, const tchar* workingDirectory) {
  account.lastError = 0;
  BasicText<wchar_t> user, domain, password, wideProgram, directory;
  auto convert = [](const tchar* text, BasicText<wchar_t>* out) {
    return ToWide(text != nullptr ? text : kEmpty, kTextCodePage, 0, out);
  };
  bool converted = convert(account.logonUser, &user) && convert(account.logonDomain, &domain) &&
                   convert(account.logonPassword, &password) && convert(program, &wideProgram) &&
                   (workingDirectory == nullptr || convert(workingDirectory, &directory));
  BOOL ok = FALSE;
  if (converted) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    ok = CreateProcessWithLogonW(user.c_str(), domain.c_str(), password.c_str(), LOGON_WITH_PROFILE,
                                 wideProgram.c_str(), nullptr, 0, nullptr,
                                 workingDirectory != nullptr ? directory.c_str() : nullptr, &startup, &started);
    if (ok) {
      CloseHandle(started.hProcess);
      CloseHandle(started.hThread);
    }
  }
  if (!ok) account.lastError = GetLastError();
  password.Wipe();
  return ok != FALSE;
}

const tchar* WorkingDirectory(const PageState& st) {
  return st.args.hasWorkingDirectory ? st.args.workingDirectory.c_str() : nullptr;
}

// Next in the custom-account mode. False after a failed logon: the error label tells why and the
// page stays.
bool StartWithTypedAccount(PageState& st) {
  tchar password[kFieldChars] = {}, user[kFieldChars] = {}, domain[kFieldChars] = {};
  GetItemText(st.page, IDC_RUNAS_PASSWORD, password, kFieldChars);
  GetItemText(st.page, IDC_RUNAS_USER, user, kFieldChars);
  GetItemText(st.page, IDC_RUNAS_DOMAIN, domain, kFieldChars);
  SetItemText(st.page, IDC_RUNAS_PASSWORD, kEmpty);
  SetLogonCredentials(*st.account, user, domain, password);
  bool ok = StartWithLogon(*st.account, st.args.programPath.c_str(), WorkingDirectory(st));
  SetLogonCredentials(*st.account, nullptr, nullptr, nullptr);  // the buffers end here
  SecureZeroMemory(password, sizeof(password));
  if (ok) return true;
  const RunAsArgs<tchar>& a = st.args;
  const tchar* text = st.account->lastError == kLogonFailure       ? a.logonFailureText.c_str()
                      : st.account->lastError == kAccountLockedOut ? a.lockedOutText.c_str()
                                                                   : a.otherErrorText.c_str();
  SetItemText(st.page, IDC_RUNAS_ERROR, text);
  ShowWindow(GetDlgItem(st.page, IDC_RUNAS_ERROR), SW_SHOW);
  return false;
}

// Next in the current-user mode: as the desktop user where the shell's token can be had, else as
// the installer. The command line is the quoted program path.
bool StartAsCurrentUser(const PageState& st) {
  BasicText<wchar_t> program, directory, quoted, line;
  if (!ToWide(st.args.programPath.c_str(), kTextCodePage, 0, &program)) return false;
  const tchar* dir = WorkingDirectory(st);
  if (dir != nullptr && !ToWide(dir, kTextCodePage, 0, &directory)) return false;
  const wchar_t* wideDir = dir != nullptr ? directory.c_str() : nullptr;
  if (!quoted.Append(L'"') || !quoted.Append(program.c_str(), program.size()) || !quoted.Append(L'"')) return false;
  // The start calls may write into the command line: a private, writable copy for each.
  if (line.Assign(quoted) && StartNonElevated(program.c_str(), line.data(), wideDir)) return true;
  return line.Assign(quoted) && StartOrdinary(program.c_str(), line.data(), wideDir);
}

// The password field is emptied whenever the page stops needing what was typed there.
void EmptyPassword(const PageState& st) { SetItemText(st.page, IDC_RUNAS_PASSWORD, kEmpty); }

// The installer window's dialog procedure while the page is shown. Next starts the program and
// pushes the result before the installer runs the page's leave function; a leave function that
// aborts keeps the page, and a Next after that starts nothing again once the program started.
INT_PTR CALLBACK RunAsParentHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  PageState& st = *g_page;
  if (message == kNotifyOuterNext && wParam == 1 && !st.started) {
    if (!st.args.hasProgram) {
      st.frame->pushword("error");  // nothing to start
    } else if (st.customAccount) {
      if (!StartWithTypedAccount(st)) return 0;  // the installer stays on the page
      st.frame->pushword("success");
      st.started = true;
    } else {
      st.started = StartAsCurrentUser(st);
      st.frame->pushword(st.started ? "success" : "error");
    }
  }
  if (message == kNotifyOuterNext) EmptyPassword(st);  // Next, Back or Cancel
  LRESULT result = CallPrevious(st.previousProc, hwnd, message, wParam, lParam);
  if (message == kNotifyOuterNext && result == 0) {
    // The installer leaves the page: wake the loop.
    st.pageDone = true;
    Post(st.page, WM_CLOSE);
  }
  return result;
}

void SetMode(PageState& st, int mode) {
  if (mode == st.customAccount) return;
  st.customAccount = mode;
  static const int kAccountFields[] = {IDC_RUNAS_DOMAIN, IDC_RUNAS_USER, IDC_RUNAS_PASSWORD};
  for (int id : kAccountFields)
    EnableWindow(GetDlgItem(st.page, id), mode != 0);
  if (mode == 0) EmptyPassword(st);
}

INT_PTR CALLBACK RunAsPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_page == nullptr) return 0;
  PageState& st = *g_page;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_RUNAS_CUSTOM || LOWORD(wParam) == IDC_RUNAS_CURRENT)
        SetMode(st, Send(GetDlgItem(hwnd, IDC_RUNAS_CUSTOM), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
      // The installer's colours.
      return Send(st.parent, message, wParam, lParam);
    case WM_CTLCOLORSTATIC: {
      LRESULT brush = Send(st.parent, message, wParam, lParam);
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hwnd, IDC_RUNAS_ERROR)) {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(255, 0, 0));
        // An answer of 0 would let the default handling paint the text in the window text
        // colour again: answer with the dialog's own background instead.
        if (brush == 0) {
          SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
          brush = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
      }
      return brush;
    }
    default:
      return 0;
  }
}

void SetUpPage(PageState& st, HFONT errorFont) {
  HWND page = st.page;
  Send(page, WM_SETFONT, static_cast<WPARAM>(Send(st.parent, WM_GETFONT, 0, 0)), TRUE);
  RECT area;
  GetWindowRect(GetDlgItem(st.parent, kPageArea), &area);
  MapWindowPoints(nullptr, st.parent, reinterpret_cast<POINT*>(&area), 2);
  MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
  EnableWindow(GetDlgItem(st.parent, kNextButton), TRUE);
  const RunAsArgs<tchar>& a = st.args;
  SetItemText(page, IDC_RUNAS_CUSTOM, a.customAccountText.c_str());
  SetItemText(page, IDC_RUNAS_CURRENT, a.currentUserText.c_str());
  SetItemText(page, IDC_RUNAS_USER_LABEL, a.userLabel.c_str());
  SetItemText(page, IDC_RUNAS_DOMAIN_LABEL, a.domainLabel.c_str());
  SetItemText(page, IDC_RUNAS_PASSWORD_LABEL, a.passwordLabel.c_str());
  SetItemText(page, IDC_RUNAS_USER, a.userDefault.c_str());
  SetItemText(page, IDC_RUNAS_DOMAIN, a.domainDefault.c_str());
  st.customAccount = 1;
  Send(GetDlgItem(page, IDC_RUNAS_CUSTOM), BM_SETCHECK, BST_CHECKED, 0);
  HWND label = GetDlgItem(page, IDC_RUNAS_ERROR);
  ShowWindow(label, SW_HIDE);
  Send(label, WM_SETFONT, reinterpret_cast<WPARAM>(errorFont), FALSE);
}

}  // namespace

// Pops switches, the program and its working directory; shows the page and returns when the
// installer has left it. Next pushes "success" or "error" on top of the script's stack; Back and
// Cancel push nothing.
TARVOLK_EXPORT(RunAs, RunAsFrame) {
  if (g_page != nullptr) {  // a page is shown already (a call from a callback of that page)
    frame.pushword("error");
    return;
  }
  PageState st(frame);
  if (st.args.outOfMemory) {
    frame.pushword("error");
    return;
  }
  st.parent = static_cast<HWND>(frame.hwndParent);
  // Without the installer's window (a silent installation) no page can be shown, and none may be
  // waited for.
  if (st.parent == nullptr || !IsWindow(st.parent) || GetDlgItem(st.parent, kPageArea) == nullptr) {
    frame.pushword("error");
    return;
  }
  g_page = &st;
  st.page = CreatePage(st.parent, RunAsPageProc);
  if (st.page == nullptr) {
    g_page = nullptr;
    frame.pushword("error");
    return;
  }
  Font errorFont(CreateFontA(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_ONLY_PRECIS, 0,
                             CLEARTYPE_QUALITY, VARIABLE_PITCH, "ARIAL"));
  SetUpPage(st, errorFont.get());
  {
    ProcessOwner account;
    st.account = &account;
    st.previousProc = SetDialogProc(st.parent, reinterpret_cast<LONG_PTR>(&RunAsParentHook));
    Send(st.parent, kNotifyCustomReady, reinterpret_cast<WPARAM>(st.page), 0);
    ShowWindow(st.page, SW_SHOW);

    st.pageDone = false;
    MSG msg;
    while (!st.pageDone) {
      BOOL got = GetMessageT(&msg);
      if (got == 0 || got == -1) {
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the installer's own loop
        break;
      }
      if (!IsDialogMessageT(st.page, &msg) && !IsDialogMessageT(st.parent, &msg)) {
        TranslateMessage(&msg);
        DispatchT(&msg);
      }
    }
    SetDialogProc(st.parent, st.previousProc);
    st.account = nullptr;
  }
  EmptyPassword(st);
  DestroyWindow(st.page);
  g_page = nullptr;
}
