// Self-registration of Wexlo.exe (/RegServer, /UnregServer): the ProgIDs, the
// class with its LocalServer32, and the type library with its interfaces.
#pragma once

#include <windows.h>

namespace wex {

// Writes every key; fails on the first step that fails.
HRESULT RegisterServer();
// Removes every key RegisterServer writes; keys already gone are no failure.
HRESULT UnregisterServer();

}  // namespace wex
