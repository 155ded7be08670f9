// The pure arithmetic and text tests of a search: the wildcard match of window classes and
// captions, and the progress percentage. No Windows headers: unit-tested natively.
#pragma once
#include <cstdint>

namespace tv {

// '*' matches any run of characters (none included), '?' any one character, every other
// character itself (exactly: callers lowercase both sides first). Greedy, backtracking to the
// last '*'. An empty pattern matches only an empty text.
template <class C>
bool WildcardMatch(const C* pattern, const C* text) {
  const C* resume = nullptr;  // pattern just behind the last '*'
  const C* retry = nullptr;   // text position to try that '*' from next
  while (*text != C(0)) {
    if (*pattern == C('*')) {
      ++pattern;
      if (*pattern == C(0)) return true;
      resume = pattern;
      retry = text + 1;
    } else if (*pattern != C(0) && (*pattern == C('?') || *pattern == *text)) {
      ++pattern;
      ++text;
    } else if (resume != nullptr) {
      pattern = resume;
      text = retry++;
    } else {
      return false;
    }
  }
  while (*pattern == C('*')) ++pattern;
  return *pattern == C(0);
}

// The percentage of a search at an item: (position + doneBefore) out of totalItems, in whole
// per cent (truncated). 100 when nothing is to be looked at. It can pass 100 when the system
// gained windows or handles after they were counted. Computed in double precision, so that a
// handle table of a million rows and more still counts from 0 to 100 (a 64-bit integer division
// would bring the compiler's division routines into the 32-bit DLLs, 1 KB). The result is exact:
// the product is below 2^41, and a quotient short of a whole number by 1/totalItems or more is
// never rounded up to it.
inline std::uint32_t SearchPercent(std::uint32_t position, std::uint32_t doneBefore, std::uint32_t totalItems) {
  if (totalItems == 0) return 100;
  double percent = (double(position) + doneBefore) * 100 / totalItems;
  return percent >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(percent);
}

}  // namespace tv
