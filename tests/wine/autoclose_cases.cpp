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
// function's answer to that call does not stay on the script's stack.
TEST_CASE(AutocloseGivesUpOnAProgramThatCannotEnd) {
  // Found by its image (a module target): the harness reads no system handle table while other
  // tests run.
  Victim victim(OwnBin(), "tvvictim.exe", TestFolder("autoclose"), "tvstay", "");
  CHECK(victim.Started());
  void* terminate =
      PatchImport(Dll().Module(), "KERNEL32.dll", "TerminateProcess", reinterpret_cast<void*>(&TerminateRefused));
  CHECK(terminate != nullptr);
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
  if (terminate) PatchImport(Dll().Module(), "KERNEL32.dll", "TerminateProcess", terminate);
  Installer::Get().functions.erase(41);
}
