// Editing of ';'-separated list variables (the kind Path is). No Windows headers: unit-tested
// natively in both character widths.
#pragma once
#include <cstddef>

#include "frame/buffer.h"

namespace tv {

// The system keeps an environment variable's text within 32,767 characters, its closing NUL
// included: the process environment calls cut a longer one.
constexpr std::size_t kMaxVariableChars = 32766;

// A name the environment can hold: not empty, no '=' (it separates a name from its text in the
// environment block), and within the limit.
template <class C>
bool IsVariableName(const C* name) {
  std::size_t n = 0;
  for (; name[n] != C(0); ++n)
    if (name[n] == C('=') || n >= kMaxVariableChars) return false;
  return n > 0;
}

// Only the ASCII letters fold; every other character compares exactly, so no code page or
// locale can make two different paths equal.
template <class C>
bool SameItem(const C* a, std::size_t aLength, const C* b, std::size_t bLength) {
  if (aLength != bLength) return false;
  for (std::size_t i = 0; i < aLength; ++i) {
    C x = a[i], y = b[i];
    if (x >= C('A') && x <= C('Z')) x = C(x - C('A') + C('a'));
    if (y >= C('A') && y <= C('Z')) y = C(y - C('A') + C('a'));
    if (x != y) return false;
  }
  return true;
}

// The first item equal to value: its start, or BasicText<C>::npos. *end gets the index just
// behind it.
template <class C>
std::size_t FindItem(const BasicText<C>& list, const BasicText<C>& value, std::size_t* end) {
  std::size_t start = 0;
  for (;;) {
    std::size_t stop = list.Find(C(';'), start);
    if (stop == BasicText<C>::npos) stop = list.size();
    if (SameItem(list.c_str() + start, stop - start, value.c_str(), value.size())) {
      *end = stop;
      return start;
    }
    if (stop == list.size()) return BasicText<C>::npos;
    start = stop + 1;
  }
}

enum class ListEdit {
  kUnchanged,  // nothing to store
  kWrite,      // store the new text
  kDelete,     // the last item went: delete the variable
  kNoMemory,   // the new text could not be made: nothing may be stored
};

// Adds value behind the last item unless an item already equals it. An empty value counts as
// present, so nothing empty is ever appended.
template <class C>
ListEdit AddItem(const BasicText<C>& list, const BasicText<C>& value, BasicText<C>* result) {
  if (!result->Assign(list)) return ListEdit::kNoMemory;
  std::size_t end;
  if (value.empty() || FindItem(list, value, &end) != BasicText<C>::npos) return ListEdit::kUnchanged;
  if (!result->Append(C(';')) || !result->Append(value.c_str(), value.size())) return ListEdit::kNoMemory;
  return ListEdit::kWrite;
}

// Removes the first item equal to value. An empty value removes nothing (the list stays as it
// is, even when it holds an empty item).
template <class C>
ListEdit RemoveItem(const BasicText<C>& list, const BasicText<C>& value, BasicText<C>* result) {
  if (!result->Assign(list)) return ListEdit::kNoMemory;
  if (value.empty()) return ListEdit::kUnchanged;
  std::size_t end;
  std::size_t start = FindItem(list, value, &end);
  if (start == BasicText<C>::npos) return ListEdit::kUnchanged;
  if (start == 0 && end == list.size()) {
    result->Clear();
    return ListEdit::kDelete;
  }
  if (end == list.size())
    result->Erase(start - 1);  // the last of several: cut at the ';' before it
  else
    result->Erase(start, end - start + 1);  // the item and the ';' behind it
  return ListEdit::kWrite;
}

// Each item of `items` (';'-separated, empty ones skipped) in turn, as AddItem or RemoveItem
// would take it: an add appends those the list does not hold yet (the first item of an empty,
// that is absent, list without a ';' before it), a remove takes the first item equal to each.
// A script's value with ';' in it is so a list of items, and what one call adds the same call
// with "rem" removes. A remove that leaves nothing deletes the variable.
template <class C>
ListEdit EditItems(bool add, const BasicText<C>& list, const BasicText<C>& items, BasicText<C>* result) {
  BasicText<C> work, item, next;
  if (!work.Assign(list)) return ListEdit::kNoMemory;
  bool changed = false;
  for (std::size_t start = 0; start <= items.size();) {
    std::size_t stop = items.Find(C(';'), start);
    if (stop == BasicText<C>::npos) stop = items.size();
    if (!item.Assign(items.c_str() + start, stop - start)) return ListEdit::kNoMemory;
    start = stop + 1;
    if (item.empty()) continue;
    ListEdit edit;
    if (add && work.empty()) {
      edit = next.Assign(item) ? ListEdit::kWrite : ListEdit::kNoMemory;
    } else {
      edit = add ? AddItem(work, item, &next) : RemoveItem(work, item, &next);
    }
    if (edit == ListEdit::kNoMemory) return edit;
    if (edit == ListEdit::kUnchanged) continue;
    changed = true;
    work = static_cast<BasicText<C>&&>(next);
  }
  if (!result->Assign(work)) return ListEdit::kNoMemory;
  if (!changed) return ListEdit::kUnchanged;
  return work.empty() ? ListEdit::kDelete : ListEdit::kWrite;
}

// Whether the text names a variable to expand: a '%', a name, and a '%' (as in %SystemRoot%).
template <class C>
bool HoldsReference(const C* text) {
  for (; *text != C(0); ++text) {
    if (*text != C('%')) continue;
    std::size_t n = 1;
    while (text[n] != C(0) && text[n] != C('%')) ++n;
    if (text[n] == C(0)) return false;
    if (n > 1) return true;
    text += n - 1;  // "%%": the second may open a name
  }
  return false;
}

}  // namespace tv
