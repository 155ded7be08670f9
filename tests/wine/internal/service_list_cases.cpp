// The service list and the two stops against Wine's real SCM.
#include "installer.h"

#include <commctrl.h>

#include <string>

#include "quillmere/system/process_control.h"
#include "quillmere/system/service_list.h"
#include "scm_fixture.h"

namespace {

std::string Name(const char* what) { return "TvSvcList-" + Arg("variant") + "-" + what; }

struct RunningService {
  Scm scm;
  std::string name;
  DWORD pid = 0;
  RunningService(const char* what, const std::string& options) : name(Name(what)) {
    scm.Purge(name);
    scm.WaitState(name, 0);
    CHECK(scm.Create(name, "\"" + Arg("service") + "\" " + options));
    pid = scm.StartAndWait(name);
    CHECK(pid != 0);
  }
  ~RunningService() { scm.Purge(name); }
  tv::ServiceEntry EntryIn(const tv::ServiceList& list) {
    tv::ServiceEntry entry = {};
    CHECK(list.FindServiceOfProcess(pid, &entry));
    return entry;
  }
};

// Watches for the stop dialog of that caption while the list stops the entry.
struct DialogWatch {
  std::string caption;
  HWND parent;
  volatile bool stop = false;
  bool seen = false, marquee = false, parentDisabled = false, topmost = false;
  DWORD took = 0;

  static DWORD WINAPI Run(LPVOID p) {
    auto* w = static_cast<DialogWatch*>(p);
    while (!w->stop) {
      HWND d = FindWindowA(nullptr, w->caption.c_str());
      if (d) {
        w->seen = true;
        HWND bar = GetDlgItem(d, tv::kStopProgressId);
        w->marquee = w->marquee || (GetWindowLongA(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
        w->topmost = w->topmost || (GetWindowLongA(d, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        w->parentDisabled = w->parentDisabled || (w->parent && !IsWindowEnabled(w->parent));
      }
      Sleep(20);
    }
    return 0;
  }
  DialogWatch(tv::ServiceList& list, const tv::ServiceEntry& entry, bool dialog, const std::string& c, HWND p = nullptr)
      : caption(c), parent(p) {
    HANDLE thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    DWORD start = GetTickCount();
    list.Stop(entry, dialog);
    took = GetTickCount() - start;
    stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
};

// Wine runs every service in its own process: a double reports a guest in the host's process.
void* g_enumServices = nullptr;
std::string g_guest;
DWORD g_hostId = 0;

BOOL WINAPI SharedHost(SC_HANDLE manager, SC_ENUM_TYPE level, DWORD type, DWORD state, BYTE* buffer, DWORD size,
                       DWORD* needed, DWORD* returned, DWORD* resume, const tv::tchar* group) {
  BOOL ok = reinterpret_cast<decltype(&TV_AW(EnumServicesStatusEx))>(g_enumServices)(
      manager, level, type, state, buffer, size, needed, returned, resume, group);
  for (DWORD i = 0; buffer != nullptr && i < *returned; ++i) {
    tv::ServiceEntry& entry = reinterpret_cast<tv::ServiceEntry*>(buffer)[i];
    if (Narrow(entry.lpServiceName) == g_guest)
      entry.ServiceStatusProcess = {SERVICE_WIN32_SHARE_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0, g_hostId, 0};
  }
  return ok;
}

}  // namespace

TEST_CASE(StopWithoutADialog) {
  // A service whose stop takes 600 ms and reports a wait hint of 0: polled without pause.
  RunningService svc("quiet", "stopdelay=600 hint=0");
  tv::ServiceList list(GetModuleHandleA(nullptr), nullptr, nullptr);
  DialogWatch watch(list, svc.EntryIn(list), false, "Stopping the service: " + svc.name);
  CHECK_EQ(svc.scm.State(svc.name), SERVICE_STOPPED);  // it returns once the service has stopped
  CHECK(watch.took >= 500);
  CHECK(!watch.seen);
}

TEST_CASE(StopServiceShowsItsDialogUntilStopped) {
  RunningService svc("dialog", "stopdelay=1200 hint=100");
  HWND parent = CreateWindowExA(0, "STATIC", "installer", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  auto format = T("Halte %s an (100%% %d)");
  tv::ServiceList list(GetModuleHandleA(nullptr), parent, format.c_str());
  DialogWatch watch(list, svc.EntryIn(list), true, "Halte " + svc.name + " an (100% %d)", parent);
  CHECK_EQ(svc.scm.State(svc.name), SERVICE_STOPPED);
  CHECK(watch.took >= 1000);
  CHECK(watch.seen && watch.marquee && watch.topmost && watch.parentDisabled);
  CHECK(IsWindowEnabled(parent));  // given back afterwards
  CHECK(FindWindowA(nullptr, watch.caption.c_str()) == nullptr);
  DestroyWindow(parent);
}

TEST_CASE(StopServiceLeavesAStoppingServiceAlone) {
  RunningService svc("pending", "stopdelay=1500");
  tv::ServiceList list(GetModuleHandleA(nullptr), nullptr, nullptr);
  tv::ServiceEntry entry = svc.EntryIn(list);
  SC_HANDLE h = OpenServiceA(svc.scm.manager, svc.name.c_str(), SERVICE_STOP);
  SERVICE_STATUS st;
  CHECK(ControlService(h, SERVICE_CONTROL_STOP, &st));
  CloseServiceHandle(h);
  DialogWatch watch(list, entry, true, "Stopping the service: " + svc.name);
  CHECK(watch.took < 500);  // no request, no wait, no dialog
  CHECK(!watch.seen);
  CHECK_EQ(svc.scm.State(svc.name), SERVICE_STOP_PENDING);
  CHECK(svc.scm.WaitState(svc.name, SERVICE_STOPPED));

  // Already stopped, or a copy without a name: nothing at all happens, at once.
  DWORD start = GetTickCount();
  list.Stop(entry, true);
  tv::ServiceEntry nameless = {};
  list.Stop(nameless, true);
  CHECK(GetTickCount() - start < 500);
  CHECK_EQ(svc.scm.State(svc.name), SERVICE_STOPPED);
}

// A process still running another service is never terminated, even when asked to kill it.
TEST_CASE(ASharedHostThatStillServesIsNeverTerminated) {
  RunningService host("host", "");
  g_guest = Name("guest");
  g_hostId = host.pid;
  host.scm.Purge(g_guest);
  CHECK(host.scm.Create(g_guest, "\"" + Arg("service") + "\""));
  auto name = T(host.name);
  CHECK(tv::MayTerminate(host.pid, name.c_str()));  // alone in its process
  const char* enumName = TV_AW_NAME("EnumServicesStatusEx");
  g_enumServices = PatchImport(GetModuleHandleA(nullptr), "ADVAPI32.dll", enumName, reinterpret_cast<void*>(&SharedHost));
  CHECK(!tv::MayTerminate(host.pid, name.c_str()));
  CHECK(!tv::TerminateAndWait(host.pid));
  PatchImport(GetModuleHandleA(nullptr), "ADVAPI32.dll", enumName, g_enumServices);
  CHECK_EQ(host.scm.State(host.name), SERVICE_RUNNING);
  host.scm.Purge(g_guest);
}
