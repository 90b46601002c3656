// An open registry key, closed exactly once.
#pragma once

#include <windows.h>

#include "common/win32/unique_resource.h"

namespace wex {

struct RegistryKeyTraits {
  using Type = HKEY;
  static HKEY None() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};
using RegistryKey = UniqueResource<RegistryKeyTraits>;

}  // namespace wex
