// The registry and environment calls of the settings exports in the width of the build.
#pragma once
#include "frame/plugin.h"

// A literal in the width of the build.
#ifdef TARVOLK_UNICODE
#define TV_TEXT(s) L##s
#else
#define TV_TEXT(s) s
#endif

namespace tv {

#ifdef TARVOLK_UNICODE
inline LSTATUS RegOpenKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return RegOpenKeyExW(root, path, 0, access, key);
}
inline LSTATUS RegCreateKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}
inline LSTATUS RegQueryValueExT(HKEY key, const tchar* name, DWORD* type, void* data, DWORD* bytes) {
  return RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), bytes);
}
inline LSTATUS RegSetValueExT(HKEY key, const tchar* name, DWORD type, const void* data, DWORD bytes) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}
inline LSTATUS RegDeleteValueT(HKEY key, const tchar* name) { return RegDeleteValueW(key, name); }
inline BOOL SetEnvironmentVariableT(const tchar* name, const tchar* value) {
  return SetEnvironmentVariableW(name, value);
}
inline DWORD ExpandEnvironmentStringsT(const tchar* text, tchar* out, DWORD size) {
  return ExpandEnvironmentStringsW(text, out, size);
}
inline LRESULT BroadcastEnvironmentChange() {
  DWORD_PTR result;
  return SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                             SMTO_BLOCK | SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, 5000, &result);
}
#else
inline LSTATUS RegOpenKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, access, key);
}
inline LSTATUS RegCreateKeyExT(HKEY root, const tchar* path, REGSAM access, HKEY* key) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}
inline LSTATUS RegQueryValueExT(HKEY key, const tchar* name, DWORD* type, void* data, DWORD* bytes) {
  return RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(data), bytes);
}
inline LSTATUS RegSetValueExT(HKEY key, const tchar* name, DWORD type, const void* data, DWORD bytes) {
  return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}
inline LSTATUS RegDeleteValueT(HKEY key, const tchar* name) { return RegDeleteValueA(key, name); }
inline BOOL SetEnvironmentVariableT(const tchar* name, const tchar* value) {
  return SetEnvironmentVariableA(name, value);
}
inline DWORD ExpandEnvironmentStringsT(const tchar* text, tchar* out, DWORD size) {
  return ExpandEnvironmentStringsA(text, out, size);
}
inline LRESULT BroadcastEnvironmentChange() {
  DWORD_PTR result;
  return SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                             SMTO_BLOCK | SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, 5000, &result);
}
#endif

}  // namespace tv
