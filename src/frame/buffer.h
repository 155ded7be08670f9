// Growable arrays and texts that own their memory. The plug-in carries no C++ library
// containers: these come from StackAlloc (memory.h), and a failed allocation is an answer of
// false, never an exception, so every export can report it as its own failure. No Windows
// headers: unit-tested natively with sanitizers.
#pragma once
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "memory.h"
#include "text.h"

namespace tv {

namespace detail {

// What every Buffer does, in bytes and counts of `width`-byte values: written once for all the
// element types, so that the DLL carries one copy of the growth code and not one per type.
struct RawBuffer {
  void* data = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;

  static std::size_t MaxCount(std::size_t width) { return static_cast<std::size_t>(-1) / 2 / width; }
  unsigned char* At(std::size_t index, std::size_t width) const {
    return static_cast<unsigned char*>(data) + index * width;
  }

  bool Reserve(std::size_t count, std::size_t width) {
    if (count <= capacity) return true;
    const std::size_t maxCount = MaxCount(width);
    if (count > maxCount) return false;
    // Doubling keeps a run of appends linear; the first block takes a few values at once.
    std::size_t grown = capacity < maxCount / 2 ? capacity * 2 : maxCount;
    if (grown < 8) grown = 8 < maxCount ? 8 : maxCount;
    if (grown < count) grown = count;
    void* block = StackAlloc(grown * width);
    if (block == nullptr) {
      if (grown == count) return false;
      grown = count;  // the doubled block may be what failed: try the exact size
      block = StackAlloc(grown * width);
      if (block == nullptr) return false;
    }
    if (size != 0) std::memcpy(block, data, size * width);
    StackFree(data);
    data = block;
    capacity = grown;
    return true;
  }

  bool Resize(std::size_t count, std::size_t width) {
    if (count > size) {
      if (!Reserve(count, width)) return false;
      std::memset(At(size, width), 0, (count - size) * width);
    }
    size = count;
    return true;
  }

  bool Append(const void* items, std::size_t count, std::size_t width) {
    if (count == 0) return true;
    if (count > MaxCount(width) - size) return false;
    if (size + count > capacity) {
      // The old block stays alive until the copy below when items lie in it: grow a copy.
      RawBuffer grown;
      if (!grown.Reserve(size + count < capacity * 2 ? capacity * 2 : size + count, width) &&
          !grown.Reserve(size + count, width))
        return false;
      if (size != 0) std::memcpy(grown.data, data, size * width);
      std::memcpy(grown.At(size, width), items, count * width);
      StackFree(data);
      data = grown.data;
      size += count;
      capacity = grown.capacity;
      return true;
    }
    std::memmove(At(size, width), items, count * width);
    size += count;
    return true;
  }

  void Erase(std::size_t start, std::size_t count, std::size_t width) {
    if (start >= size) return;
    if (count > size - start) count = size - start;
    std::memmove(At(start, width), At(start + count, width), (size - start - count) * width);
    size -= count;
  }
};

}  // namespace detail

// An array of plain values (characters, bytes, the system's structures), copied as bytes.
// A call that must allocate and cannot leaves the buffer as it was and answers false.
template <class T>
class Buffer {
  static_assert(std::is_trivially_copyable<T>::value, "Buffer holds plain values only");

 public:
  Buffer() = default;
  ~Buffer() { StackFree(raw_.data); }
  Buffer(Buffer&& other) noexcept : raw_(other.raw_) { other.raw_ = detail::RawBuffer(); }
  Buffer& operator=(Buffer&& other) noexcept {
    if (this != &other) {
      StackFree(raw_.data);
      raw_ = other.raw_;
      other.raw_ = detail::RawBuffer();
    }
    return *this;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  // Null until something was allocated.
  T* data() { return static_cast<T*>(raw_.data); }
  const T* data() const { return static_cast<const T*>(raw_.data); }
  std::size_t size() const { return raw_.size; }
  std::size_t capacity() const { return raw_.capacity; }
  bool empty() const { return raw_.size == 0; }
  // Unchecked, like an array's.
  T& operator[](std::size_t i) { return data()[i]; }
  const T& operator[](std::size_t i) const { return data()[i]; }
  T* begin() { return data(); }
  T* end() { return data() + size(); }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size(); }

  // Room for at least `count` values without a further allocation.
  bool Reserve(std::size_t count) { return raw_.Reserve(count, sizeof(T)); }
  // New values are zero; a smaller count drops the values behind it.
  bool Resize(std::size_t count) { return raw_.Resize(count, sizeof(T)); }
  // `items` may point into this buffer.
  bool Append(const T* items, std::size_t count) { return raw_.Append(items, count, sizeof(T)); }
  bool Push(const T& item) {
    T copy = item;  // item may lie in this buffer
    return Append(&copy, 1);
  }
  // Removes `count` values from `start` on (both clipped to the size).
  void Erase(std::size_t start, std::size_t count) { raw_.Erase(start, count, sizeof(T)); }
  void Clear() { raw_.size = 0; }
  // Overwrites every value the block holds room for (a password), leaving the buffer empty.
  void Wipe() {
    WipeMemory(raw_.data, raw_.capacity * sizeof(T));
    raw_.size = 0;
  }

  // Hands the block to the caller, who frees it with StackFree; the buffer is left empty.
  T* Release() {
    T* block = data();
    raw_ = detail::RawBuffer();
    return block;
  }

 private:
  detail::RawBuffer raw_;
};

// A text of characters C, always closed by a NUL behind its characters once anything was stored.
// A call that must allocate and cannot leaves the text as it was and answers false.
template <class C>
class BasicText {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // The characters and their NUL; an empty text's is a NUL of its own.
  const C* c_str() const { return chars_.empty() ? &kNul : chars_.data(); }
  // Writable characters and their NUL: null until something was stored (an empty text stored
  // has its NUL).
  C* data() { return chars_.data(); }
  std::size_t size() const { return chars_.empty() ? 0 : chars_.size() - 1; }
  bool empty() const { return size() == 0; }
  C operator[](std::size_t i) const { return c_str()[i]; }

  bool Assign(const C* s, std::size_t length) {
    if (length > kMaxLength) return false;
    if (chars_.data() != nullptr && s >= chars_.data() && s < chars_.data() + chars_.size()) {
      BasicText copy;  // s lies in this text
      if (!copy.Assign(s, length)) return false;
      *this = static_cast<BasicText&&>(copy);
      return true;
    }
    if (!chars_.Reserve(length + 1)) return false;
    chars_.Clear();
    chars_.Append(s, length);
    chars_.Push(C(0));
    return true;
  }
  bool Assign(const C* s) { return Assign(s, Length(s)); }
  bool Assign(const BasicText& other) { return Assign(other.c_str(), other.size()); }

  bool Append(const C* s, std::size_t length) {
    std::size_t old = size();
    if (length > kMaxLength - old) return false;
    // Copied before any growth, so that s may lie in this text.
    if (chars_.data() != nullptr && s >= chars_.data() && s < chars_.data() + chars_.size()) {
      BasicText joined;
      if (!joined.chars_.Reserve(old + length + 1) || !joined.Assign(c_str(), old) ||
          !joined.Append(s, length))
        return false;
      *this = static_cast<BasicText&&>(joined);
      return true;
    }
    if (!chars_.Reserve(old + length + 1)) return false;
    chars_.Resize(old);  // drops the NUL (or, in a text never stored, is a no-op)
    chars_.Append(s, length);
    chars_.Push(C(0));
    return true;
  }
  bool Append(const C* s) { return Append(s, Length(s)); }
  bool Append(C c) { return Append(&c, 1); }

  // The text made `length` characters long: cut, or lengthened with NULs.
  bool Resize(std::size_t length) {
    if (length > kMaxLength) return false;
    if (!chars_.Reserve(length + 1)) return false;
    chars_.Resize(size());
    chars_.Resize(length + 1);
    chars_[length] = C(0);
    return true;
  }

  // The first `ch` at or behind `from`, or npos.
  std::size_t Find(C ch, std::size_t from = 0) const {
    const C* s = c_str();
    for (std::size_t i = from; i < size(); ++i)
      if (s[i] == ch) return i;
    return npos;
  }

  // Removes `count` characters from `start` on (both clipped to the text).
  void Erase(std::size_t start, std::size_t count = npos) {
    std::size_t n = size();
    if (start >= n) return;
    if (count > n - start) count = n - start;
    chars_.Erase(start, count);
  }
  void Clear() { Erase(0); }
  // Overwrites the text's whole block and empties it. Only the block it holds now: a text that
  // grew left its earlier blocks unwiped, so a secret is stored in one step (Assign, Resize).
  void Wipe() { chars_.Wipe(); }

 private:
  static constexpr C kNul = C(0);
  static constexpr std::size_t kMaxLength = static_cast<std::size_t>(-1) / 4;

  Buffer<C> chars_;
};

}  // namespace tv
