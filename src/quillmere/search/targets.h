// What a search looks for: the targets that the Add* exports register, kept until the search
// that reads them has ended.
#pragma once
#include "frame/plugin.h"

namespace tv {

enum class TargetKind { file = 0, module = 1, window_class = 2, caption = 3, applications = 4, custom = 5 };

constexpr DWORD kMaxTargets = 128;
// Characters of a target, its NUL included: longer targets are refused, never cut (a cut path
// would be a shorter prefix and match files of other programs).
constexpr DWORD kTargetChars = 260;

// Lowercased texts in the order they were added.
struct TargetList {
  tchar* entries[kMaxTargets];
  DWORD count;
};

// An entry that a script function decides about.
struct CustomTarget {
  int scriptFunction;  // the installer's function index (its address less one), 0 or more
  HICON icon;          // small icon of the entry's row, or null
  tchar* label;        // first column of its row
  tchar* detail;       // second column; also what the function is given when asked
};

struct SearchTargets {
  TargetList files;
  TargetList modules;
  TargetList classes;
  TargetList captions;
  TargetList folders;  // every entry ends in '\'
  CustomTarget custom[kMaxTargets];
  DWORD customCount;
  bool applicationsWanted;
};

// The module's one set of targets.
SearchTargets& Targets();

// Empties every list, icons and texts released; the applications flag stays (the search's end
// clears it).
void ResetSearchTargets();
// ResetSearchTargets, and the service list and the found programs of the last search.
void ResetSearchState();

}  // namespace tv
