// The page list's context menu: close a row's program, stop the service its process hosts, or
// copy the whole list to the clipboard as text.
#include <windows.h>

#include "frame/owned.h"
#include "quillmere/search/closed_record.h"
#include "quillmere/page/page.h"
#include "quillmere/system/process_control.h"

namespace tv {
namespace {

enum MenuCommand { kCloseCommand = 1, kCopyCommand = 2, kServiceCommand = 3 };

#ifdef TARVOLK_UNICODE
constexpr UINT kClipboardText = CF_UNICODETEXT;
#else
constexpr UINT kClipboardText = CF_TEXT;
#endif

bool AnyRowHasSecondColumn(HWND list) {
  BasicText<tchar> text;
  int count = ListRowCount(list);
  for (int row = 0; row < count; ++row)
    if (ListCellText(list, row, 1, &text) && !text.empty()) return true;
  return false;
}

// Every row's two texts and process, and the text they make.
bool ListAsText(HWND list, BasicText<tchar>* out) {
  int count = ListRowCount(list);
  BasicText<tchar> texts;  // every cell's text and its NUL, one after the other
  Buffer<std::size_t> starts;
  Buffer<CopyRow<tchar>> rows;
  BasicText<tchar> cell;
  for (int row = 0; row < count; ++row) {
    CopyRow<tchar> copy = {nullptr, nullptr, false, 0};
    FoundRecord* record = ListRowRecord(list, row);
    if (record != nullptr && !record->isCustom) {
      copy.hasId = true;
      copy.processId = record->process.processId;
    }
    for (int column = 0; column < 2; ++column) {
      if (!ListCellText(list, row, column, &cell) || !starts.Push(texts.size()) ||
          !texts.Append(cell.c_str(), cell.size() + 1))
        return false;
    }
    if (!rows.Push(copy)) return false;
  }
  // The texts no longer move: the rows can point into them.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].first = texts.c_str() + starts[2 * i];
    rows[i].second = texts.c_str() + starts[2 * i + 1];
  }
  return BuildCopyList(rows.data(), rows.size(), out);
}

}  // namespace

void CopyList(ProgramsPage& p) {
  BasicText<tchar> text;
  if (!ListAsText(p.list, &text)) return;
  std::size_t bytes = (text.size() + 1) * sizeof(tchar);
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!block) return;
  void* at = GlobalLock(block.get());
  if (at == nullptr) return;
  CopyMemory(at, text.c_str(), bytes);
  GlobalUnlock(block.get());
  if (!OpenClipboard(p.parent)) return;
  EmptyClipboard();
  // The clipboard owns the block once it took it.
  if (SetClipboardData(kClipboardText, block.get()) != nullptr) block.release();
  CloseClipboard();
}

void ShowListMenu(ProgramsPage& p, LPARAM position) {
  HWND list = p.list;
  if (ListRowCount(list) == 0 || !AnyRowHasSecondColumn(list)) return;  // the status row alone
  POINT at;
  int row = -1;
  if (position == static_cast<LPARAM>(-1)) {
    // The menu key or Shift+F10: the menu opens below the selected row (else the focused one),
    // for that row.
    row = static_cast<int>(SendT(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) row = static_cast<int>(SendT(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    RECT r = {LVIR_LABEL, 0, 0, 0};
    if (row >= 0) {
      SendT(list, LVM_ENSUREVISIBLE, row, FALSE);
      SendT(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    } else {
      GetClientRect(list, &r);
      r.bottom = r.top;
    }
    at = {r.left, r.bottom};
    ClientToScreen(list, &at);
  } else {
    at = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    LVHITTESTINFO hit = {};
    hit.pt = at;
    ScreenToClient(list, &hit.pt);
    row = static_cast<int>(SendT(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  }
  // The row's program, copied now: while the menu is open the page's thread may drop the row.
  FoundProcess program = {};
  bool isProcess = false;
  if (row >= 0) {
    FoundRecord* record = ListRowRecord(list, row);
    if (record != nullptr && !record->isCustom) {
      program = record->process;
      isProcess = true;
    }
  }
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  if (isProcess && program.hostsServices)
    TV_AW(AppendMenu)(menu, MF_STRING, kServiceCommand, p.options.Get(kServiceMenuText));
  else if (isProcess)
    TV_AW(AppendMenu)(menu, MF_STRING, kCloseCommand, p.options.Get(kCloseMenuText));
  TV_AW(AppendMenu)(menu, MF_STRING, kCopyCommand, p.options.Get(kCopyMenuText));
  // Right to left, the menu's start, its right edge, lies at the point.
  UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | (p.rightToLeft ? TPM_LAYOUTRTL : 0);
  int command = static_cast<int>(TrackPopupMenu(menu, flags, at.x, at.y, 0, list, nullptr));
  DestroyMenu(menu);
  switch (command) {
    case kCloseCommand: {
      // The page's thread closes it, with every step that applies, once no other close runs.
      int idle = 0;
      p.menuClose = program.processId;
      if (p.closeStage.compare_exchange_strong(idle, kMenuCloseStage)) WakePageThread(p);
      break;
    }
    case kServiceCommand:
      if (SearchServices() != nullptr && MayEndProcess(program.processId)) {
        NoteProgram(program, Ended::stopped);
        SearchServices()->Stop(program.service, true);
      }
      break;
    case kCopyCommand:
      CopyList(p);
      break;
    default:
      break;
  }
}

}  // namespace tv
