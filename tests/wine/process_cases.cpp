// The process tools where no installer shows them: unload, a refusing CreateFile, handles held.
#include "harness.h"
#include "victims.h"

namespace {

// Wine as root opens read-only files for writing; Windows, and this double, deny access.
using CreateFileFn = HANDLE(WINAPI*)(const wchar_t*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE);
CreateFileFn g_realCreateFile;
HANDLE WINAPI CreateFileAsWindows(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* sa,
                                  DWORD disposition, DWORD flags, HANDLE tmpl) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) && (access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return g_realCreateFile(path, access, share, sa, disposition, flags, tmpl);
}

}  // namespace

TEST_CASE(UnloadStartsTheToolsAfresh) {
  CallExport("KillProcesses", {"0"});
  CHECK_STACK(CallExport("KillProcesses", {}), {});
  Installer::Get().SendUnload();
  Victim after(OwnBin(), TestFolder("tools"), "tvkilld", "");
  CHECK_STACK(CallExport("KillProcesses", {std::to_string(after.Id())}), {});
  CHECK(after.Ended(0));
}

TEST_CASE(IsFileLockedOnReadOnlyFiles) {
  std::string readOnly = TestFolder("tools") + "\\ro.txt";
  CHECK(WriteFileText(readOnly, "x"));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  {
    ImportDouble createFile("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&CreateFileAsWindows));
    g_realCreateFile = reinterpret_cast<CreateFileFn>(createFile.Original());
    CHECK_STACK(CallExport("IsFileLocked", {"below", readOnly}), {"true", "below"});
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK_STACK(CallExport("IsFileLocked", {readOnly}), {"false"});
  }
  CHECK_STACK(CallExport("IsFileLocked", {}), {});
}

// No handle left behind, with the plug-in kept loaded as after its unload callback is registered.
TEST_CASE(ProcessToolsLeakNoHandles) {
  Installer& inst = Installer::Get();
  inst.functions[3] = [](HWND) { return 1; };  // fails at once: the walk ends at the first process
  std::string missing = TestFolder("tools") + "\\nothing.txt";
  auto round = [&] {
    CallExport("EnumProcesses", {"4"});
    CallExport("FindProcess", {"tvnone.exe", "/user"});
    CallExport("FindProcess", {"wineserver.exe", "/yesno", "/user"});
    CallExport("FindProcess", {"services.exe", "/user"});
    CallExport("CloseProcess", {"tvnone.exe"});
    CallExport("CloseProcess", {"tvnone.exe", "/kill"});
    CallExport("KillProcesses", {"0,abc,999999"});
    CallExport("IsFileLocked", {missing});
    CallExport("GetOsVersion", {});
  };
  round();  // the first call creates what lives as long as the plug-in
  DWORD before = OwnHandleCount();
  CHECK(before > 0);
  HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // the count sees one more handle
  CHECK_EQ(OwnHandleCount(), before + 1);
  CloseHandle(probe);
  for (int i = 0; i < 200; ++i) round();
  CHECK_EQ(OwnHandleCount(), before);
  inst.functions.erase(3);
}
