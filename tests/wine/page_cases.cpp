// The running-programs page in the harness: in a stand-in installer window (a dialog with the
// page area 1018 and the Next, Cancel and Back buttons, whose procedure answers 0 to the page
// change as the installer does for custom pages), with no search targets, so that the page's
// search ends at once. The GUI test drives the page with programs listed in real wizards.
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>

#include "harness.h"

#include <commctrl.h>

namespace {

std::atomic<HWND> g_ready{nullptr};
std::atomic<int> g_leaveCount{0};

INT_PTR CALLBACK StandIn(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == kNotifyCustomReady) g_ready = reinterpret_cast<HWND>(wParam);
  if (message == kNotifyOuterNext) ++g_leaveCount;
  return 0;
}

// The page area is as wide as given; the page's list is that wide less its two border pixels.
struct StandInWindow {
  HWND hwnd;
  explicit StandInWindow(int areaWidth) {
    hwnd = TV_W(CreateWindowEx)(0, T("#32770").c_str(), nullptr, WS_OVERLAPPEDWINDOW, 0, 0, areaWidth + 80, 400,
                                nullptr, nullptr, nullptr, nullptr);
    TV_W(SetWindowLongPtr)(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&StandIn));
    TV_W(CreateWindowEx)(0, T("Static").c_str(), nullptr, WS_CHILD, 20, 30, areaWidth, 250, hwnd,
                         reinterpret_cast<HMENU>(1018), nullptr, nullptr);
    for (int id : {1, 2, 3})
      TV_W(CreateWindowEx)(0, T("Button").c_str(), nullptr, WS_CHILD, 100 * id, 320, 80, 25, hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }
  ~StandInWindow() { DestroyWindow(hwnd); }
};

std::string Text(HWND window) {
  TChar text[512] = {};
  TV_W(GetWindowText)(window, text, 512);
  return Narrow(text);
}

struct Job {
  HWND parent;
  std::function<void(HWND parent, HWND page)> look;
  bool leave;  // Back once the look is done
};

DWORD WINAPI Look(void* p) {
  auto* job = static_cast<Job*>(p);
  for (int i = 0; i < 1000 && g_ready.load() == nullptr; ++i) Sleep(10);
  HWND page = g_ready.load();
  CHECK(page != nullptr);
  if (page != nullptr && job->look) job->look(job->parent, page);
  if (page != nullptr && job->leave) PostMessageA(job->parent, kNotifyOuterNext, static_cast<WPARAM>(-1), 0);
  return 0;
}

// Calls the export while another thread looks at the page, as a user would, and then (leave)
// presses Back.
void WithPage(const char* name, Stack& stack, const StandInWindow& window, std::function<void(HWND, HWND)> look,
              bool leave) {
  Job job{window.hwnd, std::move(look), leave};
  g_ready = nullptr;
  HANDLE looker = CreateThread(nullptr, 0, &Look, &job, 0, nullptr);
  Dll().Call(name, &stack, window.hwnd);
  WaitForSingleObject(looker, 20000);
  CloseHandle(looker);
  // What the page posted to the installer and the installer did not take yet.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

}  // namespace

// Options with the script's word below them, the columns of a 400-pixel list less a 17-pixel
// scroll bar, "/autonext" moving the installer on exactly once, and the page's end.
TEST_CASE(PageOptionsColumnsAndAutoNext) {
  int scrollBar = GetSystemMetrics(SM_CXVSCROLL);
  StandInWindow window(400);
  Stack s;
  s.PushAll({"mine", "/autonext", "Close these first", "/HEADING"});
  Dll().Call("InitDialog", &s, window.hwnd);
  std::vector<std::string> left = s.TopFirst();
  CHECK(left.size() == 2 && left[1] == "mine");
  HWND page = left.empty() ? nullptr : reinterpret_cast<HWND>(static_cast<INT_PTR>(std::atol(left[0].c_str())));
  CHECK(IsWindow(page) && GetParent(page) == window.hwnd && (GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE) == 0);
  s.Clear();
  // The page area made as wide as a list whose client width less the system's scroll bar is
  // 383 pixels, as 400 less 17.
  RECT outer, inner;
  GetWindowRect(GetDlgItem(page, 1212), &outer);
  GetClientRect(GetDlgItem(page, 1212), &inner);
  int borders = (outer.right - outer.left) - inner.right;
  SetWindowPos(GetDlgItem(window.hwnd, 1018), nullptr, 0, 0, 400 - 17 + scrollBar + borders, 250,
               SWP_NOMOVE | SWP_NOZORDER);

  // No target: the search ends at once, nothing is listed, and the page moves on by itself.
  g_leaveCount = 0;
  WithPage("Show", s, window,
           [scrollBar](HWND, HWND shown) {
             CHECK_EQ(Text(GetDlgItem(shown, 1211)), "Close these first");
             HWND list = GetDlgItem(shown, 1212);
             RECT client;
             GetClientRect(list, &client);
             CHECK_EQ(client.right - scrollBar, 383);
             CHECK_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 253);
             CHECK_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), 126);
           },
           false);
  CHECK_STACK(s, "next");
  CHECK_EQ(g_leaveCount.load(), 1);
  CHECK(!IsWindow(page));
  s.Clear();
  Dll().Call("Show", &s, window.hwnd);  // the page has gone with its end
  CHECK_STACK(s, "error");
}

// Dialog shows the page at once; Show after it finds no page. While a silent search runs in the
// background no page starts.
TEST_CASE(PageDialogThenShowAndBesideASilentSearch) {
  StandInWindow window(400);
  Stack s;
  s.PushAll({"below", "", "Program", "/colheadings"});
  WithPage("Dialog", s, window,
           [](HWND parent, HWND page) {
             CHECK((GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE) != 0);  // the stand-in itself is never shown
             RECT r;
             GetWindowRect(page, &r);
             RECT area;
             GetWindowRect(GetDlgItem(parent, 1018), &area);
             CHECK(EqualRect(&r, &area));
             // The empty column title falls back to its default.
             HWND list = GetDlgItem(page, 1212);
             TChar title[64] = {};
             TV_W(LVCOLUMN) column = {};
             column.mask = LVCF_TEXT;
             column.pszText = title;
             column.cchTextMax = 64;
             TV_W(SendMessage)(list, TV_W(LVM_GETCOLUMN), 0, reinterpret_cast<LPARAM>(&column));
             CHECK_EQ(Narrow(title), "Program");
             TV_W(SendMessage)(list, TV_W(LVM_GETCOLUMN), 1, reinterpret_cast<LPARAM>(&column));
             CHECK_EQ(Narrow(title), "Process");
             // Nothing to close: Next is enabled once the search has ended.
             for (int i = 0; i < 500 && !IsWindowEnabled(GetDlgItem(parent, 1)); ++i) Sleep(10);
             CHECK(IsWindowEnabled(GetDlgItem(parent, 1)));
           },
           true);
  CHECK_STACK(s, "back", "below");
  s.Clear();
  Dll().Call("Show", &s, window.hwnd);
  CHECK_STACK(s, "error");

  // A silent search held in the background: no page, nothing shown.
  Installer::Get().functions[41] = [](HWND) { return 0; };
  s.Clear();
  s.PushAll({"42", "/async"});
  Dll().Call("SilentSearch", &s, window.hwnd);
  CHECK_STACK(s, "ok");
  s.Clear();
  s.PushAll({"below", "/heading", "x"});
  Dll().Call("InitDialog", &s, window.hwnd);
  CHECK_EQ(s.Pop(), "error");
  s.Clear();
  s.Push("below");
  Dll().Call("Dialog", &s, window.hwnd);
  CHECK_EQ(s.Pop(), "error");
  s.Clear();
  Dll().Call("Show", &s, window.hwnd);
  CHECK_STACK(s, "error");
  s.Clear();
  s.Push("below");
  Dll().Call("SilentWait", &s, window.hwnd);
  CHECK_STACK(s, "below");
  Installer::Get().functions.erase(41);
}

// A page that InitDialog made and nobody showed goes with the plug-in's unload, or gives way to
// the next Dialog. A page that cannot be made (an address that is none, no installer window)
// answers "error" alone: its options are taken.
TEST_CASE(PagesNeverShownAndPagesThatCannotStart) {
  StandInWindow window(400);
  Stack s;
  auto made = [&s]() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(std::atol(s.Pop().c_str()))); };
  Dll().Call("InitDialog", &s, window.hwnd);
  HWND page = made();
  CHECK(IsWindow(page));
  Installer::Get().SendUnload();
  CHECK(!IsWindow(page));
  Dll().Call("InitDialog", &s, window.hwnd);
  page = made();
  CHECK(IsWindow(page));
  s.Push("below");
  WithPage("Dialog", s, window, nullptr, true);
  CHECK_STACK(s, "back", "below");
  CHECK(!IsWindow(page));
  s.Clear();
  for (const char* address : {"0", "-3", "0x10", "12abc", "99999999999", ""}) {
    s.PushAll({"below", address, "/cbaddress", "/autonext"});
    Dll().Call("InitDialog", &s, window.hwnd);
    CHECK_STACK(s, "error", "below");
    s.Clear();
  }
  s.PushAll({"below", "x", "/heading"});
  Dll().Call("InitDialog", &s, nullptr);
  CHECK_STACK(s, "error", "below");
}
