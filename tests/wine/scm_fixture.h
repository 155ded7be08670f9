// The tests' own view of the SCM, to set up services and see what the plug-in did to them.
#pragma once
#include <windows.h>

#include <string>

struct Scm {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ~Scm() { CloseServiceHandle(manager); }

  // 0 when there is no such service.
  DWORD State(const std::string& name) {
    SC_HANDLE h = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    SERVICE_STATUS st = {};
    if (h) {
      QueryServiceStatus(h, &st);
      CloseServiceHandle(h);
    }
    return st.dwCurrentState;
  }

  bool WaitState(const std::string& name, DWORD state) {
    for (int i = 0; i < 200; ++i) {
      if (State(name) == state) return true;
      Sleep(25);
    }
    return false;
  }

  bool Create(const std::string& name, const std::string& commandLine) {
    SC_HANDLE h = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                 nullptr, nullptr, nullptr);
    if (h) CloseServiceHandle(h);
    return h != nullptr;
  }

  // The running service's process id, or 0.
  DWORD StartAndWait(const std::string& name) {
    SC_HANDLE h = OpenServiceA(manager, name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS);
    if (!h) return 0;
    StartServiceA(h, 0, nullptr);
    DWORD pid = 0;
    for (int i = 0; i < 200 && pid == 0; ++i) {
      SERVICE_STATUS_PROCESS st = {};
      DWORD need;
      if (QueryServiceStatusEx(h, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&st), sizeof(st), &need) &&
          st.dwCurrentState == SERVICE_RUNNING)
        pid = st.dwProcessId;
      else
        Sleep(25);
    }
    CloseServiceHandle(h);
    return pid;
  }

  void Purge(const std::string& name) {
    SC_HANDLE h = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (!h) return;
    SERVICE_STATUS st;
    ControlService(h, SERVICE_CONTROL_STOP, &st);
    DeleteService(h);
    CloseServiceHandle(h);
  }
};


