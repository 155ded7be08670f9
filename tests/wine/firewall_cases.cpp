// Firewall exports against firewall_double.cpp: each case sets the scene in its state file and
// reads back what the export left. firewall.nsi covers the paths through real installers.
#include <cstdlib>
#include <fstream>

#include "harness.h"

namespace {

const std::string kPath = "C:\\Tv\\app.exe";
const std::string kName = "Tv App";
const std::string kNoPolicy2 = "fail|NetFwPolicy2\n";  // a system with the profile-based API only

std::string StatePath() {
  const char* path = std::getenv("TARVOLK_FIREWALL_STATE");
  return path ? path : "";
}

void Scene(const std::string& lines) {
  static HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // as the installer does, once
  (void)com;
  CHECK(!StatePath().empty());
  std::ofstream(StatePath(), std::ios::binary | std::ios::trunc) << lines;
}

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

long Live() {
  HMODULE m = GetModuleHandleA("tvfwdouble.dll");
  auto live = reinterpret_cast<LONG(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(m, "LiveObjects")));
  return live ? live() : -1;
}

// As `Tarvolk::Name "a" "b"` calls it, below an entry of the script's own.
std::vector<std::string> Call(const char* name, std::vector<std::string> args, int stringSize = 1024) {
  Stack s(stringSize);
  args.push_back("below");
  std::vector<std::string> left = CallExport(name, std::vector<std::string>(args.rbegin(), args.rend()), &s);
  CHECK_EQ(Live(), 0);
  return left;
}

using Result = std::vector<std::string>;

}  // namespace

// Every step's code: a failing call leaves the firewall as it was. Applications and ports share
// the rule path's steps, so their rows check only that each answer is passed on.
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
      {enabledRule + "fail|Rule.get_ApplicationName\n", "FirewallAddApplication", app, "9"},
      {enabledRule + "fail|Rule.put_ApplicationName\n", "FirewallAddApplication", app, "12"},
      {"rule|Name=" + kName + "|Enabled=-1|Profiles=3\nfail|Rule.put_Profiles\n", "FirewallAddApplication", app, "22"},
      {"fail|NetFwRule\n", "FirewallAddApplication", app, "27"},
      {"fail|Rules.Add\n", "FirewallAddApplication", app, "29"},
      {"fail|Policy2.get_Rules\n", "FirewallRemoveApplication", app, "28"},
      {"strict-remove\n", "FirewallRemoveApplication", app, "30"},
      {"fail|Policy2.get_Rules\n", "FirewallAddPort", port, "28"},
      {"fail|NetFwRule\n", "FirewallAddPort", port, "27"},
      {"fail|Rules.Add\n", "FirewallAddPort", port, "29"},
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
    SCOPED_TRACE(std::string(row.fn) + " in " + row.scene);
    Scene(row.scene);
    std::vector<std::string> before = Entries();
    CHECK_STACK(Call(row.fn, row.args), {"error", row.code});
    CHECK_EQ(Entries(), before);
  }
}

// No manager, policy or profile: with the rule-based policy every operation needs the profile
// (1); without it, unavailable.
TEST_CASE(FirewallWithoutProfile) {
  for (const char* broken : {"fail|NetFwMgr\n", "fail|Mgr.get_LocalPolicy\n", "fail|Policy.get_CurrentProfile\n"}) {
    Scene(broken);
    CHECK_STACK(Call("FirewallIsAvailable", {}), {"1"});
    CHECK_STACK(Call("FirewallAddApplication", {kPath, kName, "TCP"}), {"error", "1"});
    CHECK_STACK(Call("FirewallRemoveApplication", {kPath, kName}), {"error", "1"});
    CHECK_STACK(Call("FirewallAddPort", {"80", "TCP", kName}), {"error", "1"});
    CHECK_STACK(Call("FirewallAddPort", {"80", "TCP", ""}), {"error", "1"});
    CHECK_STACK(Call("FirewallRemovePort", {"80", "TCP", kName}), {"error", "1"});
    CHECK_STACK(Call("FirewallRemovePort", {"80", "TCP", ""}), {"error", "11"});

    Scene(kNoPolicy2 + broken);
    CHECK_STACK(Call("FirewallIsAvailable", {}), {"0"});
    CHECK_STACK(Call("FirewallAddApplication", {kPath, kName}), {"error", "15"});
    CHECK_STACK(Call("FirewallRemoveApplication", {kPath, kName}), {"error"});
    CHECK_STACK(Call("FirewallAddPort", {"80", "TCP", kName}), {"error"});
    CHECK_STACK(Call("FirewallRemovePort", {"80", "TCP", kName}), {"error"});
    CHECK(Entries().empty());
  }
}

// 1023 characters pass whole, 1024 are refused, not cut.
TEST_CASE(FirewallLongTexts) {
  Scene("");
  std::string longest(1023, 'n'), tooLong(1024, 'n');
  CHECK_STACK(Call("FirewallAddApplication", {"C:\\" + std::string(1020, 'p'), longest}, 8192), {"success", "0"});
  CHECK_STACK(Call("FirewallAddApplication", {kPath, tooLong}, 8192), {"error", "11"});
  CHECK_STACK(Call("FirewallAddApplication", {"C:\\" + std::string(1021, 'p'), kName}, 8192), {"error", "11"});
  CHECK_STACK(Call("FirewallRemovePort", {"1", "TCP", tooLong}, 8192), {"error", "11"});
  CHECK(Entries().size() == 1u);
  CHECK(Entries()[0].find("|Name=" + longest + "|") != std::string::npos);
}

// Unicode variants pass the script's UTF-16 through; ANSI reads its bytes in the ANSI code page.
TEST_CASE(FirewallNonAsciiName) {
  Scene("");
  const std::string given = sizeof(TChar) == 2 ? "Tv \xCE\xA9 \xE2\x82\xAC" : GetACP() == 1252 ? "Tv \xE9 \x80" : "Tv";
  CHECK_STACK(Call("FirewallAddPort", {"80", "TCP", given}), {"success", "0"});
  CHECK(Entries().size() == 1u);
  const std::string stored = given == "Tv \xE9 \x80" ? "Tv \xC3\xA9 \xE2\x82\xAC" : given;  // UTF-8
  CHECK(Entries()[0].find("|Name=" + stored + "|Description=" + stored + "|Protocol=6|LocalPorts=80|") !=
        std::string::npos);
}
