// Firewall exports against the firewall double (firewall_double.cpp), registered in the test
// prefix where Windows' firewall would be: it keeps its entries in the file that
// TARVOLK_FIREWALL_STATE names, so each case sets the scene there and reads back what the
// export left. One case runs against Wine's own firewall objects instead.
#include <fstream>
#include <sstream>

#include "harness.h"

namespace {

const std::string kPath = "C:\\Tv\\app.exe";
const std::string kName = "Tv App";
const std::string kNoPolicy2 = "fail|NetFwPolicy2\n";  // a system with the profile-based API only

std::string StatePath() {
  char path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("TARVOLK_FIREWALL_STATE", path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? path : "";
}

// The installer has initialised COM on its thread before any plug-in runs; so does the harness.
void Com() {
  static HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)initialised;
}

// Writes the double's state anew: switch lines and entries, one a line.
void Scene(const std::string& lines) {
  Com();
  CHECK(!StatePath().empty());
  std::ofstream(StatePath(), std::ios::binary | std::ios::trunc) << lines;
}

// The entries the double holds now (rules, applications, open ports), switches left out.
std::vector<std::string> Entries() {
  std::vector<std::string> out;
  std::ifstream in(StatePath(), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("rule|", 0) == 0 || line.rfind("app|", 0) == 0 || line.rfind("port|", 0) == 0)
      out.push_back(line);
  }
  return out;
}

// Objects of the double still alive: every reference the plug-in took must be released.
long Live() {
  HMODULE m = GetModuleHandleA("tvfwdouble.dll");
  auto live = reinterpret_cast<LONG(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(m, "LiveObjects")));
  return live ? live() : -1;
}

// Calls an export the way `Tarvolk::Name "a" "b"` does (the first argument ends on top), below
// an entry of the script's own; returns the whole stack afterwards, top first.
std::vector<std::string> Call(const char* name, std::vector<std::string> args, int stringSize = 1024) {
  Stack s(stringSize);
  s.Push("below");
  for (auto it = args.rbegin(); it != args.rend(); ++it) s.Push(*it);
  Dll().Call(name, &s);
  CHECK_EQ(Live(), 0);
  return s.TopFirst();
}

using Result = std::vector<std::string>;

std::string RuleLine(const std::string& name, const std::string& program, const std::string& protocol) {
  std::string line = "rule|Action=1|Name=" + name + "|Description=" + name;
  if (!program.empty()) line += "|ApplicationName=" + program;
  if (!protocol.empty()) line += protocol;
  return line + "|Enabled=-1|InterfaceTypes=All|Profiles=2147483647";
}

}  // namespace

// Every step's code, in the path where it occurs: a failing call leaves the firewall as it was.
TEST_CASE(FirewallCodeOfEachStep) {
  const std::string enabledRule = "rule|Name=" + kName + "|Enabled=-1\n";
  const std::string enabledApp = kNoPolicy2 + "app|ProcessImageFileName=" + kPath + "|Name=x|Enabled=-1\n";
  const std::string openPort = kNoPolicy2 + "port|Port=8080|Protocol=6|Name=x|Enabled=-1\n";
  const Result app = {kPath, kName}, port = {"8080", "TCP", kName};
  struct Row {
    std::string scene;
    const char* fn;
    Result args;
    std::string code;
  };
  const Row rows[] = {
      // the rule path
      {"fail|Policy2.get_Rules\n", "FirewallAddApplication", app, "28"},
      {"fail|Policy2.get_Rules|1\n", "FirewallAddApplication", app, "28"},
      {enabledRule + "fail|Rule.get_Enabled\n", "FirewallAddApplication", app, "9"},
      {enabledRule + "fail|Rule.get_Profiles\n", "FirewallAddApplication", app, "9"},
      {"fail|NetFwRule\n", "FirewallAddApplication", app, "27"},
      {"fail|Rules.Add\n", "FirewallAddApplication", app, "29"},
      {"fail|Policy2.get_Rules\n", "FirewallRemoveApplication", app, "28"},
      {"fail|Rules.Remove\n", "FirewallRemoveApplication", app, "30"},
      {"strict-remove\n", "FirewallRemoveApplication", app, "30"},
      {"fail|Policy2.get_Rules\n", "FirewallAddPort", port, "28"},
      {"fail|Policy2.get_Rules|1\n", "FirewallAddPort", port, "28"},
      {enabledRule + "fail|Rule.get_Enabled\n", "FirewallAddPort", port, "9"},
      {enabledRule + "fail|Rule.get_Profiles\n", "FirewallAddPort", port, "9"},
      {"fail|NetFwRule\n", "FirewallAddPort", port, "27"},
      {"fail|Rules.Add\n", "FirewallAddPort", port, "29"},
      {"fail|Policy2.get_Rules\n", "FirewallRemovePort", port, "28"},
      {"strict-remove\n", "FirewallRemovePort", port, "30"},
      // the profile path: applications
      {kNoPolicy2 + "fail|Profile.get_AuthorizedApplications\n", "FirewallAddApplication", app, "8"},
      {kNoPolicy2 + "fail|Profile.get_AuthorizedApplications|1\n", "FirewallAddApplication", app, "8"},
      {enabledApp + "fail|App.get_Enabled\n", "FirewallAddApplication", app, "9"},
      {kNoPolicy2 + "fail|NetFwAuthorizedApplication\n", "FirewallAddApplication", app, "10"},
      {kNoPolicy2 + "fail|App.put_ProcessImageFileName\n", "FirewallAddApplication", app, "12"},
      {kNoPolicy2 + "fail|App.put_Scope\n", "FirewallAddApplication", app, "25"},
      {kNoPolicy2 + "fail|App.put_IpVersion\n", "FirewallAddApplication", app, "26"},
      {kNoPolicy2 + "fail|App.put_Name\n", "FirewallAddApplication", app, "13"},
      {kNoPolicy2 + "fail|Apps.Add\n", "FirewallAddApplication", app, "14"},
      {kNoPolicy2 + "fail|Profile.get_AuthorizedApplications\n", "FirewallRemoveApplication", app, "8"},
      {enabledApp + "fail|Profile.get_AuthorizedApplications|1\n", "FirewallRemoveApplication", app, "8"},
      {enabledApp + "fail|App.get_Enabled\n", "FirewallRemoveApplication", app, "9"},
      {enabledApp + "fail|Apps.Remove\n", "FirewallRemoveApplication", app, "15"},
      // the profile path: open ports
      {kNoPolicy2 + "fail|Profile.get_GloballyOpenPorts\n", "FirewallAddPort", port, "16"},
      {kNoPolicy2 + "fail|Profile.get_GloballyOpenPorts|1\n", "FirewallAddPort", port, "16"},
      {openPort + "fail|Port.get_Enabled\n", "FirewallAddPort", port, "17"},
      {kNoPolicy2 + "fail|NetFwOpenPort\n", "FirewallAddPort", port, "19"},
      {kNoPolicy2 + "fail|Port.put_Port\n", "FirewallAddPort", port, "20"},
      {kNoPolicy2 + "fail|Port.put_Protocol\n", "FirewallAddPort", port, "21"},
      {kNoPolicy2 + "fail|Port.put_Scope\n", "FirewallAddPort", port, "25"},
      {kNoPolicy2 + "fail|Port.put_IpVersion\n", "FirewallAddPort", port, "26"},
      {kNoPolicy2 + "fail|Port.put_Name\n", "FirewallAddPort", port, "13"},
      {kNoPolicy2 + "fail|Ports.Add\n", "FirewallAddPort", port, "14"},
      {kNoPolicy2 + "fail|Profile.get_GloballyOpenPorts\n", "FirewallRemovePort", port, "16"},
      {openPort + "fail|Profile.get_GloballyOpenPorts|1\n", "FirewallRemovePort", port, "16"},
      {openPort + "fail|Port.get_Enabled\n", "FirewallRemovePort", port, "17"},
      {openPort + "fail|Ports.Remove\n", "FirewallRemovePort", port, "15"},
  };
  for (const Row& row : rows) {
    Scene(row.scene);
    std::vector<std::string> before = Entries();
    Result stack = Call(row.fn, row.args);
    Run().Check(stack == Result({"error", row.code}),
                std::string(row.fn) + " with " + row.scene + " gives " + row.code + ", got " + stack[0] + " " +
                    (stack.size() > 1 ? stack[1] : ""),
                __FILE__, __LINE__);
    CHECK(Entries() == before);
  }
}

// Where the manager, its policy or the profile cannot be had: with the rule-based policy the
// firewall is available but every operation needs the profile (1); without it, unavailable.
TEST_CASE(FirewallWithoutProfile) {
  for (const char* broken : {"fail|NetFwMgr\n", "fail|Mgr.get_LocalPolicy\n", "fail|Policy.get_CurrentProfile\n"}) {
    Scene(broken);
    CHECK(Call("FirewallIsAvailable", {}) == Result({"1"}));
    CHECK(Call("FirewallAddApplication", {kPath, kName, "TCP"}) == Result({"error", "1"}));
    CHECK(Call("FirewallRemoveApplication", {kPath, kName}) == Result({"error", "1"}));
    CHECK(Call("FirewallAddPort", {"80", "TCP", kName}) == Result({"error", "1"}));
    CHECK(Call("FirewallAddPort", {"80", "TCP", ""}) == Result({"error", "1"}));
    CHECK(Call("FirewallRemovePort", {"80", "TCP", kName}) == Result({"error", "1"}));
    CHECK(Call("FirewallRemovePort", {"80", "TCP", ""}) == Result({"error", "11"}));

    Scene(kNoPolicy2 + broken);
    CHECK(Call("FirewallIsAvailable", {}) == Result({"0"}));
    CHECK(Call("FirewallAddApplication", {kPath, kName}) == Result({"error", "15"}));
    CHECK(Call("FirewallRemoveApplication", {kPath, kName}) == Result({"error"}));
    CHECK(Call("FirewallAddPort", {"80", "TCP", kName}) == Result({"error"}));
    CHECK(Call("FirewallRemovePort", {"80", "TCP", kName}) == Result({"error"}));
    CHECK(Entries().empty());
  }
}

// The rule path from adding to removing, with the properties each rule gets.
TEST_CASE(FirewallRulePath) {
  Scene("");
  CHECK(Call("FirewallIsAvailable", {}) == Result({"1"}));
  CHECK(Call("FirewallAddApplication", {kPath, kName, "UDP"}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddApplication", {kPath, kName, "TCP"}) == Result({"success", "0"}));  // found: nothing added
  CHECK(Call("FirewallAddApplication", {kPath, "Tv Any", "Udp"}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddPort", {"0x1F90", "udp", "Tv Port"}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddPort", {"53", "UDP", "Tv Dns"}) == Result({"success", "0"}));
  CHECK(Entries() == Result({RuleLine(kName, kPath, "|Protocol=17|RemoteAddresses=LocalSubnet"),
                             RuleLine("Tv Any", kPath, ""),
                             RuleLine("Tv Port", "", "|Protocol=6|LocalPorts=8080"),
                             RuleLine("Tv Dns", "", "|Protocol=17|LocalPorts=53")}));
  // Removal is by name alone; an unknown name is the firewall's matter (here it succeeds).
  CHECK(Call("FirewallRemovePort", {"1", "TCP", "Tv Port"}) == Result({"success", "0"}));
  CHECK(Call("FirewallRemoveApplication", {"C:\\other.exe", kName}) == Result({"success", "0"}));
  CHECK(Call("FirewallRemoveApplication", {kPath, kName}) == Result({"success", "0"}));
  CHECK(Entries() == Result({RuleLine("Tv Any", kPath, ""), RuleLine("Tv Dns", "", "|Protocol=17|LocalPorts=53")}));

  // A disabled rule of the name does not count; an enabled one limited to some profiles is
  // widened to all of them, whatever its port, and nothing is added.
  Scene("rule|Name=" + kName + "|Enabled=0\nrule|Name=Tv Port|Enabled=-1|Profiles=2|LocalPorts=1\n");
  CHECK(Call("FirewallAddApplication", {kPath, kName}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddPort", {"8080", "TCP", "Tv Port"}) == Result({"success", "0"}));
  CHECK(Entries() == Result({"rule|Name=" + kName + "|Enabled=0",
                             "rule|Name=Tv Port|Enabled=-1|Profiles=2147483647|LocalPorts=1",
                             RuleLine(kName, kPath, "")}));
  // What a new rule's property calls answer is not examined: only adding it counts.
  Scene("fail|Rule.put_Protocol\nfail|Rule.put_Description\n");
  CHECK(Call("FirewallAddApplication", {kPath, kName, "TCP"}) == Result({"success", "0"}));
  CHECK(Entries() == Result({"rule|Action=1|Name=" + kName + "|ApplicationName=" + kPath +
                             "|RemoteAddresses=LocalSubnet|Enabled=-1|InterfaceTypes=All|Profiles=2147483647"}));
  // A failing look-up means there is no such rule.
  Scene("fail|Rules.Item\n");
  CHECK(Call("FirewallAddPort", {"80", "TCP", kName}) == Result({"success", "0"}));
  CHECK(Entries().size() == 1u);
}

// The profile path: applications by path, ports by number and protocol.
TEST_CASE(FirewallProfilePath) {
  Scene(kNoPolicy2);
  CHECK(Call("FirewallIsAvailable", {}) == Result({"1"}));
  CHECK(Call("FirewallAddApplication", {kPath, kName, "TCP"}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddApplication", {kPath, "Tv Other"}) == Result({"success", "0"}));  // same path: found
  CHECK(Call("FirewallAddPort", {"8080", "UDP", "Tv Port"}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddPort", {"8080", "Udp", "Tv Port"}) == Result({"success", "0"}));  // TCP: another port
  CHECK(Call("FirewallAddPort", {"010", "TCP", "Tv Port"}) == Result({"success", "0"}));
  CHECK(Call("FirewallAddPort", {"8", "TCP", "Tv Again"}) == Result({"success", "0"}));  // open: nothing added
  CHECK(Entries() == Result({"app|ProcessImageFileName=" + kPath + "|Scope=0|IpVersion=2|Name=" + kName,
                             "port|Port=8080|Protocol=17|Scope=0|IpVersion=2|Name=Tv Port",
                             "port|Port=8080|Protocol=6|Scope=0|IpVersion=2|Name=Tv Port",
                             "port|Port=8|Protocol=6|Scope=0|IpVersion=2|Name=Tv Port"}));
  // Removing what is absent is a success that removes nothing; the port's name only has to be
  // there.
  CHECK(Call("FirewallRemoveApplication", {"C:\\absent.exe", kName}) == Result({"success", "0"}));
  CHECK(Call("FirewallRemovePort", {"9", "TCP", "x"}) == Result({"success", "0"}));
  CHECK(Call("FirewallRemovePort", {"8080", "UDP", "x"}) == Result({"success", "0"}));
  CHECK(Call("FirewallRemoveApplication", {kPath, "any"}) == Result({"success", "0"}));
  CHECK(Entries() == Result({"port|Port=8080|Protocol=6|Scope=0|IpVersion=2|Name=Tv Port",
                             "port|Port=8|Protocol=6|Scope=0|IpVersion=2|Name=Tv Port"}));
  // A disabled entry is not found: adding enables it anew, removing leaves it.
  Scene(kNoPolicy2 + "app|ProcessImageFileName=" + kPath + "|Enabled=0\nport|Port=21|Protocol=6|Enabled=0\n");
  CHECK(Call("FirewallRemoveApplication", {kPath, kName}) == Result({"success", "0"}));
  CHECK(Call("FirewallRemovePort", {"21", "TCP", kName}) == Result({"success", "0"}));
  CHECK(Entries().size() == 2u);
  CHECK(Call("FirewallAddPort", {"21", "TCP", kName}) == Result({"success", "0"}));
  CHECK(Entries() == Result({"app|ProcessImageFileName=" + kPath + "|Enabled=0",
                             "port|Port=21|Protocol=6|Scope=0|IpVersion=2|Name=" + kName}));
}

// Missing and empty arguments, over-long ones, and what the exports leave on the stack.
TEST_CASE(FirewallArguments) {
  Scene("");
  CHECK(Call("FirewallAddApplication", {"", kName}) == Result({"error", "11"}));
  CHECK(Call("FirewallAddApplication", {kPath, ""}) == Result({"error", "11"}));
  CHECK(Call("FirewallRemoveApplication", {"", kName}) == Result({"error", "11"}));
  CHECK(Call("FirewallAddPort", {"80", "TCP", ""}) == Result({"error", "11"}));
  CHECK(Entries().empty());

  // Too few arguments: "error" alone. The script's own entries are gone with them.
  Stack s;
  s.Push(kPath);
  Dll().Call("FirewallAddApplication", &s);
  CHECK_STACK(s, "error");
  s.Clear();
  Dll().Call("FirewallRemoveApplication", &s);
  CHECK_STACK(s, "error");
  s.Clear();
  s.PushAll({kName, "TCP"});
  Dll().Call("FirewallAddPort", &s);
  CHECK_STACK(s, "error");
  s.Pop();
  Dll().Call("FirewallRemovePort", &s);
  CHECK_STACK(s, "error");
  s.PushAll({"c", "b", "a"});
  Dll().Call("FirewallIsAvailable", &s);
  CHECK_STACK(s, "1");
  s.Clear();
  Dll().Call("FirewallIsAvailable", nullptr);  // no stack: nothing to push, nothing breaks
  Dll().Call("FirewallAddApplication", nullptr);
  CHECK(Entries().empty());

  // An installer with longer strings: 1023 characters pass whole, 1024 are refused, not cut.
  std::string longest(1023, 'n'), tooLong(1024, 'n');
  CHECK(Call("FirewallAddApplication", {"C:\\" + std::string(1020, 'p'), longest}, 8192) == Result({"success", "0"}));
  CHECK(Call("FirewallAddApplication", {kPath, tooLong}, 8192) == Result({"error", "11"}));
  CHECK(Call("FirewallAddApplication", {"C:\\" + std::string(1021, 'p'), kName}, 8192) == Result({"error", "11"}));
  CHECK(Call("FirewallRemovePort", {"1", "TCP", tooLong}, 8192) == Result({"error", "11"}));
  CHECK(Entries().size() == 1u);
  CHECK(Entries()[0].find("|Name=" + longest + "|") != std::string::npos);
}

// Names beyond ASCII: the Unicode variants pass the script's UTF-16 through; the ANSI variant
// reads the script's bytes in the ANSI code page.
TEST_CASE(FirewallNonAsciiName) {
  Scene("");
#ifdef TARVOLK_UNICODE
  CHECK(Call("FirewallAddPort", {"80", "TCP", "Tv \xCE\xA9 \xE2\x82\xAC"}) == Result({"success", "0"}));
  CHECK(Entries() == Result({RuleLine("Tv \xCE\xA9 \xE2\x82\xAC", "", "|Protocol=6|LocalPorts=80")}));
#else
  if (GetACP() == 1252) {
    CHECK(Call("FirewallAddPort", {"80", "TCP", "Tv \xE9 \x80"}) == Result({"success", "0"}));
    CHECK(Entries() == Result({RuleLine("Tv \xC3\xA9 \xE2\x82\xAC", "", "|Protocol=6|LocalPorts=80")}));
  }
#endif
}

// Smoke test against Wine's own firewall objects: the double hands out hnetcfg.dll's classes.
TEST_CASE(FirewallWineObjects) {
  Scene("system\n");
  CHECK(Call("FirewallIsAvailable", {}) == Result({"1"}));
}
