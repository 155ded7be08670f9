// The running-programs page without targets (its search ends at once): what page-gui cannot show.
#include <cstdlib>
#include <string>

#include "harness.h"

#include <commctrl.h>

// Show after Dialog finds no page; no page starts beside a background silent search.
TEST_CASE(PageDialogThenShowAndBesideASilentSearch) {
  StandIn window(400);
  Stack s;
  s.PushAll({"below", "", "Program", "/colheadings"});
  window.WithPage("Dialog", s, [](HWND, HWND page) {
    CHECK((GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE) != 0);  // the stand-in itself is never shown
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
  });
  CHECK_STACK(s, {"back", "below"});
  CHECK(!IsWindow(StandIn::Page()));  // gone with its end
  CHECK_STACK(window.Call("Show", {}), {"error"});

  Installer::Get().functions[41] = [](HWND) { return 0; };
  CHECK_STACK(window.Call("SilentSearch", {"42", "/async"}), {"ok"});
  std::vector<std::string> init = window.Call("InitDialog", {"below", "/heading", "x"});
  CHECK(!init.empty() && init[0] == "error");
  CHECK_STACK(window.Call("Dialog", {"below"}), {"error", "below"});
  CHECK_STACK(window.Call("Show", {}), {"error"});
  CHECK_STACK(window.Call("SilentWait", {"below"}), {"below"});
  Installer::Get().functions.erase(41);
}

// An unshown page goes with the unload or the next Dialog; one that cannot be made answers
// "error" alone, its options taken.
TEST_CASE(PagesNeverShownAndPagesThatCannotStart) {
  StandIn window(400);
  auto made = [&window]() {
    std::vector<std::string> left = window.Call("InitDialog", {});
    return left.empty() ? nullptr : reinterpret_cast<HWND>(static_cast<INT_PTR>(std::atol(left[0].c_str())));
  };
  HWND page = made();
  CHECK(IsWindow(page));
  Installer::Get().SendUnload();
  CHECK(!IsWindow(page));
  page = made();
  CHECK(IsWindow(page));
  Stack s;
  s.Push("below");
  window.WithPage("Dialog", s);
  CHECK_STACK(s, {"back", "below"});
  CHECK(!IsWindow(page));
  CHECK_STACK(window.Call("InitDialog", {"below", "12abc", "/cbaddress", "/autonext"}), {"error", "below"});
  CHECK_STACK(CallExport("InitDialog", {"below", "x", "/heading"}), {"error", "below"});
}
