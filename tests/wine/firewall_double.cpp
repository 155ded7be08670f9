// A double of Windows Firewall's five COM classes (Wine's own accept everything and store
// nothing). Entries live in the UTF-8 file TARVOLK_FIREWALL_STATE, one a line:
//   rule|Name=..|Enabled=-1|...   app|ProcessImageFileName=..|...   port|Port=..|Protocol=6|...
// Switch lines: "fail|WHAT[|N]" (class NetFwPolicy2 or call Rules.Add fails after N passes),
// "strict-remove" (Remove of an unknown entry fails), "system" (Wine's hnetcfg.dll objects).
// As Windows, it refuses ports outside 1-65535 and a rule's ports unless TCP/UDP, and keeps
// several rules of one name (Item gives the first, Remove takes one).
#include <windows.h>
#include <initguid.h>
#include <netfw.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#define M(type) type STDMETHODCALLTYPE

namespace {

LONG g_live = 0;

struct Record {
  std::string kind;  // rule, app, port
  std::vector<std::pair<std::string, std::wstring>> props;
  std::wstring Get(const std::string& key, const wchar_t* fallback = L"") const {
    for (auto& p : props)
      if (p.first == key) return p.second;
    return fallback;
  }
  void Set(const std::string& key, const std::wstring& value) {
    for (auto& p : props)
      if (p.first == key) return void(p.second = value);
    props.emplace_back(key, value);
  }
};

struct State {
  std::vector<std::string> switches;
  std::vector<Record> records;
};

std::wstring Widen(const std::string& s) {
  std::wstring w(s.size(), L'\0');
  w.resize(MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], static_cast<int>(w.size())));
  return w;
}

std::string Utf8(const std::wstring& w) {
  std::string s(w.size() * 3, '\0');
  s.resize(WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], static_cast<int>(s.size()),
                               nullptr, nullptr));
  return s;
}

std::vector<std::string> Split(const std::string& line, char separator = '|') {
  std::vector<std::string> parts(1);
  for (char c : line) {
    if (c == separator) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

std::wstring StatePath() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(L"TARVOLK_FIREWALL_STATE", path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? path : L"";
}

State Load() {
  State state;
  FILE* f = _wfopen(StatePath().c_str(), L"rb");
  if (f == nullptr) return state;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  fclose(f);
  for (std::string line : Split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> parts = Split(line);
    if (parts[0] != "rule" && parts[0] != "app" && parts[0] != "port") {
      state.switches.push_back(line);
      continue;
    }
    Record r{parts[0], {}};
    for (size_t i = 1; i < parts.size(); ++i) {
      size_t eq = parts[i].find('=');
      if (eq != std::string::npos) r.props.emplace_back(parts[i].substr(0, eq), Widen(parts[i].substr(eq + 1)));
    }
    state.records.push_back(r);
  }
  return state;
}

void Save(const State& state) {
  std::string text;
  for (auto& s : state.switches) text += s + "\r\n";
  for (auto& r : state.records) {
    text += r.kind;
    for (auto& p : r.props) text += "|" + p.first + "=" + Utf8(p.second);
    text += "\r\n";
  }
  FILE* f = _wfopen(StatePath().c_str(), L"wb");
  if (f == nullptr) return;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

bool Has(const State& state, const char* line) {
  return std::find(state.switches.begin(), state.switches.end(), line) != state.switches.end();
}

bool Fails(const std::string& what) {
  State state = Load();
  for (auto& s : state.switches) {
    std::vector<std::string> parts = Split(s);
    if (parts.size() < 2 || parts[0] != "fail" || parts[1] != what) continue;
    int pass = parts.size() > 2 ? atoi(parts[2].c_str()) : 0;
    if (pass <= 0) return true;
    s = "fail|" + what + "|" + std::to_string(pass - 1);
    Save(state);
    return false;
  }
  return false;
}

const HRESULT kFailed = E_FAIL;
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

template <class I>
class Object : public I {
 public:
  Object() { InterlockedIncrement(&g_live); }
  virtual ~Object() { InterlockedDecrement(&g_live); }
  M(HRESULT) QueryInterface(REFIID riid, void** out) override {
    *out = riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(I) ? static_cast<I*>(this) : nullptr;
    if (*out) AddRef();
    return *out ? S_OK : E_NOINTERFACE;
  }
  M(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  M(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }
  M(HRESULT) GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  M(HRESULT) GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  M(HRESULT) GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  M(HRESULT) Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
};

std::wstring FromBstr(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : L""; }

class Properties {
 public:
  Properties(const char* kind, const char* prefix) : kind_(kind), prefix_(prefix) {}
  Record& Detached() { return own_; }
  void Attach(size_t index) { index_ = static_cast<long>(index); }

 protected:
  HRESULT Get(const char* key, BSTR, BSTR* out) {
    std::wstring v;
    *out = Read(key, &v) ? SysAllocString(v.c_str()) : nullptr;
    return *out ? S_OK : kFailed;
  }
  template <class T>
  HRESULT Get(const char* key, T fallback, T* out) {
    std::wstring v;
    if (!Read(key, &v)) return kFailed;
    *out = v.empty() ? fallback : static_cast<T>(_wtol(v.c_str()));
    return S_OK;
  }
  HRESULT Put(const char* key, BSTR value) { return Store(key, FromBstr(value)); }
  template <class T>
  HRESULT Put(const char* key, T value) { return Store(key, std::to_wstring(static_cast<LONG>(value))); }

 private:
  static bool IsPort(const std::wstring& text) {
    return !text.empty() && text.size() < 6 && text.find_first_not_of(L"0123456789") == std::wstring::npos &&
           _wtol(text.c_str()) >= 1 && _wtol(text.c_str()) <= 65535;
  }
  bool Refused(const std::string& key, const std::wstring& value) {
    if (prefix_ == "Port" && key == "Port") return !IsPort(value);
    if (prefix_ != "Rule" || key != "LocalPorts") return false;
    std::wstring protocol = Current().Get("Protocol");
    return (protocol != L"6" && protocol != L"17") || !IsPort(value);
  }
  bool Read(const char* key, std::wstring* value) {
    if (Fails(prefix_ + ".get_" + key)) return false;
    *value = Current().Get(key);
    return true;
  }
  HRESULT Store(const char* key, const std::wstring& value) {
    if (Fails(prefix_ + ".put_" + key) || Refused(key, value)) return kFailed;
    if (index_ < 0) return own_.Set(key, value), S_OK;
    State state = Load();
    if (static_cast<size_t>(index_) >= state.records.size()) return kFailed;
    state.records[index_].Set(key, value);
    Save(state);
    return S_OK;
  }
  Record Current() {
    if (index_ < 0) return own_;
    State state = Load();
    return static_cast<size_t>(index_) < state.records.size() ? state.records[index_] : Record{};
  }

  std::string kind_, prefix_;
  Record own_{kind_, {}};
  long index_ = -1;  // position in the state file once the object came from a collection
};

#define PROPERTY(Name, T, fallback)                                                          \
  M(HRESULT) get_##Name(T* v) override { return Get(#Name, static_cast<T>(fallback), v); } \
  M(HRESULT) put_##Name(T v) override { return Put(#Name, v); }
#define TEXT_PROPERTY(Name) PROPERTY(Name, BSTR, nullptr)
// A property the plug-in never uses (per profile: the profile type first).
#define NO_PROPERTY(Name, ...)                                         \
  M(HRESULT) get_##Name(__VA_ARGS__*) override { return E_NOTIMPL; } \
  M(HRESULT) put_##Name(__VA_ARGS__) override { return E_NOTIMPL; }

// A new rule is disabled, inbound, allowing, any protocol, in every profile.
class Rule : public Object<INetFwRule>, public Properties {
 public:
  static constexpr const char *kKind = "rule", *kName = "Rule";
  Rule() : Properties(kKind, kName) {}
  TEXT_PROPERTY(Name)
  TEXT_PROPERTY(Description)
  TEXT_PROPERTY(ApplicationName)
  TEXT_PROPERTY(ServiceName)
  TEXT_PROPERTY(LocalPorts)
  TEXT_PROPERTY(RemotePorts)
  TEXT_PROPERTY(LocalAddresses)
  TEXT_PROPERTY(RemoteAddresses)
  TEXT_PROPERTY(IcmpTypesAndCodes)
  TEXT_PROPERTY(InterfaceTypes)
  TEXT_PROPERTY(Grouping)
  PROPERTY(Protocol, LONG, 256)
  PROPERTY(Direction, NET_FW_RULE_DIRECTION, NET_FW_RULE_DIR_IN)
  PROPERTY(Enabled, VARIANT_BOOL, VARIANT_FALSE)
  PROPERTY(Profiles, LONG, NET_FW_PROFILE2_ALL)
  PROPERTY(EdgeTraversal, VARIANT_BOOL, VARIANT_FALSE)
  PROPERTY(Action, NET_FW_ACTION, NET_FW_ACTION_ALLOW)
  NO_PROPERTY(Interfaces, VARIANT)
};

// A new authorized application is enabled, for all addresses and both IP versions.
class Application : public Object<INetFwAuthorizedApplication>, public Properties {
 public:
  static constexpr const char *kKind = "app", *kName = "App";
  Application() : Properties(kKind, kName) {}
  TEXT_PROPERTY(Name)
  TEXT_PROPERTY(ProcessImageFileName)
  TEXT_PROPERTY(RemoteAddresses)
  PROPERTY(IpVersion, NET_FW_IP_VERSION, NET_FW_IP_VERSION_ANY)
  PROPERTY(Scope, NET_FW_SCOPE, NET_FW_SCOPE_ALL)
  PROPERTY(Enabled, VARIANT_BOOL, VARIANT_TRUE)
};

class OpenPort : public Object<INetFwOpenPort>, public Properties {
 public:
  static constexpr const char *kKind = "port", *kName = "Port";
  OpenPort() : Properties(kKind, kName) {}
  TEXT_PROPERTY(Name)
  TEXT_PROPERTY(RemoteAddresses)
  PROPERTY(IpVersion, NET_FW_IP_VERSION, NET_FW_IP_VERSION_ANY)
  PROPERTY(Protocol, NET_FW_IP_PROTOCOL, NET_FW_IP_PROTOCOL_TCP)
  PROPERTY(Port, LONG, 0)
  PROPERTY(Scope, NET_FW_SCOPE, NET_FW_SCOPE_ALL)
  PROPERTY(Enabled, VARIANT_BOOL, VARIANT_TRUE)
  M(HRESULT) get_BuiltIn(VARIANT_BOOL* v) override { return *v = VARIANT_FALSE, S_OK; }
};

std::wstring PortKey(LONG port, LONG protocol) { return std::to_wstring(port) + L"/" + std::to_wstring(protocol); }

// Adding an application or port replaces the one with its key; rules are never replaced.
std::wstring KeyOf(const Record& r) {
  if (r.kind == "rule") return r.Get("Name");
  if (r.kind == "app") return r.Get("ProcessImageFileName");
  return PortKey(_wtol(r.Get("Port", L"0").c_str()), _wtol(r.Get("Protocol", L"6").c_str()));
}

long IndexOf(const State& state, const std::string& kind, const std::wstring& key) {
  for (size_t i = 0; i < state.records.size(); ++i) {
    const Record& r = state.records[i];
    if (r.kind == kind && (kind == "app" ? lstrcmpiW(KeyOf(r).c_str(), key.c_str()) == 0 : KeyOf(r) == key))
      return static_cast<long>(i);
  }
  return -1;
}

// The collection of ItemT: failures named "Rules.Add", "Apps.Item", "Ports.Remove" and so on.
template <class I, class ItemI, class ItemT>
class Collection : public Object<I> {
 public:
  M(HRESULT) Add(ItemI* item) override {
    if (Fails(prefix_ + ".Add")) return kFailed;
    if (item == nullptr) return E_POINTER;
    Record record = static_cast<ItemT*>(item)->Detached();
    State state = Load();
    long at = kind_ != "rule" ? IndexOf(state, kind_, KeyOf(record)) : -1;
    if (at >= 0) state.records[at] = record;
    else state.records.push_back(record);
    Save(state);
    return S_OK;
  }
  M(HRESULT) get_Count(LONG*) override { return E_NOTIMPL; }
  M(HRESULT) get__NewEnum(IUnknown**) override { return E_NOTIMPL; }

 protected:
  HRESULT RemoveOf(const std::wstring& key) {
    if (Fails(prefix_ + ".Remove")) return kFailed;
    State state = Load();
    long at = IndexOf(state, kind_, key);
    if (at < 0) return Has(state, "strict-remove") ? kNotFound : S_OK;
    state.records.erase(state.records.begin() + at);
    Save(state);
    return S_OK;
  }
  HRESULT ItemOf(const std::wstring& key, ItemI** out) {
    *out = nullptr;
    if (Fails(prefix_ + ".Item")) return kFailed;
    long at = IndexOf(Load(), kind_, key);
    if (at < 0) return kNotFound;
    auto* item = new ItemT;
    item->Attach(static_cast<size_t>(at));
    *out = item;
    return S_OK;
  }

 private:
  std::string kind_ = ItemT::kKind, prefix_ = std::string(ItemT::kName) + "s";
};

// Rules by their name, applications by their path.
template <class I, class ItemI, class ItemT>
class NamedCollection : public Collection<I, ItemI, ItemT> {
 public:
  M(HRESULT) Remove(BSTR key) override { return this->RemoveOf(FromBstr(key)); }
  M(HRESULT) Item(BSTR key, ItemI** out) override { return this->ItemOf(FromBstr(key), out); }
};
using Rules = NamedCollection<INetFwRules, INetFwRule, Rule>;
using Applications = NamedCollection<INetFwAuthorizedApplications, INetFwAuthorizedApplication, Application>;

class OpenPorts : public Collection<INetFwOpenPorts, INetFwOpenPort, OpenPort> {
 public:
  M(HRESULT) Remove(LONG port, NET_FW_IP_PROTOCOL protocol) override { return RemoveOf(PortKey(port, protocol)); }
  M(HRESULT) Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** out) override {
    return ItemOf(PortKey(port, protocol), out);
  }
};

template <class T, class I>
HRESULT Give(const char* call, I** out) {
  *out = Fails(call) ? nullptr : new T;
  return *out ? S_OK : kFailed;
}

class Profile : public Object<INetFwProfile> {
 public:
  M(HRESULT) get_Type(NET_FW_PROFILE_TYPE* type) override { return *type = NET_FW_PROFILE_STANDARD, S_OK; }
  NO_PROPERTY(FirewallEnabled, VARIANT_BOOL)
  NO_PROPERTY(ExceptionsNotAllowed, VARIANT_BOOL)
  NO_PROPERTY(NotificationsDisabled, VARIANT_BOOL)
  NO_PROPERTY(UnicastResponsesToMulticastBroadcastDisabled, VARIANT_BOOL)
  M(HRESULT) get_RemoteAdminSettings(INetFwRemoteAdminSettings**) override { return E_NOTIMPL; }
  M(HRESULT) get_IcmpSettings(INetFwIcmpSettings**) override { return E_NOTIMPL; }
  M(HRESULT) get_GloballyOpenPorts(INetFwOpenPorts** out) override {
    return Give<OpenPorts>("Profile.get_GloballyOpenPorts", out);
  }
  M(HRESULT) get_Services(INetFwServices**) override { return E_NOTIMPL; }
  M(HRESULT) get_AuthorizedApplications(INetFwAuthorizedApplications** out) override {
    return Give<Applications>("Profile.get_AuthorizedApplications", out);
  }
};

class Policy : public Object<INetFwPolicy> {
 public:
  M(HRESULT) get_CurrentProfile(INetFwProfile** out) override { return Give<Profile>("Policy.get_CurrentProfile", out); }
  M(HRESULT) GetProfileByType(NET_FW_PROFILE_TYPE, INetFwProfile**) override { return E_NOTIMPL; }
};

class Manager : public Object<INetFwMgr> {
 public:
  M(HRESULT) get_LocalPolicy(INetFwPolicy** out) override { return Give<Policy>("Mgr.get_LocalPolicy", out); }
  M(HRESULT) get_CurrentProfileType(NET_FW_PROFILE_TYPE* type) override { return *type = NET_FW_PROFILE_STANDARD, S_OK; }
  M(HRESULT) RestoreDefaults() override { return E_NOTIMPL; }
  M(HRESULT) IsPortAllowed(BSTR, NET_FW_IP_VERSION, LONG, BSTR, NET_FW_IP_PROTOCOL, VARIANT*, VARIANT*) override {
    return E_NOTIMPL;
  }
  M(HRESULT) IsIcmpTypeAllowed(NET_FW_IP_VERSION, BSTR, BYTE, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
};

class Policy2 : public Object<INetFwPolicy2> {
 public:
  M(HRESULT) get_CurrentProfileTypes(LONG* types) override { return *types = NET_FW_PROFILE2_PRIVATE, S_OK; }
  NO_PROPERTY(FirewallEnabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
  NO_PROPERTY(ExcludedInterfaces, NET_FW_PROFILE_TYPE2, VARIANT)
  NO_PROPERTY(BlockAllInboundTraffic, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
  NO_PROPERTY(NotificationsDisabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
  NO_PROPERTY(UnicastResponsesToMulticastBroadcastDisabled, NET_FW_PROFILE_TYPE2, VARIANT_BOOL)
  NO_PROPERTY(DefaultInboundAction, NET_FW_PROFILE_TYPE2, NET_FW_ACTION)
  NO_PROPERTY(DefaultOutboundAction, NET_FW_PROFILE_TYPE2, NET_FW_ACTION)
  M(HRESULT) get_Rules(INetFwRules** out) override { return Give<Rules>("Policy2.get_Rules", out); }
  M(HRESULT) get_ServiceRestriction(INetFwServiceRestriction**) override { return E_NOTIMPL; }
  M(HRESULT) EnableRuleGroup(LONG, BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
  M(HRESULT) IsRuleGroupEnabled(LONG, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  M(HRESULT) RestoreLocalFirewallDefaults() override { return E_NOTIMPL; }
  M(HRESULT) get_IsRuleGroupCurrentlyEnabled(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  M(HRESULT) get_LocalPolicyModifyState(NET_FW_MODIFY_STATE*) override { return E_NOTIMPL; }
};

// One factory per class, living as long as the module.
class Factory : public IClassFactory {
 public:
  Factory(const CLSID& clsid, const char* name, IUnknown* (*make)()) : clsid(clsid), name(name), make_(make) {}
  M(HRESULT) QueryInterface(REFIID riid, void** out) override {
    *out = riid == IID_IUnknown || riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  M(ULONG) AddRef() override { return 2; }
  M(ULONG) Release() override { return 1; }
  M(HRESULT) CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IUnknown* object = make_();
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  M(HRESULT) LockServer(BOOL) override { return S_OK; }

  const CLSID& clsid;
  const char* name;

 private:
  IUnknown* (*make_)();
};

Factory g_factories[] = {
    {CLSID_NetFwPolicy2, "NetFwPolicy2", []() -> IUnknown* { return new Policy2; }},
    {CLSID_NetFwMgr, "NetFwMgr", []() -> IUnknown* { return new Manager; }},
    {CLSID_NetFwRule, "NetFwRule", []() -> IUnknown* { return new Rule; }},
    {CLSID_NetFwAuthorizedApplication, "NetFwAuthorizedApplication", []() -> IUnknown* { return new Application; }},
    {CLSID_NetFwOpenPort, "NetFwOpenPort", []() -> IUnknown* { return new OpenPort; }},
};

HMODULE g_module = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  *out = nullptr;
  if (Has(Load(), "system")) {
    HMODULE system = LoadLibraryW(L"hnetcfg.dll");
    auto get = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(system, "DllGetClassObject")));
    return get ? get(clsid, riid, out) : CLASS_E_CLASSNOTAVAILABLE;
  }
  for (Factory& f : g_factories) {
    if (!IsEqualCLSID(clsid, f.clsid)) continue;
    if (Fails(f.name)) return CLASS_E_CLASSNOTAVAILABLE;  // as on a system without it
    return f.QueryInterface(riid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  if (GetModuleFileNameW(g_module, path, MAX_PATH) == 0) return E_FAIL;
  for (const Factory& f : g_factories) {
    wchar_t clsid[40];
    StringFromGUID2(f.clsid, clsid, 40);
    std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\InprocServer32";
    HKEY h;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != 0)
      return E_FAIL;
    RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), (lstrlenW(path) + 1) * sizeof(wchar_t));
    RegSetValueExW(h, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Both"), 5 * sizeof(wchar_t));
    RegCloseKey(h);
  }
  return S_OK;
}

extern "C" __declspec(dllexport) LONG WINAPI LiveObjects() { return g_live; }
