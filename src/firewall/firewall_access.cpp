#include "firewall/firewall_access.h"

namespace tv {

namespace {

// Ends the operation with `code` when the call failed.
void Step(HRESULT hr, FW_ERROR_CODE code) {
  if (FAILED(hr)) throw code;
}

void Step(FW_ERROR_CODE result) {
  if (result != FW_OK) throw result;
}

// A COM string for the firewall; an empty one (or none at all) ends the operation with 11.
ComString Text(const wchar_t* text) {
  ComString s(text);
  if (s.length() == 0) throw FW_COM_STRING;
  return s;
}

template <class I>
ComPtr<I> Create(REFCLSID clsid, FW_ERROR_CODE code) {
  ComPtr<I> object;
  Step(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.out_void()), code);
  return object;
}

}  // namespace

FW_ERROR_CODE FirewallAccess::Connect() {
  try {
    if (currentProfile) throw FW_NO_PROFILE;
    // Missing where only the profile-based interfaces exist; the profile path is taken then.
    CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                     policy2.out_void());
    ComPtr<INetFwMgr> manager = Create<INetFwMgr>(CLSID_NetFwMgr, FW_MANAGER_CREATE);
    ComPtr<INetFwPolicy> localPolicy;
    Step(manager->get_LocalPolicy(localPolicy.out()), FW_LOCAL_POLICY);
    Step(localPolicy->get_CurrentProfile(currentProfile.out()), FW_CURRENT_PROFILE);
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

void FirewallAccess::Release() {
  currentProfile.reset();
  policy2.reset();
}

ComPtr<INetFwRules> FirewallAccess::Rules() {
  ComPtr<INetFwRules> rules;
  Step(policy2->get_Rules(rules.out()), FW_RULES);
  return rules;
}

ComPtr<INetFwAuthorizedApplications> FirewallAccess::Applications() {
  ComPtr<INetFwAuthorizedApplications> applications;
  Step(currentProfile->get_AuthorizedApplications(applications.out()), FW_APPLICATIONS);
  return applications;
}

ComPtr<INetFwOpenPorts> FirewallAccess::OpenPorts() {
  ComPtr<INetFwOpenPorts> ports;
  Step(currentProfile->get_GloballyOpenPorts(ports.out()), FW_OPEN_PORTS);
  return ports;
}

bool FirewallAccess::FindEnabledRule(BSTR name) {
  ComPtr<INetFwRule> rule;
  if (FAILED(Rules()->Item(name, rule.out()))) return false;  // no rule of that name
  VARIANT_BOOL enabled = VARIANT_FALSE;
  Step(rule->get_Enabled(&enabled), FW_READ_EXISTING);
  if (enabled != VARIANT_TRUE) return false;  // a disabled rule is left as it is
  LONG profiles = 0;
  Step(rule->get_Profiles(&profiles), FW_READ_EXISTING);
  if (profiles != NET_FW_PROFILE2_ALL) rule->put_Profiles(NET_FW_PROFILE2_ALL);
  return true;
}

// A new allowing rule, enabled on every interface type and in every profile. What the
// property calls answer is not examined: the rule is judged when it is added.
ComPtr<INetFwRule> FirewallAccess::NewRule(BSTR name) {
  ComPtr<INetFwRule> rule = Create<INetFwRule>(CLSID_NetFwRule, FW_RULE_CREATE);
  rule->put_Action(NET_FW_ACTION_ALLOW);
  rule->put_Name(name);
  rule->put_Description(name);
  return rule;
}

void FirewallAccess::AddRule(INetFwRule* rule) {
  ComString all(L"All");
  rule->put_Enabled(VARIANT_TRUE);
  rule->put_InterfaceTypes(all.get());
  rule->put_Profiles(NET_FW_PROFILE2_ALL);
  Step(Rules()->Add(rule), FW_RULE_ADD);
}

// By name alone, with no look-up first: what the firewall says of an unknown name decides.
void FirewallAccess::RemoveRule(BSTR name) { Step(Rules()->Remove(name), FW_RULE_REMOVE); }

FW_ERROR_CODE FirewallAccess::FindEnabledApplication(BSTR path, BSTR name, bool& found) {
  found = false;
  try {
    if (policy2) {
      found = FindEnabledRule(name);
      return FW_OK;
    }
    if (!currentProfile) throw FW_NO_PROFILE;
    ComPtr<INetFwAuthorizedApplication> application;
    if (FAILED(Applications()->Item(path, application.out()))) return FW_OK;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    Step(application->get_Enabled(&enabled), FW_READ_EXISTING);
    found = enabled == VARIANT_TRUE;
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

FW_ERROR_CODE FirewallAccess::AddApplication(const wchar_t* path, std::int32_t protocol, const wchar_t* name) {
  try {
    if (!currentProfile) throw FW_NO_PROFILE;
    if (path == nullptr || name == nullptr) throw FW_NULL_ARGUMENT;
    ComString bstrPath = Text(path);
    ComString bstrName = Text(name);
    bool found = false;
    Step(FindEnabledApplication(bstrPath.get(), bstrName.get(), found));
    if (found) return FW_OK;
    if (policy2) {
      ComPtr<INetFwRule> rule = NewRule(bstrName.get());
      rule->put_ApplicationName(bstrPath.get());
      if (protocol != kProtocolAny) {
        ComString localSubnet(L"LocalSubnet");
        rule->put_Protocol(protocol);
        rule->put_RemoteAddresses(localSubnet.get());
      }
      AddRule(rule.get());
      return FW_OK;
    }
    ComPtr<INetFwAuthorizedApplications> applications = Applications();
    ComPtr<INetFwAuthorizedApplication> application =
        Create<INetFwAuthorizedApplication>(CLSID_NetFwAuthorizedApplication, FW_APPLICATION_CREATE);
    Step(application->put_ProcessImageFileName(bstrPath.get()), FW_IMAGE_NAME);
    Step(application->put_Scope(NET_FW_SCOPE_ALL), FW_SCOPE);
    Step(application->put_IpVersion(NET_FW_IP_VERSION_ANY), FW_IP_VERSION);
    Step(application->put_Name(bstrName.get()), FW_NAME);
    Step(applications->Add(application.get()), FW_COLLECTION_ADD);
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

FW_ERROR_CODE FirewallAccess::RemoveApplication(const wchar_t* path, std::int32_t, const wchar_t* name) {
  try {
    if (!currentProfile) throw FW_NO_PROFILE;
    if (path == nullptr) throw FW_NULL_ARGUMENT;
    ComString bstrPath = Text(path);
    ComString bstrName = Text(name);
    if (policy2) {
      RemoveRule(bstrName.get());
      return FW_OK;
    }
    bool found = false;
    Step(FindEnabledApplication(bstrPath.get(), bstrName.get(), found));
    if (found) Step(Applications()->Remove(bstrPath.get()), FW_COLLECTION_REMOVE);
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

FW_ERROR_CODE FirewallAccess::FindEnabledPort(std::int32_t port, std::int32_t protocol, BSTR name, bool& found) {
  found = false;
  try {
    if (policy2) {
      found = FindEnabledRule(name);  // by name: the rule's own port and protocol do not count
      return FW_OK;
    }
    if (!currentProfile) throw FW_NO_PROFILE;
    ComPtr<INetFwOpenPort> openPort;
    if (FAILED(OpenPorts()->Item(port, static_cast<NET_FW_IP_PROTOCOL>(protocol), openPort.out()))) return FW_OK;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    Step(openPort->get_Enabled(&enabled), FW_PORT_READ_ENABLED);
    found = enabled == VARIANT_TRUE;
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

FW_ERROR_CODE FirewallAccess::AddPort(std::int32_t port, std::int32_t protocol, const wchar_t* name) {
  try {
    if (!currentProfile) throw FW_NO_PROFILE;
    if (name == nullptr) throw FW_NULL_ARGUMENT;
    ComString bstrName = Text(name);
    bool found = false;
    Step(FindEnabledPort(port, protocol, bstrName.get(), found));
    if (found) return FW_OK;
    if (policy2) {
      ComPtr<INetFwRule> rule = NewRule(bstrName.get());
      wchar_t decimal[kIntTextSize];
      FormatInt(port, decimal);
      ComString localPorts = Text(decimal);
      rule->put_Protocol(protocol);
      rule->put_LocalPorts(localPorts.get());
      AddRule(rule.get());
      return FW_OK;
    }
    ComPtr<INetFwOpenPorts> ports = OpenPorts();
    ComPtr<INetFwOpenPort> openPort = Create<INetFwOpenPort>(CLSID_NetFwOpenPort, FW_PORT_CREATE);
    Step(openPort->put_Port(port), FW_PORT_NUMBER);
    Step(openPort->put_Protocol(static_cast<NET_FW_IP_PROTOCOL>(protocol)), FW_PORT_PROTOCOL);
    Step(openPort->put_Scope(NET_FW_SCOPE_ALL), FW_SCOPE);
    Step(openPort->put_IpVersion(NET_FW_IP_VERSION_ANY), FW_IP_VERSION);
    Step(openPort->put_Name(bstrName.get()), FW_NAME);
    Step(ports->Add(openPort.get()), FW_COLLECTION_ADD);
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

FW_ERROR_CODE FirewallAccess::RemovePort(std::int32_t port, std::int32_t protocol, const wchar_t* name) {
  try {
    // The name is judged before the profile, unlike AddPort: scripts see 11 for an empty name
    // even where no profile can be read.
    if (name == nullptr) throw FW_NULL_ARGUMENT;
    ComString bstrName = Text(name);
    if (!currentProfile) throw FW_NO_PROFILE;
    if (policy2) {
      RemoveRule(bstrName.get());
      return FW_OK;
    }
    bool found = false;
    Step(FindEnabledPort(port, protocol, bstrName.get(), found));
    if (found)
      Step(OpenPorts()->Remove(port, static_cast<NET_FW_IP_PROTOCOL>(protocol)), FW_COLLECTION_REMOVE);
    return FW_OK;
  } catch (FW_ERROR_CODE code) {
    return code;
  }
}

}  // namespace tv
