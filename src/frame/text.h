// Character-width-neutral text helpers. No Windows headers here: this is unit-tested natively.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

template <class C>
std::size_t Length(const C* s) {
  std::size_t n = 0;
  while (s[n] != C(0)) ++n;
  return n;
}

// Copies at most capacity - 1 characters of src and a NUL (the contract of lstrcpyn).
// Nothing is written when capacity is 0. Returns the number of characters copied.
template <class C>
std::size_t CopyBounded(C* dst, const C* src, std::size_t capacity) {
  if (capacity == 0) return 0;
  std::size_t n = 0;
  while (n + 1 < capacity && src[n] != C(0)) {
    dst[n] = src[n];
    ++n;
  }
  dst[n] = C(0);
  return n;
}

// Widens a plain ASCII text into dst, bounded like CopyBounded.
template <class C>
std::size_t CopyAscii(C* dst, const char* src, std::size_t capacity) {
  if (capacity == 0) return 0;
  std::size_t n = 0;
  while (n + 1 < capacity && src[n] != '\0') {
    dst[n] = C(static_cast<unsigned char>(src[n]));
    ++n;
  }
  dst[n] = C(0);
  return n;
}

template <class C>
bool Contains(const C* s, C ch) {
  for (; *s != C(0); ++s)
    if (*s == ch) return true;
  return false;
}

// Longest text of a 32-bit signed decimal, NUL included: "-2147483648".
constexpr std::size_t kIntTextSize = 12;

// Signed decimal, as wsprintf's "%d" formats it. Kept out of line: its callers lie in several
// files, and a copy inlined into each was larger than the calls.
template <class C>
[[gnu::noinline]] void FormatInt(std::int32_t value, C (&out)[kIntTextSize]) {
  char digits[kIntTextSize];
  std::size_t n = 0;
  // Work in unsigned so that INT32_MIN has a magnitude.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                      : static_cast<std::uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::size_t pos = 0;
  if (value < 0) out[pos++] = C('-');
  while (n > 0) out[pos++] = C(digits[--n]);
  out[pos] = C(0);
}

}  // namespace tv
