// The registry and environment calls of the settings exports in the width of the build.
#pragma once
#include "frame/plugin.h"


namespace tv {

inline LSTATUS RegOpenKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return TV_AW(RegOpenKeyEx)(root, path, 0, access, key);
}
inline LSTATUS RegCreateKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return TV_AW(RegCreateKeyEx)(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}
inline LSTATUS RegQueryValueExT(HKEY key, const tchar* name, DWORD* type, void* data, DWORD* bytes) {
  return TV_AW(RegQueryValueEx)(key, name, nullptr, type, static_cast<BYTE*>(data), bytes);
}
inline LSTATUS RegSetValueExT(HKEY key, const tchar* name, DWORD type, const void* data, DWORD bytes) {
  return TV_AW(RegSetValueEx)(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}
inline LSTATUS RegDeleteValueT(HKEY key, const tchar* name) { return TV_AW(RegDeleteValue)(key, name); }
inline BOOL SetEnvironmentVariableT(const tchar* name, const tchar* value) {
  return TV_AW(SetEnvironmentVariable)(name, value);
}
inline DWORD ExpandEnvironmentStringsT(const tchar* text, tchar* out, DWORD size) {
  return TV_AW(ExpandEnvironmentStrings)(text, out, size);
}
inline LRESULT BroadcastEnvironmentChange() {
  DWORD_PTR result;
  return TV_AW(SendMessageTimeout)(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(TV_T("Environment")),
                                   SMTO_BLOCK | SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, 5000, &result);
}

}  // namespace tv
