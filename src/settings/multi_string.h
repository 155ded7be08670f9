// Building REG_MULTI_SZ data: a list of NUL-terminated strings closed by an empty one. No
// Windows headers: unit-tested natively in both character widths.
#pragma once
#include <cstddef>

#include "frame/buffer.h"
#include "frame/numbers.h"

namespace tv {

enum class RootKey { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kNone };

namespace detail {
template <class C>
bool IsName(const C* text, const char* name) {  // ASCII letters without regard to case
  std::size_t i = 0;
  for (; name[i] != '\0'; ++i) {
    C c = text[i];
    if (c >= C('a') && c <= C('z')) c = C(c - C('a') + C('A'));
    if (c != C(static_cast<unsigned char>(name[i]))) return false;
  }
  return text[i] == C(0);
}
}  // namespace detail

// A root as a number, read with its sign (0 the classes root, 1 the current user, any other number
// the local machine), or as one of the usual names, short or long. Any other text is no root.
template <class C>
RootKey RootOf(const C* text) {
  const C* digits = text[0] == C('-') ? text + 1 : text;
  if (digits[0] >= C('0') && digits[0] <= C('9')) {
    std::int32_t n = myatoi_signed(text);
    return n == 0 ? RootKey::kClassesRoot : n == 1 ? RootKey::kCurrentUser : RootKey::kLocalMachine;
  }
  struct Name {
    const char* shortName;
    const char* longName;
    RootKey root;
  };
  static const Name kNames[] = {{"HKCR", "HKEY_CLASSES_ROOT", RootKey::kClassesRoot},
                                {"HKCU", "HKEY_CURRENT_USER", RootKey::kCurrentUser},
                                {"HKLM", "HKEY_LOCAL_MACHINE", RootKey::kLocalMachine},
                                {"HKU", "HKEY_USERS", RootKey::kUsers}};
  for (const Name& name : kNames)
    if (detail::IsName(text, name.shortName) || detail::IsName(text, name.longName)) return name.root;
  return RootKey::kNone;
}

// True when one of the strings in data (count characters as read, the closing empty string
// included) equals s exactly. A string that runs to the end of the data without its NUL ends
// there.
template <class C>
bool ListHolds(const C* data, std::size_t count, const C* s, std::size_t length) {
  std::size_t offset = 0;
  while (offset < count) {
    std::size_t n = 0;
    while (offset + n < count && data[offset + n] != C(0)) ++n;
    if (n == length) {
      std::size_t i = 0;
      while (i < n && data[offset + i] == s[i]) ++i;
      if (i == n) return true;
    }
    offset += n + 1;
  }
  return false;
}

// *out: the old data with s added as the last string. Whatever the old data ends with (a closed
// list, a lone string such as a REG_SZ value's, a list without its closing empty string, or no
// NUL at all) its strings are closed first, so s never joins the last of them, and the result
// ends with s, its NUL and the closing NUL. The old data's trailing NULs are the list's end, not
// strings. False when there is no memory for the result.
template <class C>
bool AppendToList(const C* data, std::size_t count, const C* s, std::size_t length, Buffer<C>* out) {
  std::size_t end = count;
  while (end > 0 && data[end - 1] == C(0)) --end;
  out->Clear();
  const C nul[2] = {C(0), C(0)};
  return out->Append(data, end) && (end == 0 || out->Push(C(0))) && out->Append(s, length) && out->Append(nul, 2);
}

// *out: a ';'-separated text as list data, every ';' a NUL and two NULs behind. An empty item
// ('a;;b') is kept and so ends the list for its readers. False when there is no memory for it.
template <class C>
bool ListFromText(const C* text, std::size_t length, Buffer<C>* out) {
  out->Clear();
  const C nul[2] = {C(0), C(0)};
  if (!out->Append(text, length) || !out->Append(nul, 2)) return false;
  for (C& c : *out)
    if (c == C(';')) c = C(0);
  return true;
}

}  // namespace tv
