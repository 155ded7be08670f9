// The integer parser of script arguments. No Windows headers: unit-tested natively.
#pragma once
#include <cstdint>

namespace tv {

namespace detail {

template <class C>
std::uint32_t ParseDigits(const C* s) {
  std::uint32_t value = 0;
  if (s[0] == C('0') && (s[1] == C('x') || s[1] == C('X'))) {
    for (s += 2;; ++s) {
      std::uint32_t digit;
      if (*s >= C('0') && *s <= C('9')) digit = static_cast<std::uint32_t>(*s - C('0'));
      else if (*s >= C('a') && *s <= C('f')) digit = static_cast<std::uint32_t>(*s - C('a')) + 10;
      else if (*s >= C('A') && *s <= C('F')) digit = static_cast<std::uint32_t>(*s - C('A')) + 10;
      else break;
      value = value * 16 + digit;
    }
  } else if (s[0] == C('0') && s[1] >= C('0') && s[1] <= C('7')) {
    for (++s; *s >= C('0') && *s <= C('7'); ++s)
      value = value * 8 + static_cast<std::uint32_t>(*s - C('0'));
  } else {
    for (; *s >= C('0') && *s <= C('9'); ++s)
      value = value * 10 + static_cast<std::uint32_t>(*s - C('0'));
  }
  return value;  // unsigned arithmetic: overflow wraps, as 32-bit registers do
}

}  // namespace detail

// Decimal, "0x" hexadecimal or leading-zero octal; no sign, no blanks. Stops at the first
// character that does not belong to the number; anything else gives 0.
template <class C>
std::int32_t myatoi(const C* s) {
  return static_cast<std::int32_t>(detail::ParseDigits(s));
}

// As myatoi, but a '-' before a decimal number negates it ("-0x10" is 0: the decimal
// reading of "0" stops at the 'x').
template <class C>
std::int32_t myatoi_signed(const C* s) {
  if (s[0] == C('-')) {
    std::uint32_t magnitude = 0;
    for (++s; *s >= C('0') && *s <= C('9'); ++s)
      magnitude = magnitude * 10 + static_cast<std::uint32_t>(*s - C('0'));
    return static_cast<std::int32_t>(0u - magnitude);
  }
  return myatoi(s);
}

// A script function's address as the installer's GetFunctionAddress gives it: decimal digits
// alone, 1 to 2^31 - 1. Gives the installer's function index (the address less one), or -1 for
// any other text: empty, signed, not a number, followed by other characters, or too large.
template <class C>
std::int32_t FunctionIndexOf(const C* s) {
  if (*s == C(0)) return -1;
  std::uint64_t value = 0;
  for (; *s != C(0); ++s) {
    if (*s < C('0') || *s > C('9')) return -1;
    value = value * 10 + static_cast<std::uint64_t>(*s - C('0'));
    if (value > 0x7FFFFFFFu) return -1;  // checked at every digit: never wraps
  }
  return value == 0 ? -1 : static_cast<std::int32_t>(value - 1);
}

}  // namespace tv
