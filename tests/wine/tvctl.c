/* Looks at a wizard from outside, for the GUI tests that drive it with xdotool:
   TITLE is the start of the installer window's title.
     tvctl TITLE wait ID     waits (at most 15 s) until the control ID is shown; exit 1 if not
     tvctl TITLE gone ID     waits (at most 15 s) until the control ID no longer exists
     tvctl TITLE pos ID      prints the screen position of the control's centre: "X Y"
     tvctl TITLE state       prints the run-as page's state on one line
     tvctl TITLE text ID T   waits (at most 15 s) until the control's text is T; exit 1 if not
     tvctl TITLE focus ID    waits (at most 15 s) until the control has the keyboard focus
   Ids 1 (Next) and 3 (Back) are the installer window's own buttons; other ids are looked for in
   the page inside it. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static HWND g_top;
static const wchar_t* g_title;

/* The installer puts the page's name behind its caption: the title is matched as a prefix. */
static BOOL CALLBACK VisitTop(HWND top, LPARAM param) {
  wchar_t text[512] = {0};
  int n = lstrlenW(g_title);
  (void)param;
  if (!IsWindowVisible(top) || GetWindowTextW(top, text, 512) < n) return TRUE;
  text[n] = 0;
  if (lstrcmpW(text, g_title) != 0) return TRUE;
  g_top = top;
  return FALSE;
}

struct Search {
  int id;
  HWND found;
};

static BOOL CALLBACK Visit(HWND child, LPARAM param) {
  struct Search* s = (struct Search*)param;
  if (GetDlgCtrlID(child) != s->id) return TRUE;
  if ((s->id == 1 || s->id == 3) != (GetParent(child) == g_top)) return TRUE;
  s->found = child;
  return FALSE;
}

static HWND Control(int id) {
  struct Search s = {id, NULL};
  if (g_top) EnumChildWindows(g_top, Visit, (LPARAM)&s);
  return s.found;
}

static void PrintText(const char* name, HWND control) {
  wchar_t text[512] = {0};
  char utf8[1024] = {0};
  /* WM_GETTEXT: GetWindowText would give another process's edits their creation text only. */
  if (control) SendMessageW(control, WM_GETTEXT, 512, (LPARAM)text);
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), NULL, NULL);
  printf(" %s=[%s]", name, utf8);
}

static int On(HWND control, int what) {
  if (!control) return -1;
  if (what == 0) return IsWindowEnabled(control) ? 1 : 0;
  if (what == 1) return IsWindowVisible(control) ? 1 : 0;
  return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  int id = argc > 3 ? _wtoi(argv[3]) : 0;
  for (int i = 0; i < 300; ++i) {
    g_top = NULL;
    g_title = argv[1];
    EnumWindows(VisitTop, 0);
    HWND c = Control(id);
    if (lstrcmpW(argv[2], L"wait") == 0) {
      if (c && IsWindowVisible(c)) return 0;
    } else if (lstrcmpW(argv[2], L"gone") == 0) {
      if (!c) return 0;
    } else if (lstrcmpW(argv[2], L"pos") == 0) {
      RECT r;
      if (!c || !GetWindowRect(c, &r)) return 1;
      printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
      return 0;
    } else if (lstrcmpW(argv[2], L"focus") == 0) {
      GUITHREADINFO gui;
      ZeroMemory(&gui, sizeof gui);
      gui.cbSize = sizeof gui;
      if (c && GetGUIThreadInfo(GetWindowThreadProcessId(c, NULL), &gui) && gui.hwndFocus == c) return 0;
    } else if (lstrcmpW(argv[2], L"text") == 0 && argc > 4) {
      wchar_t text[512] = {0};
      if (c) SendMessageW(c, WM_GETTEXT, 512, (LPARAM)text);
      if (c && lstrcmpW(text, argv[4]) == 0) return 0;
    } else if (lstrcmpW(argv[2], L"state") == 0) {
      printf("custom=%d current=%d edits=%d%d%d error shown=%d", On(Control(1215), 2), On(Control(1233), 2),
             On(Control(1229), 0), On(Control(1217), 0), On(Control(1218), 0), On(Control(1231), 1));
      PrintText("error", Control(1231));
      PrintText("domain", Control(1229));
      PrintText("user", Control(1217));
      PrintText("password", Control(1218));
      printf("\n");
      return 0;
    } else {
      return 2;
    }
    Sleep(50);
  }
  return 1;
}
