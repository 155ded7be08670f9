// GetOsVersion: the Windows release as a short name and whether the machine is x64.
#include "frame/owned.h"
#include "settings/os_release.h"
#include "settings/registry.h"

using namespace tv;

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

// ntdll's answer where it has RtlGetVersion (it is not subject to the compatibility shims of
// GetVersionEx), else GetVersionExW's.
bool QueryVersion(OSVERSIONINFOEXW* version) {
  auto rtl = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll"), "RtlGetVersion")));
  if (rtl != nullptr) return rtl(version) == 0;
  return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(version)) != FALSE;
}

// The machine's architecture: a 32-bit installer on 64-bit Windows sees AMD64 here.
bool MachineIsX64() {
  SYSTEM_INFO info = {};
  auto native = reinterpret_cast<GetNativeSystemInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
  if (native != nullptr)
    native(&info);
  else
    GetSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

}  // namespace

// Pops nothing; leaves exactly the release name and, on top, the number.
TARVOLK_EXPORT(GetOsVersion, SystemFrame) {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  OsFacts os;
  os.queried = QueryVersion(&version);
  frame.clearstack();
  if (os.queried) {
    os.platform = version.dwPlatformId;
    os.major = version.dwMajorVersion;
    os.minor = version.dwMinorVersion;
    os.workstation = version.wProductType == VER_NT_WORKSTATION;
    os.x64 = MachineIsX64();
  }

  // 256 bytes of product name; a longer one cannot be read and counts as unreadable.
  tchar productName[256 / sizeof(tchar) + 1] = {};
  bool haveName = false;
  if (NeedsProductName(os)) {
    RegKey key;
    if (RegOpenKeyExT(HKEY_LOCAL_MACHINE, TV_T("Software\\Microsoft\\Windows NT\\CurrentVersion"), KEY_READ, key.out()) == ERROR_SUCCESS) {
      DWORD bytes = 256;
      haveName = RegQueryValueExT(key.get(), TV_T("ProductName"), nullptr, productName, &bytes) == ERROR_SUCCESS;
    } else {
      key.release();
    }
  }
  std::int32_t number = 0;
  const char* name = ReleaseName<tchar>(os, haveName ? productName : nullptr, &number);
  frame.pushword(name);
  frame.pushint(number);
}
