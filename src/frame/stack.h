// The installer's string stack and the frame state that every export keeps on entry.
// No Windows headers: the operations are unit-tested natively with sanitizers.
#pragma once
#include <cstddef>
#include <cstdint>

#include "memory.h"
#include "numbers.h"
#include "text.h"

namespace tv {

// One stack entry: a single block of sizeof(entry) + string_size characters.
template <class C>
struct BasicStackEntry {
  BasicStackEntry* next;
  C text[1];
};

template <class C>
std::size_t EntryBytes(int string_size) {
  return sizeof(BasicStackEntry<C>) + static_cast<std::size_t>(string_size > 0 ? string_size : 0) * sizeof(C);
}

// The values of the call that last entered a module. Every module keeps its own; the stack
// operations work on the frame they are called on.
template <class C>
struct BasicFrame {
  using Entry = BasicStackEntry<C>;

  void* hwndParent = nullptr;
  int string_size = 0;
  C* variables = nullptr;
  Entry** stacktop = nullptr;
  void* extra = nullptr;

  void Keep(void* hwnd, int size, C* vars, Entry** top, void* extraParameters) {
    hwndParent = hwnd;
    string_size = size;
    variables = vars;
    stacktop = top;
    extra = extraParameters;
  }

  bool HasEntries() const { return stacktop != nullptr && *stacktop != nullptr; }

  // The number of entries on the stack.
  std::size_t Depth() const {
    std::size_t depth = 0;
    for (const Entry* e = stacktop != nullptr ? *stacktop : nullptr; e != nullptr; e = e->next) ++depth;
    return depth;
  }

  // Characters an entry's text holds, NUL included (never less than 1).
  std::size_t TextCapacity() const { return string_size > 1 ? static_cast<std::size_t>(string_size) : 1; }

  // Takes the top entry into dest (at most capacity - 1 characters and a NUL): 0 when a string
  // was taken, 1 when the stack was empty, in which case dest is untouched. With `wipe` the
  // entry's text is overwritten before the entry is freed (a password). Out of line, as is
  // clearstack: every export calls them, and a copy inlined into each was larger than the calls.
  [[gnu::noinline]] int popstring(C* dest, std::size_t capacity, bool wipe = false) {
    if (!HasEntries()) return 1;
    Entry* top = *stacktop;
    std::size_t bound = capacity < TextCapacity() ? capacity : TextCapacity();
    CopyBounded(dest, top->text, bound);
    *stacktop = top->next;
    Free(top, wipe);
    return 0;
  }

  [[gnu::noinline]] void pushstring(const C* s) {
    Entry* entry = NewEntry();
    if (entry == nullptr) return;
    CopyBounded(entry->text, s, TextCapacity());
    Link(entry);
  }

  // Pushes a plain ASCII text (the result words, fixed numbers) in the stack's width.
  [[gnu::noinline]] void pushword(const char* ascii) {
    Entry* entry = NewEntry();
    if (entry == nullptr) return;
    CopyAscii(entry->text, ascii, TextCapacity());
    Link(entry);
  }

  void pushint(std::int32_t value) {
    C text[kIntTextSize];
    FormatInt(value, text);
    pushstring(text);
  }

  // Pops a number in the signed form; at most 127 characters are read. 0 when the stack is empty.
  std::int32_t popint() {
    C buffer[128] = {};
    if (popstring(buffer, 128) != 0) return 0;
    return myatoi_signed(buffer);
  }

  // With `wipe` every entry's text is overwritten before it is freed.
  [[gnu::noinline]] void clearstack(bool wipe = false) {
    if (stacktop == nullptr) return;
    while (*stacktop != nullptr) {
      Entry* top = *stacktop;
      *stacktop = top->next;
      Free(top, wipe);
    }
  }

 private:
  void Free(Entry* entry, bool wipe) const {
    if (wipe) WipeMemory(entry->text, TextCapacity() * sizeof(C));
    StackFree(entry);
  }

  // Null when there is no stack to push onto or no memory for the entry; the push is then
  // skipped, since the installer offers no way to report it.
  Entry* NewEntry() const {
    if (stacktop == nullptr) return nullptr;
    return static_cast<Entry*>(StackAlloc(EntryBytes<C>(string_size)));
  }

  void Link(Entry* entry) {
    entry->next = *stacktop;
    *stacktop = entry;
  }
};

// The script's entries as they lay before a script function was called, so that afterwards the
// plug-in takes off what the function left and nothing of the script's. Entries are known by
// their place counted from the bottom and a fingerprint of their text, never by their address:
// a function may move the script's entries aside and push them back (new blocks, same texts),
// and a block that was freed may come back as another entry at the same address.
template <class C>
class BasicStackMark {
 public:
  explicit BasicStackMark(const BasicFrame<C>& frame) : depth_(frame.Depth()) {
    if (depth_ == 0) return;
    prints_ = static_cast<std::uint32_t*>(StackAlloc(depth_ * sizeof(std::uint32_t)));
    if (prints_ == nullptr) return;
    std::size_t fromBottom = depth_;
    for (const auto* e = *frame.stacktop; e != nullptr; e = e->next) prints_[--fromBottom] = Print(frame, e);
  }
  ~BasicStackMark() { StackFree(prints_); }
  BasicStackMark(const BasicStackMark&) = delete;
  BasicStackMark& operator=(const BasicStackMark&) = delete;

  // How many of the marked entries still lie in place, from the bottom up to the first that is
  // gone or holds another text (a function that emptied the stack, or popped below what it was
  // given, leaves fewer). Everything above them is the function's. Without the fingerprints (no
  // memory for them) entries are counted only.
  std::size_t Kept(const BasicFrame<C>& frame) const {
    std::size_t depth = frame.Depth();
    std::size_t kept = depth < depth_ ? depth : depth_;
    if (prints_ == nullptr) return kept;
    std::size_t fromBottom = depth;
    for (const auto* e = depth > 0 ? *frame.stacktop : nullptr; e != nullptr; e = e->next)
      if (--fromBottom < kept && Print(frame, e) != prints_[fromBottom]) kept = fromBottom;
    return kept;
  }

 private:
  // FNV-1a over the entry's text.
  static std::uint32_t Print(const BasicFrame<C>& frame, const BasicStackEntry<C>* e) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < frame.TextCapacity() && e->text[i] != C(0); ++i)
      hash = (hash ^ static_cast<std::uint32_t>(e->text[i])) * 16777619u;
    return hash;
  }

  std::size_t depth_;
  std::uint32_t* prints_ = nullptr;
};

// A zero-filled buffer for one popped argument: string_size + 1 characters, released on every
// way out of the export.
template <class C>
class BasicArg {
 public:
  explicit BasicArg(std::size_t characters)
      : data_(static_cast<C*>(StackAlloc(characters * sizeof(C)))), capacity_(data_ ? characters : 0) {}
  // string_size + 1 characters: room for any entry's text.
  explicit BasicArg(const BasicFrame<C>& frame) : BasicArg(frame.TextCapacity() + 1) {}
  ~BasicArg() { StackFree(data_); }
  BasicArg(const BasicArg&) = delete;
  BasicArg& operator=(const BasicArg&) = delete;

  C* data() { return data_; }
  const C* c_str() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return data_ == nullptr || data_[0] == C(0); }

 private:
  C* data_;
  std::size_t capacity_;
};

// An argument that holds a secret (a password): wiped before it is released, and popped with
// PopSecret, which wipes the stack entry it came from.
template <class C>
class BasicSecretArg : public BasicArg<C> {
 public:
  explicit BasicSecretArg(const BasicFrame<C>& frame) : BasicArg<C>(frame) {}
  ~BasicSecretArg() { WipeMemory(this->data(), this->capacity() * sizeof(C)); }
};

// Pops the top entry into a new argument buffer of string_size + 1 characters. False when the
// stack ran out (or no buffer could be had); the argument then stays empty.
template <class C>
bool PopArg(BasicFrame<C>& frame, BasicArg<C>& arg) {
  if (arg.data() == nullptr) return false;
  return frame.popstring(arg.data(), arg.capacity()) == 0;
}

template <class C>
bool PopSecret(BasicFrame<C>& frame, BasicSecretArg<C>& arg) {
  if (arg.data() == nullptr) return false;
  return frame.popstring(arg.data(), arg.capacity(), true) == 0;
}

}  // namespace tv
