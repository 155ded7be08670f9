// Small owners for the system's handles and blocks, so that every way out of a call closes
// what the call opened.
#pragma once
#include <windows.h>

#include <utility>

namespace tv {

// Owns a value of type T that Close releases; Invalid is the value that means "nothing".
template <class T, class Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : value_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    T old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // For APIs that return the value through an out pointer.
  T* out() {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::Invalid();
};

struct ServiceHandleTraits {
  static SC_HANDLE Invalid() { return nullptr; }
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
using ServiceHandle = Owned<SC_HANDLE, ServiceHandleTraits>;

struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using KernelHandle = Owned<HANDLE, KernelHandleTraits>;

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
using RegKey = Owned<HKEY, RegKeyTraits>;

struct GlobalBlockTraits {
  static HGLOBAL Invalid() { return nullptr; }
  static void Close(HGLOBAL h) { GlobalFree(h); }
};
using GlobalBlock = Owned<HGLOBAL, GlobalBlockTraits>;

struct ProcessHeapTraits {
  static void* Invalid() { return nullptr; }
  static void Close(void* p) { HeapFree(GetProcessHeap(), 0, p); }
};
// A block of the process heap.
using HeapBlock = Owned<void*, ProcessHeapTraits>;

// The process's token with the access asked for, or nothing: what OpenProcessToken leaves in its
// out value when it fails is not a handle to close.
inline KernelHandle OpenToken(HANDLE process, DWORD access) {
  HANDLE token = nullptr;
  return OpenProcessToken(process, access, &token) ? KernelHandle(token) : KernelHandle();
}

// Holds a critical section for the length of a scope.
class Locked {
 public:
  explicit Locked(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Locked() { LeaveCriticalSection(&section_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

}  // namespace tv
