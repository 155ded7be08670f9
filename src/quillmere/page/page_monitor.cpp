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
    int row = ListRowCount(page_.list) - 1;
    ListSetCellText(page_.list, row, 0, status.c_str());
    AnnounceStatusRow(page_, row);
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
  AnnounceStatusRow(p, static_cast<int>(SendT(p.list, TV_AW(LVM_INSERTITEM), 0, reinterpret_cast<LPARAM>(&item))));
}

void EnableButtons(ProgramsPage& p) {
  for (HWND button : {p.next, p.back, p.cancel}) EnableWindow(button, TRUE);
}

// A message box of the installer's window, read right to left where its language is.
int Ask(ProgramsPage& p, PageText text, UINT type) {
  if (p.rightToLeft) type |= MB_RTLREADING | MB_RIGHT;
  return TV_AW(MessageBox)(p.parent, p.options.Get(text), p.title.c_str(), type);
}

bool Refused(ProgramsPage& p, PageText question) { return Ask(p, question, MB_YESNO | MB_ICONEXCLAMATION) == IDNO; }

// The listed programs' processes, in the order of the rows: each process row's entry holds a
// handle that is signalled when its process ends (null where none could be opened: that row is
// looked up in the process list instead). Rows only leave the list while it is watched, and only
// through Sweep, which drops their entries with them.
class Watched {
 public:
  Watched() = default;
  ~Watched() { Clear(); }
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;

  void Clear() {
    for (HANDLE h : handles_)
      if (h != nullptr) CloseHandle(h);
    handles_.Resize(0);
  }
  bool Open(ProgramsPage& p) {
    for (int row = 0; row < p.rowCount; ++row) {
      FoundRecord* record = ListRowRecord(p.list, row);
      HANDLE process = nullptr;
      if (record != nullptr && !record->isCustom && record->process.processId != 0)
        process = OpenProcess(SYNCHRONIZE, FALSE, record->process.processId);
      if (!handles_.Push(process)) {
        if (process != nullptr) CloseHandle(process);
        return false;
      }
    }
    return true;
  }
  // True when the row's process has ended (a row without a handle: it is no longer in the
  // system's process list).
  bool Ended(std::size_t row, DWORD processId) const {
    HANDLE h = row < handles_.size() ? handles_[row] : nullptr;
    return h != nullptr ? WaitForSingleObject(h, 0) == WAIT_OBJECT_0 : !ProcessIsRunning(processId);
  }
  void Drop(std::size_t row) {
    if (row >= handles_.size()) return;
    if (handles_[row] != nullptr) CloseHandle(handles_[row]);
    handles_.Erase(row, 1);
  }
  // Waits at most `milliseconds` for the wake bell or the end of a listed process, serving the
  // messages sent to this thread meanwhile. A row that cannot be waited on (a custom entry, a
  // process without a handle, or one past what a wait can hold) is looked at once a second, so
  // the wait is cut to a second while there is one.
  void Wait(ProgramsPage& p, DWORD milliseconds) const {
    HANDLE objects[MAXIMUM_WAIT_OBJECTS - 1];
    DWORD count = 0;
    objects[count++] = p.wake.get();
    bool polled = false;
    for (int row = 0; row < p.rowCount; ++row) {
      HANDLE h = static_cast<std::size_t>(row) < handles_.size() ? handles_[row] : nullptr;
      if (h != nullptr && count < MAXIMUM_WAIT_OBJECTS - 1)
        objects[count++] = h;
      else
        polled = true;
    }
    if (polled && milliseconds > kPollInterval) milliseconds = kPollInterval;
    if (MsgWaitForMultipleObjects(count, objects, FALSE, milliseconds, QS_SENDMESSAGE) == WAIT_OBJECT_0 + count) {
      MSG msg;
      TV_AW(PeekMessage)(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }

 private:
  static constexpr DWORD kPollInterval = 1000;
  Buffer<HANDLE> handles_;
};

// Drops the rows whose programs have ended (a custom row: whose function no longer answers "true").
void Sweep(ProgramsPage& p, Watched& watched) {
  int row = 0;
  int before = p.rowCount;
  while (row < p.rowCount && !p.leaveRequested) {
    FoundRecord* record = ListRowRecord(p.list, row);
    bool gone = false;
    if (record != nullptr)
      gone = record->isCustom ? !AskCustomTarget(record->custom)
                              : watched.Ended(static_cast<std::size_t>(row), record->process.processId);
    if (gone && ListDeleteRow(p.list, row)) {
      watched.Drop(static_cast<std::size_t>(row));
      FreeFoundRecord(record);
      --p.rowCount;
    } else {
      ++row;
    }
  }
  if (p.rowCount != before) AnnounceProgramCount(p);
}

// Waits while nothing asks for the thread: until a listed program ends, the page is left or a
// close is asked for (at most a second while some row must be polled).
void Idle(ProgramsPage& p, const Watched& watched) {
  if (!p.leaveRequested && p.rowCount > 0 && p.closeStage == 0) watched.Wait(p, INFINITE);
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
  Watched watched;
  ListDeleteRow(p.list, p.rowCount);  // the status row
  AnnounceProgramCount(p);
  if (p.leaveRequested) {
    InsertStatus(p, kEndSearchText);
    return;
  }
  // Without memory to hold the processes' handles every row is looked up once a second.
  if (p.rowCount > 0 && !watched.Open(p)) watched.Clear();
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
          Ask(p, kManualCloseText, MB_OK | MB_ICONHAND);
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
      Sweep(p, watched);
      Idle(p, watched);
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
