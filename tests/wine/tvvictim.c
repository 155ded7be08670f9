/* A program for the process tests to find, close and kill. Optional key=value arguments:
     file=PATH | touch=PATH   holds the file open (shared read: locked) | creates it; makes folders
     dir=PATH | dll=PATH      holds the folder open | loads the DLL
     class=NAME caption=TEXT  a hidden top-level window (style=1: WS_VISIBLE, never mapped);
       deaf=1 ignores WM_CLOSE/WM_ENDSESSION; refuse=1 refuses WM_QUERYENDSESSION; ask=MS answers
       WM_CLOSE with a "Save changes?" window and ends MS ms later; else WM_ENDSESSION ends it
     console=1                own console (hidden if started hidden), ends on Ctrl+C/Ctrl+Break
     helpers=N [helperdll=P]  N copies "helper=1 life=..." (loading P) that end with their parent
     ready=NAME | mark=PATH   sets the event | creates the file once started
     life=MS | bye=PATH       ends after MS ms | writes how it ended to the file
     record=PATH              appends its command line and current folder, a UTF-8 line each
   Without key=value arguments it writes those two lines to tvcmdline.txt and ends. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int g_deaf = 0, g_refuse = 0, g_ask = 0, g_asking = 0;
static const char *g_bye = NULL, *g_class = NULL;

/* Written under another name first: a reader never sees half a note. */
static void Bye(const char* how) {
  char draft[MAX_PATH + 8];
  if (g_bye == NULL) return;
  snprintf(draft, sizeof draft, "%s.tmp", g_bye);
  HANDLE note = CreateFileA(draft, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD written = 0;
  if (note == INVALID_HANDLE_VALUE) return;
  WriteFile(note, how, (DWORD)strlen(how), &written, NULL);
  CloseHandle(note);
  MoveFileExA(draft, g_bye, MOVEFILE_REPLACE_EXISTING);
}

static DWORD WINAPI EndLater(LPVOID milliseconds) {
  Sleep((DWORD)(INT_PTR)milliseconds);
  if (g_asking) Bye("closed after asking\r\n");
  ExitProcess(0);
}

static DWORD WINAPI Follow(LPVOID process) {
  WaitForSingleObject((HANDLE)process, INFINITE);
  ExitProcess(0);
}

static BOOL WINAPI ConsoleEvent(DWORD event) {
  if (event > CTRL_BREAK_EVENT) return FALSE;
  Bye("saved on Ctrl+C\r\n");
  ExitProcess(0);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_QUERYENDSESSION) return !g_refuse && !g_asking;
  if (message == WM_ENDSESSION && w && !g_deaf) {
    Bye("saved on WM_ENDSESSION\r\n");
    ExitProcess(0);
  }
  if (message == WM_CLOSE && g_ask && !g_asking) {
    g_asking = 1;
    HWND question = CreateWindowA(g_class, "Save changes?", WS_POPUP | WS_CAPTION, 20, 20, 200, 80, window, NULL,
                                  GetModuleHandleA(NULL), NULL);
    SetWindowLongA(question, GWL_STYLE, GetWindowLongA(question, GWL_STYLE) | WS_VISIBLE);
    CloseHandle(CreateThread(NULL, 0, EndLater, (LPVOID)(INT_PTR)g_ask, 0, NULL));
    return 0;
  }
  if (message == WM_CLOSE && (g_deaf || g_asking)) return 0;
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

static const char* Value(int argc, char** argv, const char* key) {
  size_t n = strlen(key);
  for (int i = 1; i < argc; ++i)
    if (strncmp(argv[i], key, n) == 0 && argv[i][n] == '=') return argv[i] + n + 1;
  return NULL;
}

/* UTF-16, extended form where too long for the plain one; freed by the caller. */
static WCHAR* Wide(const char* path) {
  int n = MultiByteToWideChar(CP_ACP, 0, path, -1, NULL, 0);
  WCHAR* out = n > 0 ? malloc((n + 4) * sizeof(WCHAR)) : NULL;
  int at = n - 1 >= MAX_PATH ? 4 : 0;
  if (out == NULL) exit(3);
  memcpy(out, L"\\\\?\\", 4 * sizeof(WCHAR));
  MultiByteToWideChar(CP_ACP, 0, path, -1, out + at, n);
  return out;
}

static HANDLE OpenMaking(const char* path, DWORD access, DWORD share, DWORD disposition) {
  WCHAR* wide = Wide(path);
  WCHAR* start = wide + (wcsncmp(wide, L"\\\\?\\", 4) == 0 ? 4 : 0);
  for (WCHAR* p = start + (start[0] && start[1] == L':' ? 3 : 0); *p; ++p) {
    if (*p != L'\\') continue;
    *p = 0;
    CreateDirectoryW(wide, NULL);
    *p = L'\\';
  }
  HANDLE file = CreateFileW(wide, access, share, NULL, disposition, 0, NULL);
  free(wide);
  return file;
}

static void Record(const char* path) {
  WCHAR directory[MAX_PATH + 1] = {0}, text[8192];
  char line[3 * 8192];
  DWORD written;
  GetCurrentDirectoryW(MAX_PATH, directory);
  /* A polling test (NSIS opens without sharing writes) may hold it a moment: try for a while. */
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 250 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = OpenMaking(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  _snwprintf(text, 8191, L"%ls\r\n%ls\r\n", GetCommandLineW(), directory);
  text[8191] = 0;
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line, NULL, NULL);
  WriteFile(file, line, n > 0 ? (DWORD)(n - 1) : 0, &written, NULL);
  CloseHandle(file);
}

static int Fail(const char* what) {
  fprintf(stderr, "tvvictim: %s failed, error %lu\n", what, GetLastError());
  return 3;
}

int main(int argc, char** argv) {
  int switches = 0;
  for (int i = 1; i < argc; ++i) switches += strchr(argv[i], '=') != NULL;
  if (switches == 0) { /* written under another name first, so that a reader never sees half a file */
    DeleteFileA("tvcmdline.tmp");
    Record("tvcmdline.tmp");
    return MoveFileExA("tvcmdline.tmp", "tvcmdline.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
  }
  const char* file = Value(argc, argv, "file");
  const char* dir = Value(argc, argv, "dir");
  const char* dll = Value(argc, argv, "dll");
  const char* cls = Value(argc, argv, "class");
  const char* caption = Value(argc, argv, "caption");
  const char* ready = Value(argc, argv, "ready");
  const char* touch = Value(argc, argv, "touch");
  const char* life = Value(argc, argv, "life");
  const char* record = Value(argc, argv, "record");
  const char* follow = Value(argc, argv, "follow");
  g_bye = Value(argc, argv, "bye");
  if (life) CloseHandle(CreateThread(NULL, 0, EndLater, (LPVOID)(INT_PTR)atoi(life), 0, NULL));
  if (follow) {
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)atoi(follow));
    if (parent == NULL) return 0; /* gone already */
    CloseHandle(CreateThread(NULL, 0, Follow, parent, 0, NULL));
  }
  const char* console = Value(argc, argv, "console");
  if (console && *console == '1' && (!AllocConsole() || !SetConsoleCtrlHandler(ConsoleEvent, TRUE)))
    return Fail("console");
  if (file && OpenMaking(file, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS) == INVALID_HANDLE_VALUE)
    return Fail("file");
  if (touch) {
    HANDLE made = OpenMaking(touch, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (made == INVALID_HANDLE_VALUE) return Fail("touch");
    CloseHandle(made);
  }
  if (dir && CreateFileA(dir, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL) == INVALID_HANDLE_VALUE)
    return Fail("dir");
  if (dll && LoadLibraryA(dll) == NULL) return Fail("dll");
  if (cls) {
    const char* deaf = Value(argc, argv, "deaf");
    const char* refuse = Value(argc, argv, "refuse");
    const char* ask = Value(argc, argv, "ask");
    g_deaf = deaf && *deaf == '1';
    g_refuse = refuse && *refuse == '1';
    g_ask = ask ? atoi(ask) : 0;
    g_class = cls;
    WNDCLASSA wc = {.lpfnWndProc = WindowProc, .hInstance = GetModuleHandleA(NULL), .lpszClassName = cls};
    RegisterClassA(&wc);
    HWND window = CreateWindowA(cls, caption ? caption : "", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, NULL, NULL,
                                wc.hInstance, NULL);
    if (window == NULL) return Fail("window");
    const char* style = Value(argc, argv, "style");
    if (style && *style == '1') SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_VISIBLE);
  }
  const char* helpers = Value(argc, argv, "helpers");
  const char* helperDll = Value(argc, argv, "helperdll");
  for (int i = 0; helpers && i < atoi(helpers); ++i) {
    WCHAR image[MAX_PATH], line[2 * MAX_PATH + 96], event[64];
    GetModuleFileNameW(NULL, image, MAX_PATH);
    wsprintfW(event, L"TvHelperReady-%lu-%d", GetCurrentProcessId(), i);
    wsprintfW(line, L"\"%s\" helper=1 ready=%s life=%S", image, event, life ? life : "60000");
    if (helperDll)
      wsprintfW(line + lstrlenW(line), L" dll=%S follow=%lu", helperDll, GetCurrentProcessId());
    HANDLE up = CreateEventW(NULL, TRUE, FALSE, event);
    STARTUPINFOW si = {.cb = sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(image, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return Fail("helper");
    WaitForSingleObject(up, 60000);
    CloseHandle(up);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  /* Last of the start, so that a test that waits for the record finds the window and the rest. */
  if (record) Record(record);
  if (ready) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
    if (event) SetEvent(event);
  }
  const char* mark = Value(argc, argv, "mark");
  if (mark) CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  Bye("closed by its window\r\n");
  return 0;
}
