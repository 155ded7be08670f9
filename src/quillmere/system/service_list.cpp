#include "quillmere/system/service_list.h"

#include <commctrl.h>

#include "quillmere/system/service_paging.h"
#include "services/scm.h"

namespace tv {

const tchar kDefaultStopCaption[] = TV_T("Stopping the service: %s");

namespace {

// Set by the stop worker when it ends; the dialog's message loop polls it.
volatile LONG stopDone = 0;

constexpr DWORD kStopTimeoutMs = 30000;
// Enough for any real machine's services many times over; Wine's paging never advances.
constexpr int kMaxPages = 64;

BOOL EnumServicesT(SC_HANDLE m, BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned, DWORD* resume) {
  return TV_AW(EnumServicesStatusEx)(m, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer, size, needed,
                                     returned, resume, nullptr);
}

// The dialog handles nothing itself; it has no system menu, so it cannot be closed by the user.
INT_PTR CALLBACK StopDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

bool QueryProcessStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status), sizeof(*status),
                              &needed) != FALSE;
}

}  // namespace

ServiceList::ServiceList(HINSTANCE instance, HWND parent, const tchar* captionFormat)
    : instance_(instance),
      parent_(parent),
      manager_(TV_AW(OpenSCManager)(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE)) {
  // Without memory for its copy the format is not kept, and the caption is the service name.
  captionFormat_.Assign(captionFormat ? captionFormat : kDefaultStopCaption);
  Load();
}

ServiceList::~ServiceList() {
  for (BYTE* page : pages_) StackFree(page);
}

void ServiceList::Load() {
  if (!manager_) return;
  DWORD needed = 0, returned = 0;
  if (EnumServicesT(manager_.get(), nullptr, 0, &needed, &returned, nullptr) || GetLastError() != ERROR_MORE_DATA) {
    manager_.reset();  // the list stays empty, and no stop can be attempted
    return;
  }
  DWORD resume = 0;
  CollectPages(needed, kMaxPages, [&](std::uint32_t bytes, std::uint32_t* next) {
    Buffer<BYTE> page;
    // Room kept first for the page's place in the list, so that a page read is never lost.
    if (!page.Resize(bytes) || !pages_.Reserve(pages_.size() + 1)) return PageResult::kFailed;
    DWORD more = 0, count = 0;
    BOOL ok = EnumServicesT(manager_.get(), page.data(), bytes, &more, &count, &resume);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!ok && error != ERROR_MORE_DATA) return PageResult::kFailed;
    // The answer may claim more entries than its buffer can hold; never read past it.
    count = count <= bytes / sizeof(ServiceEntry) ? count : static_cast<DWORD>(bytes / sizeof(ServiceEntry));
    const auto* first = reinterpret_cast<const ServiceEntry*>(page.data());
    if (!entries_.Append(first, count)) return PageResult::kFailed;
    pages_.Push(page.Release());  // the strings stay where they are: the block is kept whole
    *next = more;
    return ok ? PageResult::kDone : PageResult::kMore;
  });
}

bool ServiceList::FindServiceOfProcess(DWORD processId, ServiceEntry* entry) const {
  for (const ServiceEntry& e : entries_) {
    if (e.ServiceStatusProcess.dwProcessId == processId) {
      *entry = e;
      return true;
    }
  }
  return false;
}

void ServiceList::Stop(const ServiceEntry& entry, bool withDialog, DWORD limitMs) {
  if (!manager_ || entry.lpServiceName == nullptr) return;
  ServiceHandle service(TV_AW(OpenService)(manager_.get(), entry.lpServiceName, SERVICE_QUERY_STATUS | SERVICE_STOP));
  if (!service) return;
  SERVICE_STATUS_PROCESS status = {};
  if (!QueryProcessStatus(service.get(), &status) || status.dwCurrentState == SERVICE_STOPPED ||
      status.dwCurrentState == SERVICE_STOP_PENDING)
    return;
  SC_HANDLE handle = service.get();
  if (!withDialog) {
    StopAndWait(handle, limitMs);
    return;
  }
  InterlockedExchange(&stopDone, 0);
  KernelHandle worker(CreateThread(nullptr, 0, StopWaitThread, &handle, 0, nullptr));
  if (!worker) return;
  RunStopDialog(entry.lpServiceName, worker.get());
  // The worker has set the flag as its last step; wait for it to be gone before the handle it
  // uses is closed.
  WaitForSingleObject(worker.get(), INFINITE);
}

void ServiceList::RunStopDialog(const tchar* serviceName, HANDLE worker) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);  // the dialog's progress bar class
  HWND dialog = TV_AW(CreateDialogParam)(instance_, TV_AW(MAKEINTRESOURCE)(kStopDialogId), parent_, StopDialogProc, 0);
  if (parent_) EnableWindow(parent_, FALSE);
  if (dialog) {
    BasicText<tchar> caption;
    bool formatted = captionFormat_.data() != nullptr && FormatStopCaption(captionFormat_.c_str(), serviceName, &caption);
    TV_AW(SetWindowText)(dialog, formatted ? caption.c_str() : serviceName);
    ShowWindow(dialog, SW_SHOW);
    HWND bar = GetDlgItem(dialog, kStopProgressId);
    TV_AW(SetWindowLongPtr)(bar, GWL_STYLE, TV_AW(GetWindowLongPtr)(bar, GWL_STYLE) | PBS_MARQUEE);
    TV_AW(SendMessage)(bar, PBM_SETMARQUEE, 1, 100);
  }
  // The marquee's updates keep messages coming while the worker runs; the worker's end is also
  // seen directly, so the loop never waits on a quiet queue.
  while (InterlockedCompareExchange(&stopDone, 0, 0) == 0) {
    DWORD woke = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
    MSG msg;
    bool quit = false;
    while (TV_AW(PeekMessage)(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns the thread
        quit = true;
        break;
      }
      if ((dialog && TV_AW(IsDialogMessage)(dialog, &msg)) || (parent_ && TV_AW(IsDialogMessage)(parent_, &msg))) continue;
      TranslateMessage(&msg);
      TV_AW(DispatchMessage)(&msg);
    }
    if (quit) {
      WaitForSingleObject(worker, INFINITE);
      break;
    }
  }
  if (parent_) EnableWindow(parent_, TRUE);
  if (dialog) DestroyWindow(dialog);
}

DWORD WINAPI StopWaitThread(LPVOID serviceHandle) {
  StopAndWait(*static_cast<SC_HANDLE*>(serviceHandle), kStopTimeoutMs);
  InterlockedExchange(&stopDone, 1);
  return 0;
}

}  // namespace tv
