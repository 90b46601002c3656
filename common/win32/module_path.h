// The full path of a loaded module (null: the program itself).
#pragma once

#include <windows.h>

#include <string>

namespace wex {

// Empty when the platform cannot tell it (GetLastError says why).
std::wstring ModulePath(HMODULE module);

// True when this process is a 32-bit one on 64-bit Windows, where the
// registry has a second, 64-bit view.
bool RunsUnderWow64();

}  // namespace wex
