// The page's thread: the search with its rows, then the watch over the listed programs and the
// close sequence that the Next button starts (polite close, the question whether to kill, the
// notice to close by hand).
#include <windows.h>

#include "quillmere/search/closed_record.h"
#include "quillmere/page/page.h"

namespace tv {
namespace {

// The mouse pointer moved by one pixel, so that the list asks for its cursor again.
void NudgePointer() {
  POINT at;
  if (GetCursorPos(&at)) SetCursorPos(at.x - 1, at.y);
}

// What the search shows on the page.
class PageSearchView final : public PageView {
 public:
  explicit PageSearchView(ProgramsPage& page) : page_(page) {}

  void SearchStarted() override {
    page_.busyCursor = static_cast<HCURSOR>(TV_AW(LoadImage)(
        nullptr, reinterpret_cast<const tchar*>(static_cast<ULONG_PTR>(32650)) /* IDC_APPSTARTING */, IMAGE_CURSOR, 0,
        0, LR_DEFAULTSIZE | LR_SHARED));
    NudgePointer();
  }

  void ShowPercent(DWORD percent) override {
    // "<percent>% <text>", as long as the text is.
    tchar number[kIntTextSize];
    FormatInt(static_cast<std::int32_t>(percent), number);
    BasicText<tchar> status;
    if (!status.Append(number) || !status.Append(TV_T("% ")) || !status.Append(page_.options.Get(kSearchingText)))
      return;
    SendT(page_.progress, PBM_SETPOS, percent, 0);
    ListSetCellText(page_.list, ListRowCount(page_.list) - 1, 0, status.c_str());
  }

  void InsertRow(const tchar* first, const tchar* second, HICON icon, FoundRecord* record) override {
    PendingRow row = {first, second, icon, record};
    page_.pendingRow = &row;
    SendT(page_.page, kAddPendingRow, 0, 0);
    // Still waiting: the page is gone, and the record with it.
    if (page_.pendingRow.exchange(nullptr) == &row) FreeFoundRecord(record);
  }

  void SearchEnded() override {
    page_.searchFinished = true;
    SendT(page_.progress, PBM_SETPOS, 100, 0);
    page_.busyCursor = nullptr;
    NudgePointer();
  }

  bool LeaveRequested() override { return page_.leaveRequested; }

  const tchar* StopCaptionFormat() override {
    return page_.options.Given(kStopCaptionText) ? page_.options.Get(kStopCaptionText) : nullptr;
  }

 private:
  ProgramsPage& page_;
};

void InsertStatus(ProgramsPage& p, PageText which) {
  TV_AW(LVITEM) item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = ListRowCount(p.list);
  item.iImage = 0;
  item.pszText = const_cast<tchar*>(p.options.Get(which));
  SendT(p.list, TV_AW(LVM_INSERTITEM), 0, reinterpret_cast<LPARAM>(&item));
}

void EnableButtons(ProgramsPage& p) {
  for (HWND button : {p.next, p.back, p.cancel}) EnableWindow(button, TRUE);
}

bool Refused(ProgramsPage& p, PageText question) {
  return TV_AW(MessageBox)(p.parent, p.options.Get(question), p.title.c_str(), MB_YESNO | MB_ICONEXCLAMATION) == IDNO;
}

// Drops the rows whose programs have ended (a custom row: whose function no longer answers "true").
void Sweep(ProgramsPage& p) {
  int row = 0;
  while (row < p.rowCount && !p.leaveRequested) {
    FoundRecord* record = ListRowRecord(p.list, row);
    bool gone = false;
    if (record != nullptr)
      gone = record->isCustom ? !AskCustomTarget(record->custom) : !ProcessIsRunning(record->process.processId);
    if (gone && ListDeleteRow(p.list, row)) {
      FreeFoundRecord(record);
      --p.rowCount;
    } else {
      ++row;
    }
  }
}

// Waits up to the time given, 10 ms at a time, while nothing asks for the thread.
void Idle(ProgramsPage& p, int steps) {
  for (int i = 0; i < steps && !p.leaveRequested && p.rowCount > 0 && p.closeStage == 0; ++i) Sleep(10);
}

// The polite close of every listed program (only the one the list menu chose, when given), with
// the steps that apply to it; the stop of a service's program shows its progress dialog.
void ClosePolitely(ProgramsPage& p, DWORD only) {
  for (int row = 0; row < p.rowCount; ++row) {
    FoundRecord* record = ListRowRecord(p.list, row);
    if (record == nullptr || record->isCustom || (only != 0 && record->process.processId != only)) continue;
    // The installer itself (or the uninstaller it is a copy of) stays listed, never asked.
    CloseProgram(record->process, &record->noted, false, true);
  }
}

void KillAll(ProgramsPage& p) {
  for (int row = 0; row < p.rowCount; ++row) {
    FoundRecord* record = ListRowRecord(p.list, row);
    // A service program's service was stopped first; a process that still hosts other services
    // that run stays.
    if (record != nullptr && !record->isCustom) KillProgram(record->process, &record->noted);
  }
}

void Monitor(ProgramsPage& p) {
  ListDeleteRow(p.list, p.rowCount);  // the status row
  if (p.leaveRequested) {
    InsertStatus(p, kEndSearchText);
    return;
  }
  if (p.rowCount > 0) {
    tchar title[256] = {};
    TV_AW(GetWindowText)(p.parent, title, 256);
    p.title.Assign(title);
    while (p.rowCount > 0 && !p.leaveRequested) {
      switch (p.closeStage.load()) {
        case 1:
          if (p.autoCloseMode == 1 && Refused(p, kCloseQuestionText)) {
            EnableButtons(p);
            p.closeStage = 0;
          } else {
            ClosePolitely(p, 0);
            p.closeStage = 2;
          }
          break;
        case 2:
          if (p.autoCloseMode == 1 && Refused(p, kKillQuestionText)) {
            EnableButtons(p);
            p.closeStage = 0;
          } else {
            KillAll(p);
            p.closeStage = 3;
          }
          break;
        case 3:
          TV_AW(MessageBox)(p.parent, p.options.Get(kManualCloseText), p.title.c_str(), MB_OK | MB_ICONHAND);
          EnableButtons(p);
          p.closeStage = 0;
          break;
        case kMenuCloseStage: {
          ClosePolitely(p, p.menuClose);
          int stage = kMenuCloseStage;
          p.closeStage.compare_exchange_strong(stage, 0);  // unless Next started a close meanwhile
          break;
        }
        default:
          break;
      }
      Sweep(p);
      Idle(p, 100);
    }
    if (p.rowCount > 0) InsertStatus(p, kEndMonitorText);  // the page is being left
  }
  if (p.leaveRequested) return;
  InsertStatus(p, kNoProgramsText);
  if (p.closeStage != 0 || p.autoNext) {
    p.autoCloseMode = 0;
    PostLeaveOnce(p);
  } else {
    EnableWindow(p.next, TRUE);
    if (!p.savedNextText.empty()) TV_AW(SetWindowText)(p.next, p.savedNextText.c_str());
  }
}

}  // namespace

void AddPendingRow(ProgramsPage& p) {
  PendingRow* row = p.pendingRow.exchange(nullptr);
  if (row == nullptr) return;
  int image = 2;  // the generic program icon
  if (row->icon != nullptr) {
    int added = ImageList_ReplaceIcon(p.images, -1, row->icon);
    if (added >= 0) image = added;
  }
  int count = ListRowCount(p.list);
  TV_AW(LVITEM) item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = count > 0 ? count - 1 : 0;
  item.iImage = image;
  item.pszText = const_cast<tchar*>(row->first);
  item.lParam = reinterpret_cast<LPARAM>(row->record);
  int index = static_cast<int>(SendT(p.list, TV_AW(LVM_INSERTITEM), 0, reinterpret_cast<LPARAM>(&item)));
  if (index < 0) {
    FreeFoundRecord(row->record);
    return;
  }
  ListSetCellText(p.list, index, 1, row->second);
  SendT(p.list, LVM_ENSUREVISIBLE, ListRowCount(p.list) - 1, FALSE);
}

void PostLeaveOnce(ProgramsPage& page) {
  if (!page.leavePosted.exchange(true)) PostT(page.parent, kNotifyOuterNext, kLeaveNext, 0);
}

DWORD WINAPI PageSearchThread(void* parameter) {
  ProgramsPage& p = *CurrentPage();
  auto scriptFunction = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
  {
    PageSearchView view(p);
    RunSearch(&view, scriptFunction);
  }
  int rows = ListRowCount(p.list) - 1;
  p.rowCount = rows > 0 ? rows : 0;
  if (p.rowCount > 0) {
    if (p.options.HasNextText()) TV_AW(SetWindowText)(p.next, p.options.Get(kNextText));
    if (SendT(p.checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED && p.searchFinished) EnableWindow(p.next, TRUE);
  } else {
    EnableWindow(p.next, TRUE);
    if (p.autoNext) {
      p.autoCloseMode = 0;
      PostLeaveOnce(p);
    }
  }
  Monitor(p);
  SendT(p.list, LVM_ENSUREVISIBLE, p.rowCount, FALSE);
  p.searchThreadDone = true;
  PostT(p.page, WM_CLOSE, 0, 0);  // wakes the page's loop
  return 0;
}

}  // namespace tv
