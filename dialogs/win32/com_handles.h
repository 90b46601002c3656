// Owners for the COM and registry handles of the library: each one is held
// from the moment it is made and let go exactly once.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <utility>

namespace wex {

// One counted reference to a COM object.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComRef& operator=(const ComRef& other) {
    ComRef copy(other);
    std::swap(p_, copy.p_);
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Where a call that hands out a reference puts it; drops the old one first.
  T** Receive() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// An owned BSTR; null stands for the empty string, as in automation.
class Bstr {
 public:
  Bstr() = default;
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return s_; }
  UINT length() const { return SysStringLen(s_); }
  // Replaces the text by a copy of text; false when out of memory (the old
  // text is kept then).
  bool Assign(const OLECHAR* text, UINT length) {
    BSTR copy = SysAllocStringLen(text, length);
    if (!copy) return false;
    SysFreeString(s_);
    s_ = copy;
    return true;
  }
  BSTR* Receive() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }

 private:
  BSTR s_ = nullptr;
};

// An open registry key.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  HKEY get() const { return key_; }
  HKEY* Receive() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
    return &key_;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace wex
