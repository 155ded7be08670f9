// Test victims (tvvictim.c), each copied to an image name of its tag, variant and case, so that
// no other test running in the prefix finds, closes or kills it by name.
#pragma once
#include <fstream>

#include "installer.h"

inline const std::string& OwnBin() { return Arg(sizeof(void*) == 8 ? "testbin64" : "testbin32"); }

// A fresh C:\tvtest\<variant>\<name>\.
inline std::string TestFolder(const std::string& name) {
  std::string base = "C:\\tvtest";
  for (const std::string& part : {std::string(), "\\" + Arg("variant"), "\\" + name})
    CreateDirectoryA((base += part).c_str(), nullptr);
  return base;
}

inline std::string Own(const std::string& tag) {
  return tag + "-" + Arg("variant") + "-" + testing::UnitTest::GetInstance()->current_test_info()->name();
}

inline bool WriteFileText(const std::string& path, const std::string& text) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return static_cast<bool>(std::ofstream(path, std::ios::binary) << text);
}

class Victim {
 public:
  // Starts folder\<Own(tag)>.exe, a copy of bin\tvvictim.exe, and waits until it is ready; a tag
  // ending in ".exe" is the name.
  Victim(const std::string& bin, const std::string& folder, const std::string& tag, const std::string& args)
      : name_(EndsWithExe(tag) ? tag : Own(tag) + ".exe"), path_(folder + "\\" + name_) {
    CopyFileA((bin + "\\tvvictim.exe").c_str(), path_.c_str(), FALSE);
    std::string ready = "TvVictimReady-" + std::to_string(GetCurrentProcessId()) + "-" + name_;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    std::string line = "\"" + path_ + "\" ready=" + ready + " " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (CreateProcessA(path_.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi_)) {
      HANDLE both[2] = {event, pi_.hProcess};
      // A 32-bit program's first start in a new prefix, beside other tests, is slow.
      DWORD woke = WaitForMultipleObjects(2, both, FALSE, 90000), code = 0;
      GetExitCodeProcess(pi_.hProcess, &code);
      EXPECT_EQ(woke, WAIT_OBJECT_0) << "victim " << name_ << " not ready (258: timed out), exit code " << code;
    } else {
      ADD_FAILURE() << "victim " << name_ << " not started: error " << GetLastError();
    }
    CloseHandle(event);
  }
  ~Victim() {
    if (pi_.hProcess) {
      TerminateProcess(pi_.hProcess, 1);
      WaitForSingleObject(pi_.hProcess, 5000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  Victim(const Victim&) = delete;
  Victim& operator=(const Victim&) = delete;

  DWORD Id() const { return pi_.dwProcessId; }
  const std::string& Path() const { return path_; }
  const std::string& Name() const { return name_; }
  bool Ended(DWORD ms) const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }

 private:
  static bool EndsWithExe(const std::string& s) { return s.size() > 4 && s.compare(s.size() - 4, 4, ".exe") == 0; }
  std::string name_;
  std::string path_;
  PROCESS_INFORMATION pi_ = {};
};
