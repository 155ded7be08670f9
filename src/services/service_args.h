// Rewriting of Install's text arguments into the forms the Service Control Manager takes.
// No Windows headers: unit-tested natively.
#pragma once
#include <cstddef>

#include "frame/text.h"

namespace tv {

// Rewrites a ';'-separated list in place into a double-NUL-terminated list: every ';' becomes a
// NUL and one more NUL follows the terminating one. Empty items stay (an empty item ends the list
// for the reader). The buffer holds `capacity` characters; when the text leaves no room for the
// extra NUL its last character gives way, so nothing is written past the buffer.
template <class C>
void ToDependencyList(C* buffer, std::size_t capacity) {
  if (capacity < 2) {
    if (capacity == 1) buffer[0] = C(0);
    return;
  }
  std::size_t length = 0;
  while (length < capacity && buffer[length] != C(0)) ++length;
  if (length + 2 > capacity) length = capacity - 2;
  for (std::size_t i = 0; i < length; ++i)
    if (buffer[i] == C(';')) buffer[i] = C(0);
  buffer[length] = C(0);
  buffer[length + 1] = C(0);
}

// A bare account name (no backslash) is a local account: ".\" and the name. A name with a
// backslash (DOMAIN\user, NT AUTHORITY\LocalService) is copied unchanged. The result must fit in
// `capacity` characters, NUL included; false when it does not, and then `out` is not a usable
// name: a cut name could name some other account, so the caller refuses it instead.
template <class C>
bool QualifyAccount(const C* account, C* out, std::size_t capacity) {
  std::size_t length = Length(account);
  bool bare = !Contains(account, C('\\'));
  std::size_t needed = length + (bare ? 2 : 0) + 1;
  if (capacity == 0 || needed > capacity) return false;
  std::size_t pos = 0;
  if (bare) {
    out[pos++] = C('.');
    out[pos++] = C('\\');
  }
  CopyBounded(out + pos, account, capacity - pos);
  return true;
}

}  // namespace tv
