// Path tests and rewrites shared by the process engine and the process tools. No Windows
// headers: templates on the character type, unit-tested natively for both widths.
#pragma once
#include <cstddef>

#include "frame/numbers.h"
#include "frame/text.h"

namespace tv {

// True when the shorter string is the tail of the longer one (byte-exact); false when either is
// empty. Callers lowercase first where case must not matter.
template <class C>
bool PathEndsWith(const C* a, const C* b) {
  std::size_t na = Length(a), nb = Length(b);
  if (na == 0 || nb == 0) return false;
  while (na > 0 && nb > 0)
    if (a[--na] != b[--nb]) return false;
  return true;
}

// True when both strings have the same characters, compared one by one (no collation: lstrcmp
// calls strings equal that differ in characters it ignores, such as a soft hyphen).
template <class C>
bool SameText(const C* a, const C* b) {
  std::size_t i = 0;
  while (a[i] == b[i] && a[i] != C(0)) ++i;
  return a[i] == b[i];
}

// True when text begins with every character of prefix; false when either is empty.
template <class C>
bool PathStartsWith(const C* text, const C* prefix) {
  if (text[0] == C(0) || prefix[0] == C(0)) return false;
  for (std::size_t i = 0; prefix[i] != C(0); ++i)
    if (text[i] != prefix[i]) return false;  // also stops at the text's NUL
  return true;
}

// Copies what follows the last '\' of the path (read up to its NUL or maxLength characters)
// into out, at most outSize - 1 characters and a NUL. A path without a backslash is copied whole.
template <class C>
void FileNameFromPath(const C* path, std::size_t maxLength, C* out, std::size_t outSize) {
  std::size_t end = 0;
  while (end < maxLength && path[end] != C(0)) ++end;
  std::size_t start = end;
  while (start > 0 && path[start - 1] != C('\\')) --start;
  if (outSize == 0) return;
  std::size_t n = 0;
  for (; start + n < end && n + 1 < outSize; ++n) out[n] = path[start + n];
  out[n] = C(0);
}

namespace detail {

template <class C>
bool StartsWithAscii(const C* text, const char* prefix) {
  for (std::size_t i = 0; prefix[i] != '\0'; ++i)
    if (text[i] != C(static_cast<unsigned char>(prefix[i]))) return false;
  return true;
}

// Writes letter + ':' + rest into out (which may be the buffer rest lies in, at or after the
// written position). False, with out untouched, when it does not fit.
template <class C>
bool WriteDrivePath(C letter, const C* rest, C* out, std::size_t outSize) {
  std::size_t restLength = Length(rest);
  if (restLength + 3 > outSize) return false;
  out[0] = letter;
  out[1] = C(':');
  for (std::size_t i = 0; i <= restLength; ++i) out[2 + i] = rest[i];  // forward copy: rest lies behind
  return true;
}

}  // namespace detail

// Maps a native path such as \Device\HarddiskVolume3\data\f.txt to its drive-letter form
// C:\data\f.txt. queryTarget(letter, buffer, capacity) fills buffer with the device that the
// drive letter ('A'..'Z') stands for and returns false for a letter without one. Network drives
// (\Device\LanmanRedirector\;Z:<session>\server\share) are compared without their drive and
// session part. A target matches only as a whole path component: it must be followed by '\' or
// the end of the path, so \Device\HarddiskVolume30\x is not on the drive of
// \Device\HarddiskVolume3. A name of the form \??\C:\dir\file (how Wine names open files) is
// already in drive-letter form and comes back without its \??\. The output may be the input
// buffer; it is written only on success, and a result longer than outSize - 1 characters counts
// as no match.
template <class C, class QueryTarget>
bool MapDevicePath(const C* device, C* out, std::size_t outSize, QueryTarget queryTarget) {
  if (detail::StartsWithAscii(device, "\\??\\")) {
    C letter = device[4];
    bool isLetter = (letter >= C('A') && letter <= C('Z')) || (letter >= C('a') && letter <= C('z'));
    if (isLetter && device[5] == C(':')) return detail::WriteDrivePath(letter, device + 6, out, outSize);
  }
  constexpr std::size_t kWork = 1024;
  C target[kWork];
  const char* kRedirector = "\\Device\\LanmanRedirector";  // followed by "\;X:<session>"
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    target[0] = C(0);
    if (!queryTarget(C(letter), target, kWork - 1)) continue;
    target[kWork - 1] = C(0);
    if (detail::StartsWithAscii(target, "\\Device\\LanmanRedirector\\;") && Length(target) > 28 &&
        (target[27] == C(':') || target[28] == C(':'))) {
      std::size_t slash = 28;
      while (target[slash] != C(0) && target[slash] != C('\\')) ++slash;
      std::size_t head = Length(kRedirector);
      std::size_t n = 0;
      while (target[slash + n] != C(0)) {
        target[head + n] = target[slash + n];
        ++n;
      }
      target[head + n] = C(0);
    }
    std::size_t prefix = Length(target);
    if (prefix == 0) continue;
    bool matches = true;
    for (std::size_t i = 0; i < prefix && matches; ++i) matches = device[i] == target[i];
    matches = matches && (device[prefix] == C('\\') || device[prefix] == C(0));
    if (matches) return detail::WriteDrivePath(C(letter), device + prefix, out, outSize);
  }
  return false;
}

// Paths of this many characters or more (MAX_PATH, terminator included) open only in the
// extended "\\?\" form.
constexpr std::size_t kLongPathChars = 260;

// The form in which the system opens a full path of any length: "\\?\" before a drive path,
// "\\?\UNC\" in place of the leading "\\" of a UNC path (\\server\share\...). Paths shorter
// than kLongPathChars, and those already in the "\\?\" or "\\.\" form, stay as they are.
// Returns the length of the form; writes it and a NUL into out (another buffer than fullPath)
// only when outSize holds both.
template <class C>
std::size_t LongPathForm(const C* fullPath, C* out, std::size_t outSize) {
  std::size_t length = Length(fullPath);
  const char* head = "";
  std::size_t skip = 0;
  if (length >= kLongPathChars && !detail::StartsWithAscii(fullPath, "\\\\?\\") &&
      !detail::StartsWithAscii(fullPath, "\\\\.\\")) {
    bool unc = detail::StartsWithAscii(fullPath, "\\\\");
    head = unc ? "\\\\?\\UNC\\" : "\\\\?\\";
    skip = unc ? 2 : 0;
  }
  std::size_t headLength = 0;
  while (head[headLength] != '\0') ++headLength;
  std::size_t total = headLength + length - skip;
  if (total >= outSize) return total;
  for (std::size_t i = 0; i < headLength; ++i) out[i] = C(head[i]);
  for (std::size_t i = skip; i <= length; ++i) out[headLength + i - skip] = fullPath[i];
  return total;
}

// Calls kill(id) for every number of a comma-separated list that parses (signed, as the
// module's number arguments do) to more than 0; other tokens are skipped without a word.
template <class C, class Kill>
void ForEachListedProcessId(const C* list, Kill kill) {
  const C* token = list;
  for (const C* p = list;; ++p) {
    if (*p == C(',') || *p == C(0)) {
      std::int32_t id = myatoi_signed(token);
      if (id > 0) kill(static_cast<std::uint32_t>(id));
      if (*p == C(0)) break;
      token = p + 1;
    }
  }
}

// The program name as FindProcess and CloseProcess match it: a backslash, then the name
// (lowercased by the caller), so that "pad.exe" never matches "notepad.exe". out holds
// outSize characters; the name is cut to fit.
template <class C>
void BuildNameMatch(const C* name, C* out, std::size_t outSize) {
  if (outSize == 0) return;
  if (outSize == 1) {
    out[0] = C(0);
    return;
  }
  out[0] = C('\\');
  CopyBounded(out + 1, name, outSize - 1);
}

}  // namespace tv
