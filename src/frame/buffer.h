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

// An array of plain values (characters, bytes, the system's structures), copied as bytes.
// A call that must allocate and cannot leaves the buffer as it was and answers false.
template <class T>
class Buffer {
  static_assert(std::is_trivially_copyable<T>::value, "Buffer holds plain values only");

 public:
  Buffer() = default;
  ~Buffer() { StackFree(data_); }
  Buffer(Buffer&& other) noexcept : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  Buffer& operator=(Buffer&& other) noexcept {
    if (this != &other) {
      StackFree(data_);
      data_ = other.data_;
      size_ = other.size_;
      capacity_ = other.capacity_;
      other.data_ = nullptr;
      other.size_ = other.capacity_ = 0;
    }
    return *this;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  // Null until something was allocated.
  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  // Unchecked, like an array's.
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  // Room for at least `count` values without a further allocation.
  bool Reserve(std::size_t count) {
    if (count <= capacity_) return true;
    if (count > kMaxCount) return false;
    // Doubling keeps a run of appends linear; the first block takes a few values at once.
    std::size_t grown = capacity_ < kMaxCount / 2 ? capacity_ * 2 : kMaxCount;
    if (grown < 8) grown = 8 < kMaxCount ? 8 : kMaxCount;
    if (grown < count) grown = count;
    T* block = static_cast<T*>(StackAlloc(grown * sizeof(T)));
    if (block == nullptr) {
      if (grown == count) return false;
      grown = count;  // the doubled block may be what failed: try the exact size
      block = static_cast<T*>(StackAlloc(grown * sizeof(T)));
      if (block == nullptr) return false;
    }
    if (size_ != 0) std::memcpy(block, data_, size_ * sizeof(T));
    StackFree(data_);
    data_ = block;
    capacity_ = grown;
    return true;
  }

  // New values are zero; a smaller count drops the values behind it.
  bool Resize(std::size_t count) {
    if (count > size_) {
      if (!Reserve(count)) return false;
      std::memset(static_cast<void*>(data_ + size_), 0, (count - size_) * sizeof(T));
    }
    size_ = count;
    return true;
  }

  // `items` may point into this buffer.
  bool Append(const T* items, std::size_t count) {
    if (count == 0) return true;
    if (count > kMaxCount - size_) return false;
    if (size_ + count > capacity_) {
      // The old block stays alive until the copy below when items lie in it: grow a copy.
      Buffer grown;
      if (!grown.Reserve(size_ + count < capacity_ * 2 ? capacity_ * 2 : size_ + count) &&
          !grown.Reserve(size_ + count))
        return false;
      if (size_ != 0) std::memcpy(grown.data_, data_, size_ * sizeof(T));
      std::memcpy(grown.data_ + size_, items, count * sizeof(T));
      grown.size_ = size_ + count;
      *this = static_cast<Buffer&&>(grown);
      return true;
    }
    std::memmove(data_ + size_, items, count * sizeof(T));
    size_ += count;
    return true;
  }
  bool Push(const T& item) {
    T copy = item;  // item may lie in this buffer
    return Append(&copy, 1);
  }

  // Removes `count` values from `start` on (both clipped to the size).
  void Erase(std::size_t start, std::size_t count) {
    if (start >= size_) return;
    if (count > size_ - start) count = size_ - start;
    std::memmove(data_ + start, data_ + start + count, (size_ - start - count) * sizeof(T));
    size_ -= count;
  }
  void Clear() { size_ = 0; }

  // Hands the block to the caller, who frees it with StackFree; the buffer is left empty.
  T* Release() {
    T* block = data_;
    data_ = nullptr;
    size_ = capacity_ = 0;
    return block;
  }

 private:
  static constexpr std::size_t kMaxCount = static_cast<std::size_t>(-1) / 2 / sizeof(T);

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
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

 private:
  static constexpr C kNul = C(0);
  static constexpr std::size_t kMaxLength = static_cast<std::size_t>(-1) / 4;

  Buffer<C> chars_;
};

}  // namespace tv
