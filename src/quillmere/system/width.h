// The Win32 calls of the Quillmere module in the width of the build (A in x86-ansi, W in the
// Unicode variants), and the conversions of native UTF-16 names into the stack's text.
#pragma once
#include <windows.h>

#include <shellapi.h>

#include "frame/plugin.h"


namespace tv {

inline int GetWindowTextT(HWND w, tchar* t, int n) { return TV_AW(GetWindowText)(w, t, n); }
inline DWORD QueryDosDeviceT(const tchar* d, tchar* t, DWORD n) { return TV_AW(QueryDosDevice)(d, t, n); }
inline DWORD GetFileVersionInfoSizeT(const tchar* p, DWORD* h) { return TV_AW(GetFileVersionInfoSize)(p, h); }
inline BOOL GetFileVersionInfoT(const tchar* p, DWORD n, void* b) { return TV_AW(GetFileVersionInfo)(p, 0, n, b); }
inline BOOL VerQueryValueT(void* b, const tchar* q, void** v, UINT* n) { return TV_AW(VerQueryValue)(b, q, v, n); }
inline int TextCompareNoCase(const tchar* a, const tchar* b) { return TV_AW(lstrcmpi)(a, b); }
inline void LowerText(tchar* t) { TV_AW(CharLower)(t); }
inline void FormatProcessId(tchar* out, DWORD id) { TV_AW(wsprintf)(out, TV_T("Process ID: %u"), id); }
inline void FormatUnsigned(tchar* out, DWORD value) { TV_AW(wsprintf)(out, TV_T("%u"), value); }
inline void FormatDescriptionQuery(tchar* out, WORD language, WORD codePage) {
  TV_AW(wsprintf)(out, TV_T("\\StringFileInfo\\%04x%04x\\FileDescription"), language, codePage);
}
// True when the text is the ASCII word (at most 15 characters), in any case: the switches and
// answer words of scripts.
inline bool IsWord(const tchar* text, const char* word) {
  tchar w[16];
  CopyAscii(w, word, 16);
  return TextCompareNoCase(text, w) == 0;
}
inline HANDLE CreateFileT(const tchar* p, DWORD access, DWORD share, DWORD disposition) {
  return TV_AW(CreateFile)(p, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
inline DWORD GetModuleFileNameT(HMODULE m, tchar* t, DWORD n) { return TV_AW(GetModuleFileName)(m, t, n); }

// An icon at the system's small-icon size (the lists' images), from a module's resources or, with
// LR_LOADFROMFILE, from an icon file; null when there is none.
inline HICON SmallIcon(HINSTANCE module, const tchar* name, UINT flags) {
  return static_cast<HICON>(TV_AW(LoadImage)(module, name, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), flags));
}

// The full path of a file in the system folder, its name given with the backslash before it (at
// most 15 characters in all): System32, or SysWOW64 for a 32-bit process while redirection is on.
// False when the folder's path does not fit MAX_PATH.
inline bool SystemFilePath(const tchar* name, tchar (&path)[MAX_PATH + 16]) {
  UINT length = TV_AW(GetSystemDirectory)(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  TV_AW(lstrcat)(path, name);
  return true;
}

// Copies a counted UTF-16 name into the stack's width, NUL-terminated within capacity
// characters: as it is in the Unicode variants, in the ANSI code page in x86-ansi, as
// every other name of that build is (characters the code page lacks become '?').
inline void FromNative(const wchar_t* text, int length, tchar* out, int capacity) {
  if (capacity <= 0) return;
#ifdef TARVOLK_UNICODE
  int n = length < capacity - 1 ? length : capacity - 1;
  for (int i = 0; i < n; ++i) out[i] = text[i];
  out[n] = 0;
#else
  int n = length > 0 ? WideCharToMultiByte(CP_ACP, 0, text, length, out, capacity - 1, nullptr, nullptr) : 0;
  if (n == 0 && length > 0) {
    // Too long for the buffer: cut it at a character boundary that fits.
    int take = length;
    while (take > 0 && n == 0) {
      take = take * 3 / 4;
      n = WideCharToMultiByte(CP_ACP, 0, text, take, out, capacity - 1, nullptr, nullptr);
    }
  }
  out[n] = 0;
#endif
}

}  // namespace tv
