// The silent search's "autoclose" answer for a program that cannot be ended, which no real
// installer can produce: the DLL's TerminateProcess is doubled to refuse, as Windows does for a
// protected process.
#include "harness.h"
#include "victims.h"

namespace {

BOOL WINAPI TerminateRefused(HANDLE, UINT) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

}  // namespace

// The search gives up after about 10 s, tells the function with the id -1 and stops; the
// function's answer to that call does not stay on the script's stack. The record of what the
// plug-in ended says so, and a restart leaves the program alone.
TEST_CASE(AutocloseGivesUpOnAProgramThatCannotEnd) {
  // Found by its image (a module target): the harness reads no system handle table while other
  // tests run.
  Victim victim(OwnBin(), "tvvictim.exe", TestFolder("autoclose"), "tvstay", "");
  CHECK(victim.Started());
  ImportDouble terminate("KERNEL32.dll", "TerminateProcess", reinterpret_cast<void*>(&TerminateRefused));
  Stack s;
  std::vector<std::string> ids;
  Installer::Get().functions[41] = [&](HWND) {
    ids.push_back(s.Pop());
    s.Pop();  // image path
    s.Pop();  // display name
    s.Push(ids.back() == "-1" ? "whatever" : "autoclose");
    return 0;
  };
  s.PushAll({"mine", victim.Path()});
  Dll().Call("AddModule", &s);
  s.Push("42");
  DWORD start = GetTickCount();
  Dll().Call("SilentSearch", &s);
  DWORD took = GetTickCount() - start;
  CHECK_STACK(s, "done", "mine");
  CHECK_EQ(ids.size(), 2u);
  if (ids.size() == 2) {
    CHECK_EQ(ids[0], std::to_string(victim.Id()));
    CHECK_EQ(ids[1], "-1");
  }
  CHECK(took >= 9000 && took < 20000);
  CHECK(!victim.Ended(0));

  std::vector<std::string> fields;
  Installer::Get().functions[43] = [&](HWND) {
    for (int i = 0; i < 8; ++i) fields.push_back(s.Pop());
    s.Push("true");
    return 0;
  };
  s.Clear();
  s.PushAll({"44", "/ask"});
  Dll().Call("RestartClosedPrograms", &s);
  CHECK_STACK(s, "0");
  // Why not, how it ended, the executable, its command line and folder (as started), name,
  // target, service.
  CHECK(fields.size() == 8 && fields[0] == "failed" && fields[1] == "failed" && fields[2] == victim.Path() &&
        fields[3].find("tvstay") != std::string::npos && !fields[4].empty() && fields[7].empty());
  Installer::Get().functions.erase(43);
  Installer::Get().functions.erase(41);
}
