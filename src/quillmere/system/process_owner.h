// The owner of a process, as FindProcess "/user" reports it; the run-as page keeps its logon
// details in the same record.
#pragma once
#include "frame/plugin.h"
#include "quillmere/system/token_rights.h"

namespace tv {

struct ProcessOwner {
  tchar* sidString = nullptr;    // text SID of the owner (LocalFree)
  tchar* accountName = nullptr;  // GlobalAlloc
  tchar* domainName = nullptr;   // GlobalAlloc
  DWORD sameUser = 0;            // 1 when the process runs under the installer's own user (its
                                 // SID is the installer's); 0 for another user or one not read

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
  // the names are filled only for another user whose account can be looked up (and stay null for
  // the installer's own).
  bool Lookup(DWORD processId);
};

// What the token (opened with TOKEN_QUERY) allows; `known` stays false when it cannot be read.
void ReadTokenRights(HANDLE token, TokenRights* out);

}  // namespace tv
