// Owners for COM references and COM strings, so that every way out of a call releases what
// the call obtained. No COM initialisation happens here: callers work in whatever apartment
// their thread already has.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace tv {

namespace detail {
// Releases a reference, if there is one: one function for every interface type.
[[gnu::noinline]] inline void ReleaseReference(IUnknown* p) {
  if (p != nullptr) p->Release();
}
}  // namespace detail

// One counted reference to an interface; Release on reset and at the end of life.
template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() { detail::ReleaseReference(std::exchange(p_, nullptr)); }
  // For calls that hand out a new reference through an I** parameter.
  I** out() {
    reset();
    return &p_;
  }
  void** out_void() { return reinterpret_cast<void**>(out()); }

 private:
  I* p_ = nullptr;
};

// A BSTR made from a wide string; freed with SysFreeString.
class ComString {
 public:
  ComString() = default;
  explicit ComString(const wchar_t* text) : s_(SysAllocString(text)) {}
  ~ComString() { SysFreeString(s_); }
  ComString(ComString&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  ComString& operator=(ComString&& other) noexcept {
    if (this != &other) {
      SysFreeString(s_);
      s_ = std::exchange(other.s_, nullptr);
    }
    return *this;
  }
  ComString(const ComString&) = delete;
  ComString& operator=(const ComString&) = delete;

  BSTR get() const { return s_; }
  // 0 for an empty string and for one that could not be allocated.
  UINT length() const { return SysStringLen(s_); }

 private:
  BSTR s_ = nullptr;
};

}  // namespace tv
