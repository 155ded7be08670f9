// The tests' own view of the Service Control Manager, to set up services and see what the code
// under test did to them.
#pragma once
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

struct Scm {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ~Scm() { CloseServiceHandle(manager); }

  bool Exists(const std::string& name) {
    SC_HANDLE h = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    if (h) CloseServiceHandle(h);
    return h != nullptr;
  }

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

  // The stored configuration, read with the wide function.
  struct Config {
    bool found = false;
    DWORD type = 0;
    std::wstring group, display;
    std::vector<std::wstring> dependencies;
  };
  Config Read(const std::string& name) {
    Config c;
    SC_HANDLE h = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG);
    if (!h) return c;
    DWORD need = 0;
    QueryServiceConfigW(h, nullptr, 0, &need);
    std::vector<BYTE> buf(need + 16);
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
    if (QueryServiceConfigW(h, q, static_cast<DWORD>(buf.size()), &need)) {
      c.found = true;
      c.type = q->dwServiceType;
      c.group = q->lpLoadOrderGroup ? q->lpLoadOrderGroup : L"";
      c.display = q->lpDisplayName ? q->lpDisplayName : L"";
    }
    CloseServiceHandle(h);
    // Wine's QueryServiceConfigW leaves the dependencies out; the manager's registry key has them.
    HKEY key;
    std::string path = "System\\CurrentControlSet\\Services\\" + name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      wchar_t list[512] = {};
      DWORD size = sizeof(list) - 2 * sizeof(wchar_t);
      if (RegQueryValueExW(key, L"DependOnService", nullptr, nullptr, reinterpret_cast<BYTE*>(list), &size) ==
          ERROR_SUCCESS)
        for (const wchar_t* d = list; *d; d += wcslen(d) + 1) c.dependencies.push_back(d);
      RegCloseKey(key);
    }
    return c;
  }

  // Creates an own-process service on demand with the given command line; true when it exists.
  bool Create(const std::string& name, const std::string& commandLine) {
    SC_HANDLE h = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                 nullptr, nullptr, nullptr);
    if (h) CloseServiceHandle(h);
    return h != nullptr;
  }

  // Starts the service and waits for it to run; its process id, or 0.
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

  // Removes a service left over from an earlier, interrupted run.
  void Purge(const std::string& name) {
    SC_HANDLE h = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (!h) return;
    SERVICE_STATUS st;
    ControlService(h, SERVICE_CONTROL_STOP, &st);
    DeleteService(h);
    CloseServiceHandle(h);
  }
};


