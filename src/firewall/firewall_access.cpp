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

// Bounds the removal of rules of one name: each call of Remove takes one.
constexpr int kMaxRulesOfOneName = 1000;

namespace {

bool SameText(BSTR a, BSTR b) {
  UINT n = SysStringLen(a);
  return n == SysStringLen(b) && (n == 0 || memcmp(a, b, n * sizeof(wchar_t)) == 0);
}

// Brings a text property of an existing rule to `want`: 9 when it cannot be read, `putCode` when
// it cannot be set. A property that holds `want` already is left alone.
FW_ERROR_CODE FollowText(INetFwRule* rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(BSTR*),
                         HRESULT (STDMETHODCALLTYPE INetFwRule::*put)(BSTR), BSTR want, FW_ERROR_CODE putCode) {
  BSTR has = nullptr;
  if (FAILED((rule->*get)(&has))) return FW_READ_EXISTING;
  bool same = SameText(has, want);
  SysFreeString(has);
  return same ? FW_OK : Check((rule->*put)(want), putCode);
}

FW_ERROR_CODE FollowProtocol(INetFwRule* rule, std::int32_t want) {
  LONG has = 0;
  if (FAILED(rule->get_Protocol(&has))) return FW_READ_EXISTING;
  return has == want ? FW_OK : Check(rule->put_Protocol(want), FW_PORT_PROTOCOL);
}

}  // namespace

// The collection of each look-up is released as soon as it answered, before its item is read.
FW_ERROR_CODE FirewallAccess::FindEnabledRule(BSTR name, ComPtr<INetFwRule>& rule) {
  {
    ComPtr<INetFwRules> rules;
    if (FW_ERROR_CODE code = Rules(rules)) return code;
    if (FAILED(rules->Item(name, rule.out()))) return FW_OK;  // no rule of that name
  }
  VARIANT_BOOL enabled = VARIANT_FALSE;
  LONG profiles = 0;
  if (FAILED(rule->get_Enabled(&enabled)) || (enabled == VARIANT_TRUE && FAILED(rule->get_Profiles(&profiles)))) {
    rule.reset();
    return FW_READ_EXISTING;
  }
  if (enabled != VARIANT_TRUE) {
    rule.reset();  // a disabled rule is left as it is
    return FW_OK;
  }
  if (profiles != NET_FW_PROFILE2_ALL && FAILED(rule->put_Profiles(NET_FW_PROFILE2_ALL))) return FW_RULE_PROPERTY;
  return FW_OK;
}

// A new allowing rule, enabled on every interface type and in every profile.
FW_ERROR_CODE FirewallAccess::NewRule(BSTR name, ComPtr<INetFwRule>& rule) {
  if (FAILED(Create(CLSID_NetFwRule, rule))) return FW_RULE_CREATE;
  if (FAILED(rule->put_Action(NET_FW_ACTION_ALLOW))) return FW_RULE_PROPERTY;
  if (FAILED(rule->put_Name(name))) return FW_NAME;
  return Check(rule->put_Description(name), FW_RULE_PROPERTY);
}

FW_ERROR_CODE FirewallAccess::AddRule(INetFwRule* rule) {
  ComString all(L"All");
  if (FAILED(rule->put_Enabled(VARIANT_TRUE)) || FAILED(rule->put_InterfaceTypes(all.get())) ||
      FAILED(rule->put_Profiles(NET_FW_PROFILE2_ALL)))
    return FW_RULE_PROPERTY;
  ComPtr<INetFwRules> rules;
  if (FW_ERROR_CODE code = Rules(rules)) return code;
  return Check(rules->Add(rule), FW_RULE_ADD);
}

// Every rule of that name, with no look-up first: what the firewall says of an unknown name
// decides. It removes one rule a call, and several may bear the name (an add beside a disabled
// one made a second).
FW_ERROR_CODE FirewallAccess::RemoveRules(BSTR name) {
  ComPtr<INetFwRules> rules;
  if (FW_ERROR_CODE code = Rules(rules)) return code;
  for (int round = 0; round < kMaxRulesOfOneName; ++round) {
    if (FAILED(rules->Remove(name))) return FW_RULE_REMOVE;
    ComPtr<INetFwRule> left;
    if (FAILED(rules->Item(name, left.out()))) return FW_OK;
  }
  return FW_RULE_REMOVE;  // a rule of that name stays whatever is removed
}

FW_ERROR_CODE FirewallAccess::FindEnabledApplication(BSTR path, bool& found) {
  found = false;
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
  if (policy2) {
    ComPtr<INetFwRule> rule;
    if (FW_ERROR_CODE code = FindEnabledRule(bstrName.get(), rule)) return code;
    if (rule) {
      // The product moved (or its protocol changed): the rule follows it rather than keep
      // allowing a program that is no longer there while the new one stays blocked.
      if (FW_ERROR_CODE code = FollowText(rule.get(), &INetFwRule::get_ApplicationName,
                                          &INetFwRule::put_ApplicationName, bstrPath.get(), FW_IMAGE_NAME))
        return code;
      return protocol == kProtocolAny ? FW_OK : FollowProtocol(rule.get(), protocol);
    }
    if (FW_ERROR_CODE code = NewRule(bstrName.get(), rule)) return code;
    if (FAILED(rule->put_ApplicationName(bstrPath.get()))) return FW_IMAGE_NAME;
    if (protocol != kProtocolAny) {
      ComString localSubnet(L"LocalSubnet");
      if (FAILED(rule->put_Protocol(protocol))) return FW_PORT_PROTOCOL;
      if (FAILED(rule->put_RemoteAddresses(localSubnet.get()))) return FW_RULE_PROPERTY;
    }
    return AddRule(rule.get());
  }
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledApplication(bstrPath.get(), found)) return code;
  if (found) return FW_OK;
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
  if (policy2) return RemoveRules(bstrName.get());
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledApplication(bstrPath.get(), found)) return code;
  if (!found) return FW_OK;
  ComPtr<INetFwAuthorizedApplications> applications;
  if (FW_ERROR_CODE code = Applications(applications)) return code;
  return Check(applications->Remove(bstrPath.get()), FW_COLLECTION_REMOVE);
}

FW_ERROR_CODE FirewallAccess::FindEnabledPort(std::int32_t port, std::int32_t protocol, bool& found) {
  found = false;
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
  // A port the firewall would refuse could leave a rule with no port limit: every port open.
  if (port < 1 || port > 65535) return FW_PORT_NUMBER;
  if (policy2) {
    wchar_t decimal[kIntTextSize];
    FormatInt(port, decimal);
    ComString localPorts(decimal);
    if (localPorts.length() == 0) return FW_COM_STRING;
    ComPtr<INetFwRule> rule;
    if (FW_ERROR_CODE code = FindEnabledRule(bstrName.get(), rule)) return code;
    if (rule) {
      // An enabled rule of that name for another port or protocol is brought to this one.
      if (FW_ERROR_CODE code = FollowProtocol(rule.get(), protocol)) return code;
      return FollowText(rule.get(), &INetFwRule::get_LocalPorts, &INetFwRule::put_LocalPorts, localPorts.get(),
                        FW_PORT_NUMBER);
    }
    if (FW_ERROR_CODE code = NewRule(bstrName.get(), rule)) return code;
    if (FAILED(rule->put_Protocol(protocol))) return FW_PORT_PROTOCOL;
    if (FAILED(rule->put_LocalPorts(localPorts.get()))) return FW_PORT_NUMBER;
    return AddRule(rule.get());
  }
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledPort(port, protocol, found)) return code;
  if (found) return FW_OK;
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
  if (policy2) return RemoveRules(bstrName.get());
  bool found = false;
  if (FW_ERROR_CODE code = FindEnabledPort(port, protocol, found)) return code;
  if (!found) return FW_OK;
  ComPtr<INetFwOpenPorts> ports;
  if (FW_ERROR_CODE code = OpenPorts(ports)) return code;
  return Check(ports->Remove(port, static_cast<NET_FW_IP_PROTOCOL>(protocol)), FW_COLLECTION_REMOVE);
}

}  // namespace tv
