#include "server/engine/win32/system_library.h"

#include <string>

namespace wex {

SystemLibrary::SystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::wstring path = std::wstring(folder, n) + L"\\" + name;
  module_ = LoadLibraryW(path.c_str());
}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

}  // namespace wex
