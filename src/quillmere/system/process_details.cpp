#include "quillmere/system/process_details.h"

#include <cstdint>
#include <cstring>

#include "frame/owned.h"
#include "quillmere/system/engine.h"
#include "quillmere/system/helper_bridge.h"

namespace tv {
namespace {

using QueryProcess = LONG(WINAPI*)(HANDLE process, ULONG infoClass, void* buffer, ULONG size, ULONG* returned);
using QueryImageName = BOOL(WINAPI*)(HANDLE process, DWORD flags, wchar_t* name, DWORD* size);
using ModuleFileName = DWORD(WINAPI*)(HANDLE process, HMODULE module, wchar_t* name, DWORD size);

constexpr DWORD kQueryLimited = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, from Vista on
constexpr ULONG kProcessBasicInformation = 0;
constexpr ULONG kProcessWow64Information = 26;

struct BasicInformation {
  LONG exitStatus;
  void* peb;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR processId;
  ULONG_PTR parentProcessId;
};

// Where the parameters block stands in the process environment block, and where the current
// folder and the command line (each a counted UTF-16 string) stand in that block, by the
// process's width.
struct Layout32 {
  using Pointer = std::uint32_t;
  static constexpr unsigned parameters = 0x10, folder = 0x24, commandLine = 0x40, stringBuffer = 4;
};
struct Layout64 {
  using Pointer = std::uint64_t;
  static constexpr unsigned parameters = 0x20, folder = 0x38, commandLine = 0x70, stringBuffer = 8;
};

bool ReadAt(HANDLE process, std::uint64_t address, void* out, std::size_t bytes) {
  if (address == 0 || address > static_cast<std::uint64_t>(~static_cast<ULONG_PTR>(0)) - bytes) return false;
  SIZE_T done = 0;
  return ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<ULONG_PTR>(address)), out, bytes,
                           &done) &&
         done == bytes;
}

template <class L>
bool ReadString(HANDLE process, std::uint64_t at, BasicText<wchar_t>* out) {
  unsigned char raw[L::stringBuffer + sizeof(typename L::Pointer)];
  if (!ReadAt(process, at, raw, sizeof raw)) return false;
  std::uint16_t bytes;
  typename L::Pointer buffer;
  std::memcpy(&bytes, raw, sizeof bytes);
  std::memcpy(&buffer, raw + L::stringBuffer, sizeof buffer);
  if (bytes == 0 || bytes % 2 != 0 || !out->Resize(bytes / 2)) return false;
  if (ReadAt(process, buffer, out->data(), bytes)) return true;
  out->Clear();
  return false;
}

template <class L>
bool ReadParameters(HANDLE process, std::uint64_t peb, ProcessDetails* out) {
  typename L::Pointer parameters = 0;
  if (!ReadAt(process, peb + L::parameters, &parameters, sizeof parameters)) return false;
  bool commandLine = ReadString<L>(process, parameters + L::commandLine, &out->commandLine);
  bool folder = ReadString<L>(process, parameters + L::folder, &out->folder);
  // The block keeps the folder with its closing backslash; GetCurrentDirectory has none but for a
  // drive's root.
  std::size_t n = out->folder.size();
  if (folder && n > 3 && out->folder[n - 1] == L'\\') out->folder.Resize(n - 1);
  return commandLine || folder;
}

void ReadImage(HANDLE process, BasicText<wchar_t>* out) {
  wchar_t path[1024];
  DWORD size = 1024;
  auto query = reinterpret_cast<QueryImageName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW")));
  if (query != nullptr && query(process, 0, path, &size)) {
    out->Assign(path, size);
    return;
  }
  HMODULE psapi = TV_AW(LoadLibrary)(TV_T("psapi.dll"));
  auto moduleName = psapi ? reinterpret_cast<ModuleFileName>(
                                reinterpret_cast<void*>(GetProcAddress(psapi, "GetModuleFileNameExW")))
                          : nullptr;
  DWORD length = moduleName ? moduleName(process, nullptr, path, 1024) : 0;
  if (length > 0 && length < 1024) out->Assign(path, length);
  if (psapi) FreeLibrary(psapi);
}

QueryProcess NtQueryProcess() {
  return reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
}

}  // namespace

bool ReadProcessParameters(HANDLE process, ProcessDetails* out) {
  QueryProcess query = NtQueryProcess();
  if (query == nullptr) return false;
#ifdef _WIN64
  // A 32-bit process keeps its own block: found where the system says its 32-bit environment
  // block is (Wine gives no address there, and keeps the 64-bit block up to date instead).
  ULONG_PTR peb32 = 0;
  if (query(process, kProcessWow64Information, &peb32, sizeof peb32, nullptr) == 0 && peb32 > 0xFFFF &&
      ReadParameters<Layout32>(process, peb32, out))
    return true;
  BasicInformation basic = {};
  return query(process, kProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
         ReadParameters<Layout64>(process, reinterpret_cast<ULONG_PTR>(basic.peb), out);
#else
  BasicInformation basic = {};
  return query(process, kProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
         ReadParameters<Layout32>(process, reinterpret_cast<ULONG_PTR>(basic.peb), out);
#endif
}

DWORD ParentProcessId(HANDLE process) {
  QueryProcess query = NtQueryProcess();
  BasicInformation basic = {};
  return query != nullptr && query(process, kProcessBasicInformation, &basic, sizeof basic, nullptr) == 0
             ? static_cast<DWORD>(basic.parentProcessId)
             : 0;
}

bool ProcessStartTime(DWORD processId, FILETIME* started) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process) process.reset(OpenProcess(kQueryLimited, FALSE, processId));
  FILETIME exited, kernel, user;
  return process && GetProcessTimes(process.get(), started, &exited, &kernel, &user);
}

namespace {

bool ReadOrigin(HANDLE process, ProcessDetails* out) {
  out->image.Clear();
  FILETIME exited, kernel, user;
  if (!GetProcessTimes(process, &out->started, &exited, &kernel, &user)) return false;
  out->parentId = ParentProcessId(process);
  ReadImage(process, &out->image);
  return true;
}

}  // namespace

bool ReadProcessOrigin(DWORD processId, ProcessDetails* out) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process) process.reset(OpenProcess(kQueryLimited, FALSE, processId));
  return process && ReadOrigin(process.get(), out);
}

bool ReadProcessDetails(DWORD processId, ProcessDetails* out) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process || !ReadOrigin(process.get(), out)) return false;
#ifndef _WIN64
  // A 64-bit program's block lies beyond what a 32-bit process can read.
  BOOL wow64 = FALSE;
  if (IsWow64() && Api().IsWow64Process && Api().IsWow64Process(process.get(), &wow64) && !wow64) {
    HelperProcessDetails(processId, out);
    return true;
  }
#endif
  ReadProcessParameters(process.get(), out);
  return true;
}

bool ProcessStillRuns(DWORD processId, const FILETIME& started) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, processId));
  if (!process) return false;
  FILETIME created, exited, kernel, user;
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT &&
         GetProcessTimes(process.get(), &created, &exited, &kernel, &user) &&
         CompareFileTime(&created, &started) == 0;
}

}  // namespace tv
