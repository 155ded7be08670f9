// The owner of a process, as FindProcess "/user" reports it; the run-as page keeps its logon
// details in the same record.
#pragma once
#include "frame/plugin.h"

namespace tv {

struct ProcessOwner {
  tchar* sidString = nullptr;    // text SID of the owner (LocalFree)
  tchar* accountName = nullptr;  // GlobalAlloc
  tchar* domainName = nullptr;   // GlobalAlloc
  DWORD sameUser = 1;            // 1 when the process runs under the installer's own user

  // Used by the run-as page only; borrowed, never freed here.
  const tchar* logonUser = nullptr;
  const tchar* logonDomain = nullptr;
  const tchar* logonPassword = nullptr;
  DWORD lastError = 0;  // the Windows error of the last failed logon start

  ProcessOwner() = default;
  ~ProcessOwner();
  ProcessOwner(const ProcessOwner&) = delete;
  ProcessOwner& operator=(const ProcessOwner&) = delete;

  // Reads the owner of the process. True when the comparison with the installer's own user ran;
  // the names are filled only for another user (and stay null for the installer's own).
  bool Lookup(DWORD processId);
};

}  // namespace tv
