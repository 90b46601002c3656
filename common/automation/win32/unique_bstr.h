// Owns one BSTR from its allocation to its SysFreeString.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <utility>

#include "common/ustring.h"

namespace wex {

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR owned) : bstr_(owned) {}
  UniqueBstr(UniqueBstr&& other) noexcept : bstr_(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { SysFreeString(bstr_); }

  // A copy of the text (an empty BSTR for empty text); null when out of memory.
  static UniqueBstr FromText(ustring_view text) {
    return UniqueBstr(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                        static_cast<UINT>(text.size())));
  }

  BSTR get() const { return bstr_; }
  explicit operator bool() const { return bstr_ != nullptr; }
  BSTR release() { return std::exchange(bstr_, nullptr); }
  void reset(BSTR owned = nullptr) { SysFreeString(std::exchange(bstr_, owned)); }
  // For out parameters: frees the current string and hands out the slot.
  BSTR* put() {
    reset();
    return &bstr_;
  }

 private:
  BSTR bstr_ = nullptr;
};

// The counted text of a BSTR; a null BSTR is the empty string.
inline ustring BstrText(BSTR bstr) {
  if (bstr == nullptr) return ustring();
  return ustring(reinterpret_cast<const char16_t*>(bstr), SysStringLen(bstr));
}

}  // namespace wex
