// The registry and environment calls of the settings exports. The values they edit (a list
// variable, a multi-string list) are read and written in UTF-16 in every build: the ANSI forms
// would carry the items of other programs (a folder named in another script) through the ANSI
// code page and back, and lose them. Only the script's own texts are converted. GetOsVersion
// reads its one value in the width of the build.
#pragma once
#include "frame/plugin.h"

namespace tv {

inline LSTATUS RegOpenKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return TV_AW(RegOpenKeyEx)(root, path, 0, access, key);
}
inline LSTATUS RegQueryValueExT(HKEY key, const tchar* name, DWORD* type, void* data, DWORD* bytes) {
  return TV_AW(RegQueryValueEx)(key, name, nullptr, type, static_cast<BYTE*>(data), bytes);
}
inline LSTATUS CreateKeyW(HKEY root, const wchar_t* path, REGSAM access, HKEY* key) {
  return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}
inline LSTATUS QueryValueW(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* bytes) {
  return RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), bytes);
}
inline LSTATUS SetValueW(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}
inline LRESULT BroadcastEnvironmentChange() {
  DWORD_PTR result;
  return TV_AW(SendMessageTimeout)(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(TV_T("Environment")),
                                   SMTO_BLOCK | SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, 5000, &result);
}

}  // namespace tv
