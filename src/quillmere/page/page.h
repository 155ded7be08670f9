// The running-programs page: a child dialog over the installer window's page area that lists the
// programs holding what setup will replace, while its own thread searches for them, then watches
// them and closes them on request. The installer's thread runs the page's message loop, its
// dialog procedure and the hooks on the installer window and the list; the page's thread changes
// the controls only through messages to them.
#pragma once
#include <windows.h>

#include <commctrl.h>
#include <unknwn.h>

#include <atomic>

#include "frame/owned.h"
#include "quillmere/page/page_text.h"
#include "quillmere/search/search.h"

namespace tv {

// The installer window's messages and buttons.
constexpr UINT kNotifyOuterNext = WM_USER + 0x8;
constexpr UINT kNotifyCustomReady = WM_USER + 0xd;
constexpr int kPageAreaId = 1018;
constexpr int kNextId = 1;
constexpr int kCancelId = 2;
constexpr int kBackId = 3;
constexpr WPARAM kLeaveNext = 1;
constexpr int kLeaveBack = -1;
constexpr int kLeaveCancel = 120;

// A row that the page's thread has the installer's thread add: that thread owns the list and its
// image list.
struct PendingRow {
  const tchar* first;
  const tchar* second;
  HICON icon;  // copied into the image list; null: the generic program icon
  FoundRecord* record;
};

// Sent to the page by its thread once a row waits in pendingRow. It carries nothing: a page that
// gets it from anyone else finds no row waiting, or adds the waiting row a moment early.
constexpr UINT kAddPendingRow = WM_APP + 0x51;

// Raises a screen reader's event for the list (wParam the event, lParam the child) on the page's thread.
constexpr UINT kAnnounce = WM_APP + 0x52;

// The close stage in which the page's thread closes the program that the list menu's Close
// chose (menuClose), politely, as the close sequence does.
constexpr int kMenuCloseStage = 4;

// The one page that exists at a time, from InitDialog (or Dialog) to its end.
struct ProgramsPage {
  PageOptions<tchar> options;
  HWND parent = nullptr;  // the installer window
  HWND page = nullptr;
  HWND list = nullptr, progress = nullptr, checkBox = nullptr;
  HWND next = nullptr, cancel = nullptr, back = nullptr;
  HIMAGELIST images = nullptr;
  LONG_PTR previousDialogProc = 0;
  LONG_PTR previousListProc = 0;
  bool running = false;  // Show has started on it
  bool rightToLeft = false;  // the installer's language reads right to left: the page is mirrored
  IUnknown* accessible = nullptr;  // the list's accessible object, once a client asked for it
  bool threadFailed = false;  // the page's thread could not start
  BasicText<tchar> savedNextText;
  BasicText<tchar> title;  // the message boxes' title: the installer window's caption

  // Shared by the two threads: each a single word, written by one side and polled by the other.
  std::atomic<bool> leaveRequested{false};
  std::atomic<bool> searchThreadDone{false};
  std::atomic<bool> searchFinished{false};
  std::atomic<bool> cancelPressed{false};
  std::atomic<bool> backPressed{false};
  std::atomic<bool> ignoreClicked{false};
  std::atomic<bool> autoNext{false};
  std::atomic<bool> leavePosted{false};  // the page has asked the installer for the next page once
  std::atomic<int> closeStage{0};        // 0 idle, 1 close, 2 kill, 3 manual, kMenuCloseStage
  std::atomic<DWORD> menuClose{0};       // the process that the list menu's Close chose
  std::atomic<int> autoCloseMode{0};     // 0 none, 1 with questions, 2 without
  std::atomic<int> rowCount{0};          // rows without the status row, once the search has ended
  std::atomic<HCURSOR> busyCursor{nullptr};
  std::atomic<PendingRow*> pendingRow{nullptr};
  // Rings (auto-reset) when the installer's thread changes leaveRequested or closeStage: the
  // page's thread waits on it beside the listed processes.
  KernelHandle wake;
};

// Tells the page's thread that leaveRequested or closeStage changed.
inline void WakePageThread(ProgramsPage& page) { SetEvent(page.wake.get()); }

// Null while no page exists.
ProgramsPage* CurrentPage();

// page_monitor.cpp: the page's thread (its parameter is the page's script function).
DWORD WINAPI PageSearchThread(void* scriptFunction);
// Asks the installer for the next page, at most once per page.
void PostLeaveOnce(ProgramsPage& page);
// On the installer's thread: adds the row that waits in pendingRow, if one does.
void AddPendingRow(ProgramsPage& page);

// page_list.cpp: the list's context menu at the position of WM_CONTEXTMENU (-1: the keyboard's,
// at the selected row), and Copy List.
void ShowListMenu(ProgramsPage& page, LPARAM position);
void CopyList(ProgramsPage& page);

// page_access.cpp: the list as screen readers see it.
// The answer to WM_GETOBJECT on the list.
LRESULT AnswerGetObject(ProgramsPage& page, WPARAM flags, LPARAM objectId);
// Cuts off every client of the list's accessible object and lets it go (the page ends).
void ReleaseAccessible(ProgramsPage& page);
// Tells screen readers that the status row's text changed, or the number of programs listed.
void AnnounceStatusRow(const ProgramsPage& page, int row);
void AnnounceProgramCount(const ProgramsPage& page);
// The rows that stand for a program (or a custom entry): every row but the status row.
int ProgramRows(HWND list);

// ---- the list, in the width of the build

inline LRESULT SendT(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return TV_AW(SendMessage)(window, message, wParam, lParam);
}
inline void PostT(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TV_AW(PostMessage)(window, message, wParam, lParam);
}
inline int ListRowCount(HWND list) { return static_cast<int>(SendT(list, LVM_GETITEMCOUNT, 0, 0)); }

// The record of a row; null for the status row or past the end.
inline FoundRecord* ListRowRecord(HWND list, int row) {
  TV_AW(LVITEM) item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendT(list, TV_AW(LVM_GETITEM), 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<FoundRecord*>(item.lParam);
}

// A cell's whole text, however long.
inline bool ListCellText(HWND list, int row, int column, BasicText<tchar>* out) {
  for (std::size_t size = 512; size <= 65536; size *= 2) {
    if (!out->Resize(size)) return false;
    TV_AW(LVITEM) item = {};
    item.iSubItem = column;
    item.pszText = out->data();
    item.cchTextMax = static_cast<int>(size);
    std::size_t n = static_cast<std::size_t>(SendT(list, TV_AW(LVM_GETITEMTEXT), row, reinterpret_cast<LPARAM>(&item)));
    if (n + 1 < size) return out->Resize(n);
  }
  return true;  // cut at 64 Ki characters
}

// Deletes a row and has the list drawn anew (a list scrolled down keeps showing a deleted last
// row otherwise). False when the row could not be deleted.
inline bool ListDeleteRow(HWND list, int row) {
  if (!SendT(list, LVM_DELETEITEM, row, 0)) return false;
  InvalidateRect(list, nullptr, TRUE);
  return true;
}

inline void ListSetCellText(HWND list, int row, int column, const tchar* text) {
  TV_AW(LVITEM) item = {};
  item.iSubItem = column;
  item.pszText = const_cast<tchar*>(text);
  SendT(list, TV_AW(LVM_SETITEMTEXT), row, reinterpret_cast<LPARAM>(&item));
}

}  // namespace tv
