// The right to log on as a service ("SeServiceLogonRight") for the account a service is created
// for, granted through the local security policy and taken back when the creation fails.
#pragma once
#include <windows.h>
#include <ntsecapi.h>

#include "frame/owned.h"
#include "frame/plugin.h"

namespace tv {

class ServiceLogonGrant {
 public:
  ServiceLogonGrant() = default;
  ServiceLogonGrant(const ServiceLogonGrant&) = delete;
  ServiceLogonGrant& operator=(const ServiceLogonGrant&) = delete;

  // Grants the right to `account` as the service is created for it (".\name" is the computer's
  // own account, "DOMAIN\name" as written), when the name is a user account other than a guest
  // account, or one of the system's service accounts. A group, an alias such as Users, Everyone,
  // or a name the system does not know gets nothing. Failure is silent.
  void Grant(const tchar* account);
  // Takes the right back when Grant gave it, that is, when the account did not hold it before.
  void Revoke();

 private:
  struct PolicyTraits {
    static LSA_HANDLE Invalid() { return nullptr; }
    static void Close(LSA_HANDLE h) { LsaClose(h); }
  };
  Owned<LSA_HANDLE, PolicyTraits> policy_;
  BYTE sid_[SECURITY_MAX_SID_SIZE] = {};  // the account's
  bool grantedHere_ = false;
};

}  // namespace tv
