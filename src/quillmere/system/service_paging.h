// Paging of the service enumeration and the stop dialog's caption. No Windows headers: the
// loop is unit-tested natively against enumerators that page, fail, or never advance.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/buffer.h"

namespace tv {

enum class PageResult { kDone, kMore, kFailed };

// Fetches pages until the enumerator says it is done, fails, or `maxPages` pages have come back
// (an enumeration whose resume point never moves would otherwise go on for ever). `fetch(bytes,
// append)` asks for one page into a buffer of `bytes` and returns the result and the bytes the
// next page needs; each entry it returns is handed to `append`. Returns false when it stopped on
// a failure or the bound.
template <class Fetch>
bool CollectPages(std::uint32_t firstBytesNeeded, int maxPages, Fetch fetch) {
  std::uint32_t needed = firstBytesNeeded;
  for (int page = 0; needed != 0; ++page) {
    if (page >= maxPages) return false;
    PageResult r = fetch(needed, &needed);
    if (r == PageResult::kDone) return true;
    if (r == PageResult::kFailed) return false;
  }
  return true;
}

// The caption format holds one "%s" for the service name. Only that "%s" and "%%" are read as
// directives; everything else, including further '%' sequences, is copied as written, so a
// caption text from a script can never make the formatter read arguments that are not there.
// False when there is no memory for the caption.
template <class C>
bool FormatStopCaption(const C* format, const C* name, BasicText<C>* out) {
  if (!out->Assign(format, 0)) return false;
  bool nameUsed = false;
  for (const C* p = format; *p != C(0); ++p) {
    bool ok;
    if (*p == C('%') && p[1] == C('%')) {
      ok = out->Append(C('%'));
      ++p;
    } else if (*p == C('%') && p[1] == C('s') && !nameUsed) {
      ok = out->Append(name);
      nameUsed = true;
      ++p;
    } else {
      ok = out->Append(*p);
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace tv
