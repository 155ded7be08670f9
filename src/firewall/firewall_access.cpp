#include "firewall/firewall_access.h"

namespace tv {

namespace {

// `code` when the call failed, else FW_OK.
FW_ERROR_CODE Check(HRESULT hr, FW_ERROR_CODE code) { return FAILED(hr) ? code : FW_OK; }

template <class I>
HRESULT Create(REFCLSID clsid, ComPtr<I>& object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.out_void());
}

}  // namespace

FW_ERROR_CODE FirewallAccess::Connect() {
  if (currentProfile) return FW_NO_PROFILE;
  // Missing where only the profile-based interfaces exist; the profile path is taken then.
  CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                   policy2.out_void());
  ComPtr<INetFwMgr> manager;
  if (FAILED(Create(CLSID_NetFwMgr, manager))) return FW_MANAGER_CREATE;
  ComPtr<INetFwPolicy> localPolicy;
  if (FAILED(manager->get_LocalPolicy(localPolicy.out()))) return FW_LOCAL_POLICY;
  return Check(localPolicy->get_CurrentProfile(currentProfile.out()), FW_CURRENT_PROFILE);
}

void FirewallAccess::Release() {
  currentProfile.reset();
  policy2.reset();
}

FW_ERROR_CODE FirewallAccess::Rules(ComPtr<INetFwRules>& rules) {
  return Check(policy2->get_Rules(rules.out()), FW_RULES);
}

FW_ERROR_CODE FirewallAccess::Applications(ComPtr<INetFwAuthorizedApplications>& applications) {
  return Check(currentProfile->get_AuthorizedApplications(applications.out()), FW_APPLICATIONS);
}

FW_ERROR_CODE FirewallAccess::OpenPorts(ComPtr<INetFwOpenPorts>& ports) {
  return Check(currentProfile->get_GloballyOpenPorts(ports.out()), FW_OPEN_PORTS);
}

// The collection of each look-up is released as soon as it answered, before its item is read.
FW_ERROR_CODE FirewallAccess::FindEnabledRule(BSTR name, bool& found) {
  ComPtr<INetFwRule> rule;
  {
    ComPtr<INetFwRules> rules;
    if (FW_ERROR_CODE code = Rules(rules)) return code;
    if (FAILED(rules->Item(name, rule.out()))) return FW_OK;  // no rule of that name
  }
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (FAILED(rule->get_Enabled(&enabled))) return FW_READ_EXISTING;
  if (enabled != VARIANT_TRUE) return FW_OK;  // a disabled rule is left as it is
  LONG profiles = 0;
  if (FAILED(rule->get_Profiles(&profiles))) return FW_READ_EXISTING;
  if (profiles != NET_FW_PROFILE2_ALL) rule->put_Profiles(NET_FW_PROFILE2_ALL);
  found = true;
  return FW_OK;
}

// A new allowing rule, enabled on every interface type and in every profile. What the
// property calls answer is not examined: the rule is judged when it is added.
FW_ERROR_CODE FirewallAccess::NewRule(BSTR name, ComPtr<INetFwRule>& rule) {
  if (FAILED(Create(CLSID_NetFwRule, rule))) return FW_RULE_CREATE;
  rule->put_Action(NET_FW_ACTION_ALLOW);
  rule->put_Name(name);
  rule->put_Description(name);
  return FW_OK;
}

FW_ERROR_CODE FirewallAccess::AddRule(INetFwRule* rule) {
  ComString all(L"All");
  rule->put_Enabled(VARIANT_TRUE);
  rule->put_InterfaceTypes(all.get());
  rule->put_Profiles(NET_FW_PROFILE2_ALL);
  ComPtr<INetFwRules> rules;
  if (FW_ERROR_CODE code = Rules(rules)) return code;
  return Check(rules->Add(rule), FW_RULE_ADD);
}

// By name alone, with no look-up first: what the firewall says of an unknown name decides.
FW_ERROR_CODE FirewallAccess::RemoveRule(BSTR name) {
  ComPtr<INetFwRules> rules;
  if (FW_ERROR_CODE code = Rules(rules)) return code;
  return Check(rules->Remove(name), FW_RULE_REMOVE);
}

FW_ERROR_CODE FirewallAccess::FindEnabledApplication(BSTR path, BSTR name, bool& found) {
  found = false;
  if (policy2) return FindEnabledRule(name, found);
  if (!currentProfile) return FW_NO_PROFILE;
  ComPtr<INetFwAuthorizedApplication> application;
  {
    ComPtr<INetFwAuthorizedApplications> applications;
    if (FW_ERROR_CODE code = Applications(applications)) return code;
    if (FAILED(applications->Item(path, application.out()))) return FW_OK;
  }
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (FAILED(application->get_Enabled(&enabled))) return FW_READ_EXISTING;
  found = enabled == VARIANT_TRUE;
  return FW_OK;
}

FW_ERROR_CODE FirewallAccess::AddApplication(const wchar_t* path, std::int32_t protocol, const wchar_t* name) {
  if (!currentProfile) return FW_NO_PROFILE;
  if (path == nullptr || name == nullptr) return FW_NULL_ARGUMENT;
  ComString bstrPath(path);
  if (bstrPath.length() == 0) return FW_COM_STRING;
  ComString bstrName(name);
  if (bstrName.length() == 0) return FW_COM_STRING;
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledApplication(bstrPath.get(), bstrName.get(), found)) return code;
  if (found) return FW_OK;
  if (policy2) {
    ComPtr<INetFwRule> rule;
    if (FW_ERROR_CODE code = NewRule(bstrName.get(), rule)) return code;
    rule->put_ApplicationName(bstrPath.get());
    if (protocol != kProtocolAny) {
      ComString localSubnet(L"LocalSubnet");
      rule->put_Protocol(protocol);
      rule->put_RemoteAddresses(localSubnet.get());
    }
    return AddRule(rule.get());
  }
  ComPtr<INetFwAuthorizedApplications> applications;
  if (FW_ERROR_CODE code = Applications(applications)) return code;
  ComPtr<INetFwAuthorizedApplication> application;
  if (FAILED(Create(CLSID_NetFwAuthorizedApplication, application))) return FW_APPLICATION_CREATE;
  if (FAILED(application->put_ProcessImageFileName(bstrPath.get()))) return FW_IMAGE_NAME;
  if (FAILED(application->put_Scope(NET_FW_SCOPE_ALL))) return FW_SCOPE;
  if (FAILED(application->put_IpVersion(NET_FW_IP_VERSION_ANY))) return FW_IP_VERSION;
  if (FAILED(application->put_Name(bstrName.get()))) return FW_NAME;
  return Check(applications->Add(application.get()), FW_COLLECTION_ADD);
}

FW_ERROR_CODE FirewallAccess::RemoveApplication(const wchar_t* path, std::int32_t, const wchar_t* name) {
  if (!currentProfile) return FW_NO_PROFILE;
  if (path == nullptr) return FW_NULL_ARGUMENT;
  ComString bstrPath(path);
  if (bstrPath.length() == 0) return FW_COM_STRING;
  ComString bstrName(name);
  if (bstrName.length() == 0) return FW_COM_STRING;
  if (policy2) return RemoveRule(bstrName.get());
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledApplication(bstrPath.get(), bstrName.get(), found)) return code;
  if (!found) return FW_OK;
  ComPtr<INetFwAuthorizedApplications> applications;
  if (FW_ERROR_CODE code = Applications(applications)) return code;
  return Check(applications->Remove(bstrPath.get()), FW_COLLECTION_REMOVE);
}

FW_ERROR_CODE FirewallAccess::FindEnabledPort(std::int32_t port, std::int32_t protocol, BSTR name, bool& found) {
  found = false;
  // A rule is found by name: its own port and protocol do not count.
  if (policy2) return FindEnabledRule(name, found);
  if (!currentProfile) return FW_NO_PROFILE;
  ComPtr<INetFwOpenPort> openPort;
  {
    ComPtr<INetFwOpenPorts> ports;
    if (FW_ERROR_CODE code = OpenPorts(ports)) return code;
    if (FAILED(ports->Item(port, static_cast<NET_FW_IP_PROTOCOL>(protocol), openPort.out()))) return FW_OK;
  }
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (FAILED(openPort->get_Enabled(&enabled))) return FW_PORT_READ_ENABLED;
  found = enabled == VARIANT_TRUE;
  return FW_OK;
}

FW_ERROR_CODE FirewallAccess::AddPort(std::int32_t port, std::int32_t protocol, const wchar_t* name) {
  if (!currentProfile) return FW_NO_PROFILE;
  if (name == nullptr) return FW_NULL_ARGUMENT;
  ComString bstrName(name);
  if (bstrName.length() == 0) return FW_COM_STRING;
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledPort(port, protocol, bstrName.get(), found)) return code;
  if (found) return FW_OK;
  if (policy2) {
    ComPtr<INetFwRule> rule;
    if (FW_ERROR_CODE code = NewRule(bstrName.get(), rule)) return code;
    wchar_t decimal[kIntTextSize];
    FormatInt(port, decimal);
    ComString localPorts(decimal);
    if (localPorts.length() == 0) return FW_COM_STRING;
    rule->put_Protocol(protocol);
    rule->put_LocalPorts(localPorts.get());
    return AddRule(rule.get());
  }
  ComPtr<INetFwOpenPorts> ports;
  if (FW_ERROR_CODE code = OpenPorts(ports)) return code;
  ComPtr<INetFwOpenPort> openPort;
  if (FAILED(Create(CLSID_NetFwOpenPort, openPort))) return FW_PORT_CREATE;
  if (FAILED(openPort->put_Port(port))) return FW_PORT_NUMBER;
  if (FAILED(openPort->put_Protocol(static_cast<NET_FW_IP_PROTOCOL>(protocol)))) return FW_PORT_PROTOCOL;
  if (FAILED(openPort->put_Scope(NET_FW_SCOPE_ALL))) return FW_SCOPE;
  if (FAILED(openPort->put_IpVersion(NET_FW_IP_VERSION_ANY))) return FW_IP_VERSION;
  if (FAILED(openPort->put_Name(bstrName.get()))) return FW_NAME;
  return Check(ports->Add(openPort.get()), FW_COLLECTION_ADD);
}

FW_ERROR_CODE FirewallAccess::RemovePort(std::int32_t port, std::int32_t protocol, const wchar_t* name) {
  // The name is judged before the profile, unlike AddPort: scripts see 11 for an empty name
  // even where no profile can be read.
  if (name == nullptr) return FW_NULL_ARGUMENT;
  ComString bstrName(name);
  if (bstrName.length() == 0) return FW_COM_STRING;
  if (!currentProfile) return FW_NO_PROFILE;
  if (policy2) return RemoveRule(bstrName.get());
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledPort(port, protocol, bstrName.get(), found)) return code;
  if (!found) return FW_OK;
  ComPtr<INetFwOpenPorts> ports;
  if (FW_ERROR_CODE code = OpenPorts(ports)) return code;
  return Check(ports->Remove(port, static_cast<NET_FW_IP_PROTOCOL>(protocol)), FW_COLLECTION_REMOVE);
}

}  // namespace tv
