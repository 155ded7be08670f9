// The process tool exports against real victim processes of the test prefix.
#include <algorithm>

#include "harness.h"
#include "victims.h"

namespace {

std::string Folder() { return TestFolder("tools"); }
// The exports below find processes by program name, and every variant's harness runs at the same
// time in the same prefix: each victim's name carries the variant.
std::string Program(const std::string& stem) { return stem + "-" + Arg("variant") + ".exe"; }
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return s;
}

std::vector<std::string> Call(const char* name, const std::vector<std::string>& pushed) {
  Stack s;
  s.PushAll(pushed);
  Dll().Call(name, &s);
  return s.TopFirst();
}

// Wine running as root opens read-only files for writing; Windows refuses with access denied.
// This double of CreateFile refuses as Windows does and otherwise calls the real function.
using CreateFileFn = HANDLE(WINAPI*)(const TChar*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE);
CreateFileFn g_realCreateFile;
HANDLE WINAPI CreateFileAsWindows(const TChar* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* sa,
                                  DWORD disposition, DWORD flags, HANDLE tmpl) {
  DWORD attributes = GetFileAttributesA(Narrow(path).c_str());  // test paths are ASCII
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) && (access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return g_realCreateFile(path, access, share, sa, disposition, flags, tmpl);
}

}  // namespace

// The NSIS tier covers the name rules and the short answers; here the full "/user" result.
TEST_CASE(FindProcessReportsTheFirstMatch) {
  Victim v(OwnBin(), "tvvictim.exe", Folder(), Program("tvfind"), "");
  CHECK(v.Started());
  std::string id = std::to_string(v.Id());
  CHECK_STACK_VEC(Call("FindProcess", {v.Path()}), {id, v.Path(), "Tarvolk test victim"});
  // The installer's own user owns every process here: the names are empty, the flag is 1.
  CHECK_STACK_VEC(Call("FindProcess", {"below", Program("tvfind"), "/user"}),
                  {id, v.Path(), "Tarvolk test victim", "1", "", "", "below"});
  CHECK_STACK_VEC(Call("FindProcess", {}), {"error"});
  CHECK_STACK_VEC(Call("FindProcess", {""}), {"error"});
}

TEST_CASE(CloseProcessAsksOrKills) {
  std::string caption = "Tarvolk close " + Arg("variant");
  Victim polite(OwnBin(), "tvvictim.exe", Folder(), Program("tvclose"),
                "class=TvClose" + Arg("variant") + " caption=\"" + caption + "\" style=1");
  CHECK(polite.Started());
  CHECK_STACK_VEC(Call("CloseProcess", {Program("tvclose")}), {"ok"});
  CHECK(polite.Ended(5000));
  CHECK_EQ(polite.ExitCode(), 0);  // it left its message loop: the window was closed, not killed

  Victim killed(OwnBin(), "tvvictim.exe", Folder(), Program("tvkill"), "");
  CHECK(killed.Started());
  CHECK_STACK_VEC(Call("CloseProcess", {Program("TvKill"), "/KILL"}), {"ok"});
  CHECK(killed.Ended(0));  // TerminateAndWait waited for it
  CHECK_EQ(killed.ExitCode(), 0xFFFFFFFFLL);
  CHECK_STACK_VEC(Call("CloseProcess", {Program("tvkill"), "/kill"}), {"error"});
  CHECK_STACK_VEC(Call("CloseProcess", {"tvnothing.exe"}), {"error"});
  // "/kill" alone: nothing pushed; nothing at all: "error".
  CHECK_STACK_VEC(Call("CloseProcess", {"/kill"}), {});
  CHECK_STACK_VEC(Call("CloseProcess", {}), {"error"});
  CHECK_STACK_VEC(Call("CloseProcess", {""}), {"error"});
}

TEST_CASE(KillProcessesRegistersTheUnloadCallbackOnce) {
  Call("KillProcesses", {"0"});
  CHECK_STACK_VEC(Call("KillProcesses", {}), {});
  // The module's unload callback is registered once, whatever the number of calls.
  size_t registered = 0;
  for (auto& c : Installer::Get().callbacks) registered += c.first == Dll().Module();
  CHECK_EQ(registered, 1u);
  // The installer's unload notification releases the module's state; later calls start afresh.
  Installer::Get().SendUnload();
  Victim after(OwnBin(), "tvvictim.exe", Folder(), Program("tvkilld"), "");
  CHECK(after.Started());
  CHECK_STACK_VEC(Call("KillProcesses", {std::to_string(after.Id())}), {});
  CHECK(after.Ended(0));
}

// Read-only files count as locked (Wine as root would open them: CreateFile is doubled).
TEST_CASE(IsFileLockedOnReadOnlyFiles) {
  std::string readOnly = Folder() + "\\ro.txt";
  CHECK(WriteFileText(readOnly, "x"));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
#ifdef TARVOLK_UNICODE
  const char* createFile = "CreateFileW";
#else
  const char* createFile = "CreateFileA";
#endif
  g_realCreateFile = reinterpret_cast<CreateFileFn>(
      PatchImport(Dll().Module(), "kernel32.dll", createFile, reinterpret_cast<void*>(&CreateFileAsWindows)));
  CHECK(g_realCreateFile != nullptr);
  if (g_realCreateFile) {
    CHECK_STACK_VEC(Call("IsFileLocked", {"below", readOnly}), {"true", "below"});
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK_STACK_VEC(Call("IsFileLocked", {readOnly}), {"false"});
    PatchImport(Dll().Module(), "kernel32.dll", createFile, reinterpret_cast<void*>(g_realCreateFile));
  }
  CHECK_STACK_VEC(Call("IsFileLocked", {}), {});
}

TEST_CASE(EnumProcessesRunsTheScriptFunction) {
  Victim v(OwnBin(), "tvvictim.exe", Folder(), Program("tvenum"), "");
  CHECK(v.Started());
  Installer& inst = Installer::Get();
  Stack s;
  std::vector<std::vector<std::string>> seen;
  int answers = 0;
  std::string answer = "true";
  // The installer's function at index 6 (address 7): pops id, path and name, pushes its answer.
  inst.functions[6] = [&](HWND) {
    std::string id = s.Pop(), path = s.Pop(), name = s.Pop();
    seen.push_back({id, path, name});
    ++answers;
    s.Push(answer);
    return 0;
  };
  s.PushAll({"below", "7"});
  Dll().Call("EnumProcesses", &s);
  CHECK_STACK(s, "done", "below");
  bool victimSeen = false, systemSeen = false;
  for (auto& e : seen) {
    victimSeen |= e[0] == std::to_string(v.Id()) && Lower(e[1]) == Lower(v.Path()) && e[2] == "Tarvolk test victim";
    systemSeen |= e[0] == "0" || e[0] == "4";
  }
  CHECK(victimSeen);
  CHECK(!systemSeen);

  // "false" (or "TRUE " with anything else) at the first process stops the walk.
  s.Clear();
  seen.clear();
  answer = "false";
  s.Push("7");
  Dll().Call("EnumProcesses", &s);
  CHECK_STACK(s, "cancel");
  CHECK_EQ(seen.size(), 1u);
  // An address the installer does not know: its ExecuteCodeSegment fails and the walk stops.
  s.Clear();
  s.Push("99");
  Dll().Call("EnumProcesses", &s);
  CHECK_EQ(s.Pop(), "cancel");
  CHECK_EQ(s.TopFirst().size(), 3u);  // the first process's values, which no function took
  s.Clear();
  Dll().Call("EnumProcesses", &s);
  CHECK_STACK(s, "error");
  inst.functions.erase(6);
}

TEST_CASE(ProcessToolsLeakNoHandles) {
  Installer& inst = Installer::Get();
  inst.functions[3] = [](HWND) { return 1; };  // fails at once: the walk ends at the first process
  Stack s;
  auto each = [&](const char* name, const std::vector<std::string>& args) {
    s.PushAll(args);
    Dll().Call(name, &s);
    s.Clear();
  };
  std::string missing = TestFolder("tools") + "\\nothing.txt";
  auto round = [&] {
    each("EnumProcesses", {"4"});
    each("FindProcess", {"tvnone.exe", "/user"});
    each("FindProcess", {"wineserver.exe", "/yesno", "/user"});
    each("FindProcess", {"services.exe", "/user"});
    each("CloseProcess", {"tvnone.exe"});
    each("CloseProcess", {"tvnone.exe", "/kill"});
    each("KillProcesses", {"0,abc,999999"});
    each("IsFileLocked", {missing});
  };
  round();  // the first call creates what lives as long as the plug-in
  DWORD before = 0, after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &before);
  for (int i = 0; i < 200; ++i) round();
  GetProcessHandleCount(GetCurrentProcess(), &after);
  CHECK_EQ(after, before);
  inst.functions.erase(3);
}
