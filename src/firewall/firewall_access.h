// The one way the firewall exports reach Windows Firewall: the profile-based interfaces
// (manager, local policy, current profile and its collections) and the rule-based policy with
// its rules. Built and connected for one export call and released before the call returns.
#pragma once
#include <windows.h>
#include <netfw.h>

#include "firewall/fw_words.h"
#include "frame/com.h"

namespace tv {

class FirewallAccess {
 public:
  // Connects at once; what Connect reports is not kept: the two references say what is usable.
  FirewallAccess() { Connect(); }
  ~FirewallAccess() { Release(); }
  FirewallAccess(const FirewallAccess&) = delete;
  FirewallAccess& operator=(const FirewallAccess&) = delete;

  // Creates the rule-based policy (its absence is no failure) and reads the current profile
  // through the manager and its local policy.
  FW_ERROR_CODE Connect();
  bool IsAvailable() const { return currentProfile || policy2; }
  // Releases the profile, then the rule-based policy.
  void Release();

  // Each needs the current profile, then works on rules where the rule-based policy exists and
  // on the profile's collections where it does not. Strings are never null in the exports'
  // calls; a null one is still refused (7). An add finds an enabled rule by name and brings it
  // to what the call asks (its program, or its port, and the protocol given) instead of adding
  // another; a remove takes every rule of that name.
  FW_ERROR_CODE AddApplication(const wchar_t* path, std::int32_t protocol, const wchar_t* name);
  FW_ERROR_CODE RemoveApplication(const wchar_t* path, std::int32_t protocol, const wchar_t* name);
  FW_ERROR_CODE AddPort(std::int32_t port, std::int32_t protocol, const wchar_t* name);
  FW_ERROR_CODE RemovePort(std::int32_t port, std::int32_t protocol, const wchar_t* name);

 private:
  ComPtr<INetFwProfile> currentProfile;
  ComPtr<INetFwPolicy2> policy2;

  // The steps shared by the operations; each answers the code of the step that failed, or
  // FW_OK, and leaves what it obtained in its out parameter.
  // The rule the firewall gives for that name when it is enabled, widened to every profile on
  // the way; none when it is disabled or there is none.
  FW_ERROR_CODE FindEnabledRule(BSTR name, ComPtr<INetFwRule>& rule);
  // Whether the profile holds an enabled entry for the path, or for the port and protocol.
  FW_ERROR_CODE FindEnabledApplication(BSTR path, bool& found);
  FW_ERROR_CODE FindEnabledPort(std::int32_t port, std::int32_t protocol, bool& found);
  FW_ERROR_CODE Rules(ComPtr<INetFwRules>& rules);
  FW_ERROR_CODE NewRule(BSTR name, ComPtr<INetFwRule>& rule);
  FW_ERROR_CODE AddRule(INetFwRule* rule);
  FW_ERROR_CODE RemoveRules(BSTR name);
  FW_ERROR_CODE Applications(ComPtr<INetFwAuthorizedApplications>& applications);
  FW_ERROR_CODE OpenPorts(ComPtr<INetFwOpenPorts>& ports);
};

}  // namespace tv
