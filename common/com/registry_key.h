// An open registry key, closed exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace wex {

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    std::swap(key_, other.key_);
    return *this;
  }
  ~RegistryKey() { Reset(); }

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // For out parameters: closes the current key and hands out the slot.
  HKEY* Put() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (HKEY key = std::exchange(key_, nullptr)) RegCloseKey(key);
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace wex
