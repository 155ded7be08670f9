// Test texts in both widths (ASCII widened, and back), and a script's stack in either width.

#pragma once
#include <string>
#include <vector>

#include "frame/stack.h"

template <class C>
std::basic_string<C> W(const std::string& s) {
  std::basic_string<C> out;
  for (unsigned char c : s) out += static_cast<C>(c);  // 0xE9 is é in the ANSI code page and in UTF-16
  return out;
}

template <class C>
std::string N(const C* s) {
  std::string out;
  for (; *s; ++s) out += static_cast<char>(*s);
  return out;
}

// A stack of entries of string_size characters (1024 by default), filled as a script call fills it.
template <class C>
struct Script {
  tv::BasicStackEntry<C>* top = nullptr;
  tv::BasicFrame<C> frame;
  explicit Script(int stringSize = 1024) { frame.Keep(nullptr, stringSize, nullptr, &top, nullptr); }
  ~Script() { frame.clearstack(); }
  // The call form: the first argument written ends on top.
  void Call(const std::vector<std::string>& args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) Push(*it);
  }
  void Push(const std::string& text) { frame.pushstring(W<C>(text).c_str()); }
  std::vector<std::string> Left() const {
    std::vector<std::string> out;
    for (auto* e = top; e; e = e->next) out.push_back(N(e->text));
    return out;
  }
};
