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

// A zero-filled buffer for one popped argument: string_size + 1 characters, released on every
// way out of the export. A secret one (a password) is wiped when it is released, and so is the
// stack entry it is popped from.
template <class C>
class BasicArg {
 public:
  explicit BasicArg(std::size_t characters, bool secret = false)
      : data_(static_cast<C*>(StackAlloc(characters * sizeof(C)))), capacity_(data_ ? characters : 0),
        secret_(secret) {}
  // string_size + 1 characters: room for any entry's text.
  explicit BasicArg(const BasicFrame<C>& frame, bool secret = false) : BasicArg(frame.TextCapacity() + 1, secret) {}
  ~BasicArg() {
    if (secret_) WipeMemory(data_, capacity_ * sizeof(C));
    StackFree(data_);
  }
  BasicArg(const BasicArg&) = delete;
  BasicArg& operator=(const BasicArg&) = delete;

  C* data() { return data_; }
  const C* c_str() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return data_ == nullptr || data_[0] == C(0); }
  bool secret() const { return secret_; }

 private:
  C* data_;
  std::size_t capacity_;
  bool secret_;
};

// Pops the top entry into a new argument buffer of string_size + 1 characters. False when the
// stack ran out (or no buffer could be had); the argument then stays empty.
template <class C>
bool PopArg(BasicFrame<C>& frame, BasicArg<C>& arg) {
  if (arg.data() == nullptr) return false;
  return frame.popstring(arg.data(), arg.capacity(), arg.secret()) == 0;
}

}  // namespace tv
