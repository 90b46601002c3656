// A DLL of the system folder, loaded when first needed rather than at the
// program's start: Wexlo.exe registers its class object sooner when it does
// not load, before that, what only some downloads use (the security package,
// the certificate checks, the connection state).
#pragma once

#include <windows.h>

namespace wex {

class SystemLibrary {
 public:
  // Loads `name` from the system folder only, never from beside the program.
  explicit SystemLibrary(const wchar_t* name);
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // The export `name` as a function of type F, or nullptr.
  template <typename F>
  F Find(const char* name) const {
    return module_ != nullptr
               ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)))
               : nullptr;
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace wex
