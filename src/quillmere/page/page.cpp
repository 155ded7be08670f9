// InitDialog, Show and Dialog: the running-programs page inside the installer's wizard.
#include "quillmere/page/page.h"

#include <shellapi.h>

#include <new>

#include "frame/owned.h"
#include "quillmere/search/closed_record.h"
#include "quillmere/system/engine.h"
#include "quillmere/module.h"
#include "quillmere/system/process_control.h"
#include "quillmere/search/script_calls.h"
#include "quillmere/system/width.h"
#include "resources/page_ids.h"

namespace tv {
namespace {

ProgramsPage* g_page = nullptr;

// The installer's icon, for a page that finds no icon of its own.
constexpr int kInstallerIconId = 103;

HWND Item(HWND window, int id) { return GetDlgItem(window, id); }
void SetText(HWND window, const tchar* text) { TV_AW(SetWindowText)(window, text); }

// Replaces a window procedure slot and gives the old one.
LONG_PTR Hook(HWND window, int slot, LONG_PTR procedure) {
  return TV_AW(SetWindowLongPtr)(window, slot, procedure);
}

HICON ShellIcon(int index) {
  HICON icon = nullptr;
  if (TV_AW(ExtractIconEx)(TV_T("shell32.dll"), index, nullptr, &icon, 1) == 0) return nullptr;
  return icon;
}

HICON IconFile(const tchar* name) { return SmallIcon(nullptr, name, LR_LOADFROMFILE); }

HICON InstallerIcon() {
  return SmallIcon(GetModuleHandle(nullptr), reinterpret_cast<const tchar*>(static_cast<ULONG_PTR>(kInstallerIconId)), 0);
}

// The three fixed images of the list: information, search, program.
void MakeImageList(ProgramsPage& p) {
  HICON info = p.options.userIcons ? IconFile(TV_T("info.ico")) : ShellIcon(15);
  if (info == nullptr) info = InstallerIcon();
  HICON search = p.options.userIcons ? IconFile(TV_T("search.ico")) : ShellIcon(22);
  if (search == nullptr) search = info;
  HICON program = ShellIcon(2);
  p.images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_COLOR32 | ILC_MASK, 8, 56);
  for (HICON icon : {info, search, program}) ImageList_ReplaceIcon(p.images, -1, icon);
  if (info != nullptr) DestroyIcon(info);
  if (search != nullptr && search != info) DestroyIcon(search);
  if (program != nullptr) DestroyIcon(program);
  SendT(p.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(p.images));
}

void AddColumn(HWND list, int index, int width, const tchar* title) {
  TV_AW(LVCOLUMN) column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = width;
  column.pszText = const_cast<tchar*>(title);
  SendT(list, TV_AW(LVM_INSERTCOLUMN), index, reinterpret_cast<LPARAM>(&column));
}

void InsertStatusRow(ProgramsPage& p, const tchar* text) {
  HWND list = p.list;
  TV_AW(LVITEM) item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = 0;
  item.iImage = 1;
  item.pszText = const_cast<tchar*>(text);
  SendT(list, TV_AW(LVM_INSERTITEM), 0, reinterpret_cast<LPARAM>(&item));
  SendT(list, LVM_ENSUREVISIBLE, 0, FALSE);
  AnnounceStatusRow(p, 0);
}

// The height that the control's text takes in its font when it is wrapped at `width` pixels.
int TextHeight(HWND control, int width) {
  int length = TV_AW(GetWindowTextLength)(control);
  BasicText<tchar> text;
  if (length == 0 || !text.Resize(static_cast<std::size_t>(length) + 1)) return 0;
  TV_AW(GetWindowText)(control, text.data(), length + 1);
  HDC dc = GetDC(control);
  if (dc == nullptr) return 0;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendT(control, WM_GETFONT, 0, 0)));
  RECT r = {0, 0, width, 0};
  TV_AW(DrawText)(dc, text.c_str(), length, &r, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return r.bottom;
}

// The control's rectangle in the client coordinates of its parent (the page, or the installer
// window).
RECT RectInParent(HWND control, HWND parent) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void Place(HWND control, int top, int width, int height) {
  SetWindowPos(control, nullptr, 0, top, width, height, SWP_NOZORDER);
}

// Lays the page over the installer's page area and fits its controls to it: each control gets
// the page's width; the heading, the explanation and the check box grow to the height their
// texts take (in whatever font, language and DPI), and the list takes what is left between.
void LayOut(ProgramsPage& p) {
  HWND page = p.page;
  SendT(page, WM_SETFONT, static_cast<WPARAM>(SendT(p.parent, WM_GETFONT, 0, 0)), TRUE);
  RECT area = RectInParent(Item(p.parent, kPageAreaId), p.parent);
  MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
  p.progress = Item(page, IDC_PROGRAMS_PROGRESS);
  p.list = Item(page, IDC_PROGRAMS_LIST);
  p.checkBox = Item(page, IDC_PROGRAMS_AUTOCLOSE);
  p.next = Item(p.parent, kNextId);
  p.cancel = Item(p.parent, kCancelId);
  p.back = Item(p.parent, kBackId);
  EnableWindow(p.next, FALSE);

  RECT client;
  GetClientRect(page, &client);
  int width = client.right;
  int shift = 0;  // how far the texts above have pushed what follows them down
  for (int id : {IDC_PROGRAMS_HEADING, IDC_PROGRAMS_PROGRESS, IDC_PROGRAMS_EXPLANATION}) {
    HWND control = Item(page, id);
    RECT r = RectInParent(control, page);
    int height = r.bottom - r.top;
    int wanted = id == IDC_PROGRAMS_PROGRESS ? height : TextHeight(control, width);
    Place(control, r.top + shift, width, wanted > height ? wanted : height);
    if (wanted > height) shift += wanted - height;
  }
  // The check box reaches to the page's bottom, and higher where its text wraps.
  RECT box = RectInParent(p.checkBox, page);
  int glyph = GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE);
  int boxHeight = client.bottom - box.top;
  int textHeight = TextHeight(p.checkBox, width - glyph);
  if (textHeight > box.bottom - box.top) {
    TV_AW(SetWindowLongPtr)(p.checkBox, GWL_STYLE, TV_AW(GetWindowLongPtr)(p.checkBox, GWL_STYLE) | BS_MULTILINE);
    if (textHeight > boxHeight) boxHeight = textHeight;
  }
  Place(p.checkBox, client.bottom - boxHeight, width, boxHeight);
  RECT list = RectInParent(p.list, page);
  Place(p.list, list.top + shift, width, client.bottom - boxHeight - list.top - shift);

  GetClientRect(p.list, &client);
  ColumnWidths widths = PageColumnWidths(client.right, GetSystemMetrics(SM_CXVSCROLL));
  AddColumn(p.list, 0, widths.first, p.options.Get(kFirstColumnText));
  AddColumn(p.list, 1, widths.second, p.options.Get(kSecondColumnText));
}

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The list's window procedure while the page is shown: the busy cursor during the search, a
// focused row once the list has the focus, Ctrl+C for Copy List, and its accessible object.
LRESULT CALLBACK ListHook(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  ProgramsPage* p = g_page;
  if (p == nullptr) return TV_AW(DefWindowProc)(list, message, wParam, lParam);
  HCURSOR busy = p->busyCursor.load();
  if (message == WM_SETCURSOR && busy != nullptr) {
    SetCursor(busy);
    return TRUE;
  }
  if (message == WM_KEYDOWN && wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
    CopyList(*p);
    return 0;
  }
  if (message == WM_GETOBJECT) {
    LRESULT answer = AnswerGetObject(*p, wParam, lParam);
    if (answer != 0) return answer;
  }
  LRESULT answer =
      TV_AW(CallWindowProc)(reinterpret_cast<WNDPROC>(p->previousListProc), list, message, wParam, lParam);
  if (message == WM_SETFOCUS && ListRowCount(list) > 0 &&
      SendT(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED) < 0) {
    TV_AW(LVITEM) item = {};
    item.stateMask = item.state = LVIS_FOCUSED;
    SendT(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
  }
  return answer;
}

void DisableButtons(ProgramsPage& p) {
  for (HWND button : {p.next, p.cancel, p.back}) EnableWindow(button, FALSE);
}

// The installer window's dialog procedure while the page is shown.
INT_PTR CALLBACK ParentDialogHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ProgramsPage* p = g_page;
  if (p == nullptr) return 0;
  LRESULT answer =
      TV_AW(CallWindowProc)(reinterpret_cast<WNDPROC>(p->previousDialogProc), window, message, wParam, lParam);
  if (answer != 0) return answer;
  if (message == kNotifyOuterNext) {
    p->autoNext = false;
    DisableButtons(*p);
    int direction = static_cast<int>(wParam);
    if (wParam == kLeaveNext) {
      if (p->rowCount > 0 && p->autoCloseMode != 0) {
        p->closeStage = 1;  // the page's thread closes the programs; the page stays
        WakePageThread(*p);
        return 0;
      }
    } else if (direction == kLeaveBack) {
      p->backPressed = true;
    } else if (direction == kLeaveCancel) {
      p->cancelPressed = true;
    }
    p->leaveRequested = true;
    WakePageThread(*p);
    CancelSearch();
    PostT(p->page, WM_CLOSE, 0, 0);  // wakes the page's loop
    return 0;
  }
  if (message == WM_COMMAND && p->options.ignoreButtonId != 0 && HIWORD(wParam) == BN_CLICKED &&
      LOWORD(wParam) == p->options.ignoreButtonId) {
    p->autoCloseMode = 0;
    p->ignoreClicked = true;
    PostLeaveOnce(*p);
  }
  return 0;
}

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)window;
  ProgramsPage* p = g_page;
  if (p != nullptr && message == kAddPendingRow) {
    AddPendingRow(*p);
    return TRUE;
  }
  if (p != nullptr && message == kAnnounce) {
    NotifyWinEvent(static_cast<DWORD>(wParam), p->list, OBJID_CLIENT, static_cast<LONG>(lParam));
    return TRUE;
  }
  if (p == nullptr || message < WM_CONTEXTMENU || message > WM_CTLCOLORSTATIC) return 0;
  switch (message) {
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) != p->list) return 0;
      ShowListMenu(*p, lParam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_PROGRAMS_AUTOCLOSE && HIWORD(wParam) == BN_CLICKED) {
        if (SendT(p->checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED) {
          if (p->searchFinished) EnableWindow(p->next, TRUE);
        } else {
          EnableWindow(p->next, FALSE);
        }
      }
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      // The installer's colours and brushes.
      return SendT(p->parent, message, wParam, lParam);
    default:
      return 0;
  }
}

// True when the installer shows a language that reads right to left: its flags say so (NSIS
// mirrors its own dialogs then), or, without them, its window does.
bool InstallerReadsRightToLeft(HWND parent) {
  // The words of the installer's flags record: its plug-in interface version (a record laid out
  // as this one is from version 1.0 on), and whether its language reads right to left.
  constexpr int kApiVersionFlag = 7, kRightToLeftFlag = 10;
  extra_parameters* extra = QuillmereExtra();
  const int* flags = extra != nullptr ? static_cast<const int*>(extra->exec_flags) : nullptr;
  if (flags != nullptr && flags[kApiVersionFlag] >= 0x00010000) return flags[kRightToLeftFlag] != 0;
  return (TV_AW(GetWindowLongPtr)(parent, GWL_EXSTYLE) & (WS_EX_LAYOUTRTL | WS_EX_RTLREADING)) != 0;
}

// The page's window from its template; mirrored (WS_EX_LAYOUTRTL, which its controls inherit:
// the list's columns run from the right) for a language that reads right to left.
HWND CreatePageWindow(HWND parent, bool mirrored) {
  const tchar* name = reinterpret_cast<const tchar*>(static_cast<ULONG_PTR>(IDD_PROGRAMS_PAGE));
  if (!mirrored) return TV_AW(CreateDialogParam)(g_instance, name, parent, &PageDialogProc, 0);
  HRSRC found = TV_AW(FindResource)(g_instance, name, reinterpret_cast<const tchar*>(RT_DIALOG));
  HGLOBAL loaded = found != nullptr ? LoadResource(g_instance, found) : nullptr;
  const void* source = loaded != nullptr ? LockResource(loaded) : nullptr;
  DWORD size = found != nullptr ? SizeofResource(g_instance, found) : 0;
  // An extended template: version and signature (two words), help id, then the extended style.
  constexpr DWORD kExStyleAt = 8;
  if (source == nullptr || size < kExStyleAt + 4) return nullptr;
  GlobalBlock copy(GlobalAlloc(GPTR, size));  // fixed: the handle is the block's address
  if (!copy) return nullptr;
  CopyMemory(copy.get(), source, size);
  auto* exStyle = reinterpret_cast<DWORD*>(static_cast<unsigned char*>(copy.get()) + kExStyleAt);
  *exStyle |= WS_EX_LAYOUTRTL;
  return TV_AW(CreateDialogIndirectParam)(g_instance, static_cast<LPCDLGTEMPLATE>(copy.get()), parent,
                                           &PageDialogProc, 0);
}

// Pops the options and creates the hidden page; null (nothing kept) when that fails.
ProgramsPage* CreatePage(Frame& frame) {
  void* block = StackAlloc(sizeof(ProgramsPage));
  if (block == nullptr) return nullptr;
  auto* p = new (block) ProgramsPage;
  ParsePageOptions(frame, p->options);
  p->parent = static_cast<HWND>(frame.hwndParent);
  if (p->options.hasCaption) SetText(p->parent, p->options.caption.c_str());
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  if (!p->options.outOfMemory && p->options.ScriptFunctionValid() && p->parent != nullptr && IsWindow(p->parent) &&
      Item(p->parent, kPageAreaId) != nullptr) {
    g_page = p;  // the dialog procedure may be called while the page is created
    p->rightToLeft = InstallerReadsRightToLeft(p->parent);
    p->page = CreatePageWindow(p->parent, p->rightToLeft);
  }
  if (p->page == nullptr) {
    g_page = nullptr;
    p->~ProgramsPage();
    StackFree(p);
    return nullptr;
  }
  return p;
}

void DestroyPage(ProgramsPage* p) {
  ReleaseAccessible(*p);
  if (p->page != nullptr) DestroyWindow(p->page);  // the list takes its image list with it
  g_page = nullptr;
  p->~ProgramsPage();
  StackFree(p);
}

// Clears what the page and its search kept: the next search registers its targets anew.
void EndPage(ProgramsPage* p) {
  DestroyPage(p);
  ResetSearchState();
  Targets().applicationsWanted = false;
}

void FreeRows(HWND list) {
  for (int row = ListRowCount(list) - 1; row >= 0; --row) {
    FoundRecord* record = ListRowRecord(list, row);
    if (record == nullptr) continue;
    TV_AW(LVITEM) item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendT(list, TV_AW(LVM_SETITEM), 0, reinterpret_cast<LPARAM>(&item));  // no longer the row's
    FreeFoundRecord(record);
  }
}

const char* ResultWord(const ProgramsPage& p) {
  if (p.threadFailed) return "error";
  if (p.ignoreClicked) return "ignore";
  if (p.cancelPressed) return "cancel";
  if (p.backPressed) return "back";
  if (p.options.Given(kNextText) && FoundProcessCount() > 0) return "ignore";
  return "next";
}

// Shows the page, searches, watches the programs, and returns once the page was left and its
// thread has ended: the result word is pushed and the page is gone.
void RunPage(Frame& frame, ProgramsPage& p) {
  p.running = true;
  LayOut(p);
  SetText(Item(p.page, IDC_PROGRAMS_HEADING), p.options.Get(kHeadingText));
  SetText(Item(p.page, IDC_PROGRAMS_EXPLANATION), p.options.Get(kProgressText));
  SetText(p.checkBox, p.options.Get(kCheckBoxText));
  SendT(p.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
  if (p.options.saveNextText) {
    int length = TV_AW(GetWindowTextLength)(p.next);
    if (p.savedNextText.Resize(static_cast<std::size_t>(length) + 1)) {
      TV_AW(GetWindowText)(p.next, p.savedNextText.data(), length + 1);
      p.savedNextText.Resize(Length(p.savedNextText.c_str()));
    }
  }
  MakeImageList(p);
  {
    BasicText<tchar> first;
    const tchar* text = p.options.Get(kSearchingText);
    if (!p.options.Given(kSearchingText) && first.Append(TV_T("0% ")) && first.Append(text)) text = first.c_str();
    InsertStatusRow(p, text);
  }
  p.previousDialogProc = Hook(p.parent, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&ParentDialogHook));
  p.previousListProc = Hook(p.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListHook));
  SendT(p.parent, kNotifyCustomReady, reinterpret_cast<WPARAM>(p.page), 0);
  ShowWindow(p.page, SW_SHOW);
  // Next, which led here, is disabled now: the keyboard starts on the list.
  HWND focus = GetFocus();
  if (focus == nullptr || focus == p.next || !IsWindowEnabled(focus))
    SendT(p.parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(p.list), TRUE);

  p.autoNext = p.options.autoNext;
  p.autoCloseMode = p.options.autoCloseMode;
  int scriptFunction = p.options.ScriptFunction();
  HANDLE& thread = SearchThread();
  p.wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (p.wake && OpenScriptCalls())
    thread = CreateThread(nullptr, 0, &PageSearchThread, reinterpret_cast<void*>(static_cast<INT_PTR>(scriptFunction)),
                          0, nullptr);
  if (thread == nullptr) {
    // Without its thread the page can neither search nor watch: it is left at once, with "error".
    p.threadFailed = true;
    p.leaveRequested = true;
    p.searchThreadDone = true;
  }

  // The page's messages, and the script functions that its thread asks for: those run here, on
  // the installer's thread, between two messages, so they take turns with the installer's own
  // handlers (Cancel, Back, Next). The loop ends once the page was left and its thread is done.
  bool quit = false;
  int quitCode = 0;
  while (!(p.leaveRequested && p.searchThreadDone)) {
    HANDLE bell = ScriptCallBell();
    DWORD woke = MsgWaitForMultipleObjectsEx(bell != nullptr ? 1 : 0, &bell, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (bell != nullptr && woke == WAIT_OBJECT_0) {
      ServeScriptCall();
      continue;
    }
    MSG msg;
    while (TV_AW(PeekMessage)(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // The installer is ending: stop the search, let the thread end, and pass the quit on.
        quit = true;
        quitCode = static_cast<int>(msg.wParam);
        p.leaveRequested = true;
        p.cancelPressed = true;
        WakePageThread(p);
        CancelSearch();
        continue;
      }
      if (!TV_AW(IsDialogMessage)(p.page, &msg) && !TV_AW(IsDialogMessage)(p.parent, &msg)) {
        TranslateMessage(&msg);
        TV_AW(DispatchMessage)(&msg);
      }
    }
  }
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);  // it has done its last act already
    CloseHandle(thread);
    thread = nullptr;
  }
  FreeRows(p.list);
  frame.pushword(ResultWord(p));
  Hook(p.list, GWLP_WNDPROC, p.previousListProc);
  Hook(p.parent, DWLP_DLGPROC, p.previousDialogProc);
  if (quit) PostQuitMessage(quitCode);
}

// A page that InitDialog created and no Show showed goes when the installer unloads the plug-in:
// its window would call into the unloaded module.
void ReleasePage() {
  if (g_page != nullptr && !g_page->running) EndPage(g_page);
}
const bool g_releasePageAtUnload = (AtModuleUnload(UnloadStep::page, &ReleasePage), true);

// The options popped and the page created, hidden; null (with "error" pushed) when no page may
// start now (a search is held, or another page exists) or it could not be made. With
// replaceUnshown, a page that InitDialog made and no Show has shown gives way to the new one.
ProgramsPage* StartPage(Frame& frame, bool replaceUnshown) {
  if (replaceUnshown && g_page != nullptr && !g_page->running) DestroyPage(g_page);
  PrepareClosedRecord();
  ProgramsPage* p = EnableDebugPrivilege() && !SearchHeld() && g_page == nullptr ? CreatePage(frame) : nullptr;
  if (p == nullptr) frame.pushword("error");
  return p;
}

}  // namespace

ProgramsPage* CurrentPage() { return g_page; }

}  // namespace tv

using namespace tv;

// Pops the options and creates the page, hidden; pushes its window handle.
TARVOLK_EXPORT(InitDialog, QuillmereFrame) {
  ProgramsPage* p = StartPage(frame, false);
  if (p == nullptr) return;
  frame.pushint(static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(p->page)));
}

// Shows the page that InitDialog created and returns when it was left: "next", "back", "cancel"
// or "ignore".
TARVOLK_EXPORT(Show, QuillmereFrame) {
  ProgramsPage* p = CurrentPage();
  if (p == nullptr || p->running || SearchHeld()) {
    frame.pushword("error");
    return;
  }
  RunPage(frame, *p);
  EndPage(p);
}

// InitDialog and Show in one call. A page that InitDialog made and no Show showed is ended first.
TARVOLK_EXPORT(Dialog, QuillmereFrame) {
  ProgramsPage* p = StartPage(frame, true);
  if (p == nullptr) return;
  RunPage(frame, *p);
  EndPage(p);
}
