/* Looks at a wizard (title starting with TITLE) from outside for the GUI tests: tvctl TITLE CMD ...
     wait|gone|focus ID     waits (15 s) until the control is shown / gone / focused; exit 1 if not
     text ID T [S]          waits (15 s, or S s, printing "ready" first) until the control's text is T
     pos ID | is ID         the control's centre "X Y" | "enabled=E checked=C text=[T]"
     state | rtl | focusid  the run-as page's state | mirroring | focused control and list row
     rows N                 waits until the list 1212 has N rows (-1: any), prints image and texts
     cell ROW COL | iconat ROW   a cell's rectangle "L T R B" | the row icon's centre
     acc | events S         accessible names | S s of announced row name and value changes (ms)
     box | boxbtn ID | boxgone [T]   a message box's [title] text | its button | waits until gone
     menu [first]           a popup menu's last (first) item position, rectangle, mirroring
     send M W L             sends message M (hex) to the page and prints the answer
     tip | clip[a] FILE | unclip    a tooltip's text | clipboard UTF-16 (ANSI) to FILE | empty it
     kill NAME              terminates processes of image NAME; prints the count and end tick (ms)
   Ids 1-3 are the installer's Next, Cancel, Back; others are looked for in the page. Output is UTF-8. */
#define COBJMACROS
#include <initguid.h>
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <stdio.h>
#include <stdlib.h>
#include <tlhelp32.h>

static HWND g_top;

/* Gives up after 5 s: a hung installer fails the look instead of hanging it. */
static LRESULT Ask(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 5000, &answer)) {
    fprintf(stderr, "tvctl: the installer does not answer\n");
    exit(3);
  }
  return (LRESULT)answer;
}
static const wchar_t* g_title;

/* The installer puts the page's name behind its caption: the title is matched as a prefix. */
static BOOL CALLBACK VisitTop(HWND top, LPARAM param) {
  wchar_t text[512] = {0};
  int n = lstrlenW(g_title);
  (void)param;
  /* The installer's message boxes carry its title too: they have an owner. */
  if (!IsWindowVisible(top) || GetWindow(top, GW_OWNER) || GetWindowTextW(top, text, 512) < n) return TRUE;
  text[n] = 0;
  if (lstrcmpW(text, g_title) != 0) return TRUE;
  g_top = top;
  return FALSE;
}

/* A control of the page by id, or (cls set) a shown window of the class owned by the installer window, or
   (byProcess) of its process. */
struct Search {
  int id;
  const wchar_t* cls;
  BOOL byProcess;
  HWND found;
};

static BOOL CALLBACK Visit(HWND w, LPARAM param) {
  struct Search* s = (struct Search*)param;
  wchar_t cls[64] = {0};
  if (!s->cls) {
    if (GetDlgCtrlID(w) != s->id || (s->id <= 3 && GetParent(w) != g_top)) return TRUE;
  } else if (!IsWindowVisible(w) || !GetClassNameW(w, cls, 64) || lstrcmpiW(cls, s->cls) != 0) {
    return TRUE;
  } else if (s->byProcess) {
    DWORD mine = 0, its = 0;
    GetWindowThreadProcessId(g_top, &mine);
    GetWindowThreadProcessId(w, &its);
    if (mine != its) return TRUE;
  } else if (GetWindow(w, GW_OWNER) != g_top) {
    return TRUE;
  }
  s->found = w;
  return FALSE;
}

static HWND Find(int id, const wchar_t* cls, BOOL byProcess) {
  struct Search s = {id, cls, byProcess, NULL};
  if (g_top && cls) EnumWindows(Visit, (LPARAM)&s);
  else if (g_top) EnumChildWindows(g_top, Visit, (LPARAM)&s);
  return s.found;
}
#define Control(id) Find(id, NULL, FALSE)
#define OwnedWindow(cls, byProcess) Find(0, cls, byProcess)

static void PrintUtf8(const char* before, const wchar_t* text, const char* after) {
  char utf8[4096] = {0};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), NULL, NULL);
  printf("%s%s%s", before, utf8, after);
}

/* WM_GETTEXT: GetWindowText would give another process's edits their creation text only. */
static const wchar_t* TextOf(HWND window) {
  static wchar_t text[1024];
  text[0] = 0;
  if (window) Ask(window, WM_GETTEXT, 1024, (LPARAM)text);
  return text;
}

static int On(HWND control, int what) {
  if (!control) return -1;
  if (what == 0) return IsWindowEnabled(control) ? 1 : 0;
  if (what == 1) return IsWindowVisible(control) ? 1 : 0;
  return Ask(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

static int PrintCentre(const RECT* r) {
  printf("%ld %ld\n", (r->left + r->right) / 2, (r->top + r->bottom) / 2);
  return 0;
}

static HWND Focused(HWND control) {
  GUITHREADINFO gui = {.cbSize = sizeof gui};
  return control && GetGUIThreadInfo(GetWindowThreadProcessId(control, NULL), &gui) ? gui.hwndFocus : NULL;
}

/* The process of the list's window, with a block of its memory to pass records in. */
static HANDLE OpenOwner(HWND list, void** remote) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  *remote = process ? VirtualAllocEx(process, NULL, 4096, MEM_COMMIT, PAGE_READWRITE) : NULL;
  return process;
}

static void CloseOwner(HANDLE process, void* remote) {
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  if (process) CloseHandle(process);
}

/* The item record and text buffer live in the installer's process, the record in its width. */
struct ListItem32 {
  UINT mask;
  int iItem, iSubItem;
  UINT state, stateMask;
  DWORD pszText;
  int cchTextMax, iImage;
  DWORD lParam;
  int iIndent;
};

static int CellText(HWND list, HANDLE process, char* remote, int row, int column, wchar_t* out) {
  SIZE_T done = 0;
  BOOL wow64 = FALSE;
  IsWow64Process(process, &wow64);
  UINT mask = LVIF_TEXT | (column == 0 ? LVIF_IMAGE : 0);
  out[0] = 0;
  int image = -1;
#define QUERY(Item, text)                                           \
  do {                                                              \
    Item item;                                                      \
    ZeroMemory(&item, sizeof item);                                 \
    item.mask = mask;                                               \
    item.iItem = row;                                               \
    item.iSubItem = column;                                         \
    item.pszText = text;                                            \
    item.cchTextMax = 1024;                                         \
    WriteProcessMemory(process, remote, &item, sizeof item, &done); \
    Ask(list, LVM_GETITEMW, 0, (LPARAM)remote);                     \
    ReadProcessMemory(process, remote, &item, sizeof item, &done);  \
    image = item.iImage;                                            \
  } while (0)
  if (wow64) QUERY(struct ListItem32, (DWORD)(ULONG_PTR)(remote + 256));
  else QUERY(LVITEMW, (wchar_t*)(remote + 256));
#undef QUERY
  ReadProcessMemory(process, remote + 256, out, 1024 * sizeof(wchar_t), &done);
  out[1023] = 0;
  return image;
}

DEFINE_GUID(kIidAccessible, 0x618736e0, 0x3c3d, 0x11cf, 0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);

/* A child's accessible name (or value) as "[text]" in UTF-8, or "(none)". */
static const char* Accessible(HWND window, LONG child, BOOL value) {
  static char out[4096];
  IAccessible* acc = NULL;
  BSTR text = NULL;
  VARIANT id;
  id.vt = VT_I4;
  id.lVal = child;
  lstrcpyA(out, "(none)");
  if (SUCCEEDED(AccessibleObjectFromWindow(window, OBJID_CLIENT, &kIidAccessible, (void**)&acc)) && acc &&
      SUCCEEDED(value ? IAccessible_get_accValue(acc, id, &text) : IAccessible_get_accName(acc, id, &text)) && text) {
    out[0] = '[';
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out + 1, sizeof out - 3, NULL, NULL);
    lstrcpyA(out + (n > 0 ? n : 1), "]");
  }
  if (text) SysFreeString(text);
  if (acc) IAccessible_Release(acc);
  return out;
}

static HWND g_list;
static void CALLBACK Announced(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread,
                               DWORD time) {
  (void)hook, (void)object, (void)thread, (void)time;
  if (window != g_list) return;
  /* Reading the name or value serves the hook's next events: the line is printed once it is whole. */
  char line[4200];
  wsprintfA(line, "%s %s %lu\n", event == EVENT_OBJECT_VALUECHANGE ? "value" : "name",
            Accessible(window, child, event == EVENT_OBJECT_VALUECHANGE), (unsigned long)time);
  fputs(line, stdout);
  fflush(stdout);
}

static void PrintRows(HWND list) {
  void* remote = NULL;
  HANDLE process = OpenOwner(list, &remote);
  int count = (int)Ask(list, LVM_GETITEMCOUNT, 0, 0);
  for (int row = 0; row < count && remote; ++row) {
    wchar_t first[1024], second[1024];
    int image = CellText(list, process, remote, row, 0, first);
    CellText(list, process, remote, row, 1, second);
    printf("image %d", image);
    PrintUtf8(" [", first, "]");
    PrintUtf8(" [", second, "]\n");
  }
  CloseOwner(process, remote);
}

/* The screen rectangle of the row's icon (column -1) or of a cell. */
static BOOL CellRect(HWND list, int row, int column, RECT* out) {
  SIZE_T done = 0;
  void* remote = NULL;
  HANDLE process = OpenOwner(list, &remote);
  BOOL ok = FALSE;
  if (remote) {
    RECT r = {column < 0 ? LVIR_ICON : LVIR_LABEL, column < 0 ? 0 : column, 0, 0};
    WriteProcessMemory(process, remote, &r, sizeof r, &done);
    ok = Ask(list, column > 0 ? LVM_GETSUBITEMRECT : LVM_GETITEMRECT, row, (LPARAM)remote) &&
         ReadProcessMemory(process, remote, out, sizeof *out, &done);
  }
  CloseOwner(process, remote);
  if (ok) MapWindowPoints(list, NULL, (POINT*)out, 2);
  return ok;
}

static int KillByName(const wchar_t* name) {
  int killed = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, name) != 0) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    if (TerminateProcess(process, 1)) ++killed;
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return killed;
}

static int WriteClipboard(const wchar_t* path, BOOL ansi) {
  int ok = 0;
  for (int i = 0; i < 50 && !ok; ++i) {
    if (i) Sleep(100);
    if (!OpenClipboard(NULL)) continue;
    HANDLE data = GetClipboardData(ansi ? CF_TEXT : CF_UNICODETEXT);
    const char* text = data ? GlobalLock(data) : NULL;
    FILE* f = text ? _wfopen(path, L"wb") : NULL;
    if (f) {
      fwrite(text, 1, ansi ? strlen(text) : wcslen((const wchar_t*)text) * sizeof(wchar_t), f);
      ok = fclose(f) == 0;
    }
    if (text) GlobalUnlock(data);
    CloseClipboard();
  }
  return ok ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  int id = argc > 3 ? _wtoi(argv[3]) : 0;
  int tries = 300;
  if (lstrcmpW(argv[2], L"text") == 0 && argc > 5) {
    tries = _wtoi(argv[5]) * 20;
    printf("ready\n");
    fflush(stdout);
  }
  for (int i = 0; i < tries; ++i) {
    g_top = NULL;
    g_title = argv[1];
    EnumWindows(VisitTop, 0);
    HWND c = Control(id), list = Control(1212);
    RECT r;
    if (lstrcmpW(argv[2], L"focusid") == 0) {
      HWND focus = Focused(list);
      if (focus) {
        printf("%d row %d\n", GetDlgCtrlID(focus), (int)Ask(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED));
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"cell") == 0 && argc > 4) {
      if (list && CellRect(list, id, _wtoi(argv[4]), &r)) {
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"acc") == 0) {
      if (list) {
        CoInitialize(NULL);
        printf("list %s", Accessible(list, CHILDID_SELF, FALSE));
        printf(" value %s\n", Accessible(list, CHILDID_SELF, TRUE));
        int count = (int)Ask(list, LVM_GETITEMCOUNT, 0, 0);
        for (int row = 0; row < count; ++row) printf("row %d %s\n", row + 1, Accessible(list, row + 1, FALSE));
        printf("check box %s\n", Accessible(Control(1227), CHILDID_SELF, FALSE));
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"events") == 0) {
      g_list = list;
      if (g_list) {
        DWORD pid = 0, end = GetTickCount() + (DWORD)id * 1000;
        GetWindowThreadProcessId(g_list, &pid);
        CoInitialize(NULL);
        SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, NULL, Announced, pid, 0,
                        WINEVENT_OUTOFCONTEXT);
        printf("listening\n");
        fflush(stdout);
        while ((LONG)(end - GetTickCount()) > 0) {
          MSG msg;
          while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
          MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        }
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"rtl") == 0) {
      if (list) {
        printf("page %d list %d\n", (GetWindowLongW(GetParent(list), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0,
               (GetWindowLongW(list, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0);
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"wait") == 0) {
      if (c && IsWindowVisible(c)) return 0;
    } else if (lstrcmpW(argv[2], L"gone") == 0) {
      if (!c) return 0;
    } else if (lstrcmpW(argv[2], L"pos") == 0) {
      return c && GetWindowRect(c, &r) ? PrintCentre(&r) : 1;
    } else if (lstrcmpW(argv[2], L"focus") == 0) {
      if (c && Focused(c) == c) return 0;
    } else if (lstrcmpW(argv[2], L"text") == 0 && argc > 4) {
      wchar_t text[512] = {0};
      /* Polled: an installer thread busy with a script function for a moment is asked again. */
      if (c && SendMessageTimeoutW(c, WM_GETTEXT, 512, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL) &&
          lstrcmpW(text, argv[4]) == 0)
        return 0;
    } else if (lstrcmpW(argv[2], L"is") == 0) {
      if (c) {
        printf("enabled=%d checked=%d", On(c, 0), On(c, 2));
        PrintUtf8(" text=[", TextOf(c), "]\n");
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"rows") == 0) {
      int want = argc > 3 ? _wtoi(argv[3]) : -1;
      if (list && (want < 0 || Ask(list, LVM_GETITEMCOUNT, 0, 0) == want)) {
        PrintRows(list);
        return 0;
      }
      if (i == 299 && list) PrintRows(list);
    } else if (lstrcmpW(argv[2], L"box") == 0 || lstrcmpW(argv[2], L"boxbtn") == 0) {
      HWND box = OwnedWindow(L"#32770", FALSE);
      if (box && argv[2][3] == 0) {
        PrintUtf8("[", TextOf(box), "] ");
        PrintUtf8("", TextOf(GetDlgItem(box, 0xFFFF)), "\n");
        return 0;
      }
      if (box && GetWindowRect(GetDlgItem(box, id), &r)) return PrintCentre(&r);
    } else if (lstrcmpW(argv[2], L"boxgone") == 0) {
      HWND box = OwnedWindow(L"#32770", FALSE);
      if (!box || (argc > 3 && lstrcmpW(TextOf(GetDlgItem(box, 0xFFFF)), argv[3]) != 0)) return 0;
    } else if (lstrcmpW(argv[2], L"menu") == 0) {
      HWND menu = OwnedWindow(L"#32768", TRUE);
      if (menu && GetWindowRect(menu, &r)) {
        printf("%ld %ld %ld %ld %ld %ld %d\n", (r.left + r.right) / 2, argc > 3 ? r.top + 10 : r.bottom - 10, r.left,
               r.top, r.right, r.bottom, (GetWindowLongW(menu, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0);
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"iconat") == 0) {
      if (list && CellRect(list, id, -1, &r)) return PrintCentre(&r);
    } else if (lstrcmpW(argv[2], L"send") == 0 && argc > 5) {
      if (list) {
        LRESULT answer = Ask(GetParent(list), (UINT)wcstoul(argv[3], NULL, 16), (WPARAM)_wcstoui64(argv[4], NULL, 10),
                             (LPARAM)_wcstoui64(argv[5], NULL, 10));
        printf("%lld\n", (long long)answer);
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"tip") == 0) {
      const wchar_t* text = TextOf(OwnedWindow(TOOLTIPS_CLASSW, TRUE));
      if (text[0]) {
        PrintUtf8("", text, "\n");
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"clip") == 0 || lstrcmpW(argv[2], L"clipa") == 0) {
      return argc > 3 ? WriteClipboard(argv[3], argv[2][4] == L'a') : 2;
    } else if (lstrcmpW(argv[2], L"unclip") == 0) {
      if (OpenClipboard(NULL)) {
        EmptyClipboard();
        CloseClipboard();
        return 0;
      }
    } else if (lstrcmpW(argv[2], L"kill") == 0) {
      if (argc > 3) {
        int killed = KillByName(argv[3]);
        printf("%d %lu\n", killed, GetTickCount());  /* the count, and the time all of them had ended */
      }
      return 0;
    } else if (lstrcmpW(argv[2], L"state") == 0) {
      printf("custom=%d current=%d edits=%d%d%d error shown=%d", On(Control(1215), 2), On(Control(1233), 2),
             On(Control(1229), 0), On(Control(1217), 0), On(Control(1218), 0), On(Control(1231), 1));
      PrintUtf8(" error=[", TextOf(Control(1231)), "]");
      PrintUtf8(" domain=[", TextOf(Control(1229)), "]");
      PrintUtf8(" user=[", TextOf(Control(1217)), "]");
      PrintUtf8(" password=[", TextOf(Control(1218)), "]\n");
      return 0;
    } else {
      return 2;
    }
    Sleep(50);
  }
  return 1;
}
