// Self-registration: the ProgID, the class with its in-process server and
// apartment threading, and the type library (which brings the interface).
#pragma once

#include <windows.h>

namespace wex {

HRESULT RegisterServer();
// Removes everything RegisterServer wrote; what is already gone is no error.
HRESULT UnregisterServer();

}  // namespace wex
