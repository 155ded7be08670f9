// Test texts in both character widths: ASCII widened to the width under test, and back.
#pragma once
#include <string>

template <class C>
std::basic_string<C> W(const std::string& s) {
  return std::basic_string<C>(s.begin(), s.end());
}

template <class C>
std::string N(const C* s) {
  std::string out;
  for (; *s; ++s) out += static_cast<char>(*s);
  return out;
}
