// Self-registration of Velmora.dll: the ProgID, the class with its in-process
// server and apartment threading, and the type library with its interface,
// in the registry view of the library's own kind (a 32-bit library for 32-bit
// programs, a 64-bit one for 64-bit programs).
#pragma once

#include <windows.h>

#include "common/registration/registration_plan.h"

namespace wex {

// All or nothing: on failure every key written is removed again.
HRESULT RegisterServer(RegistryRoot root);
// Removes everything RegisterServer wrote; what is already gone is no error.
// A class registered to another file is left whole, and that is no error
// either.
HRESULT UnregisterServer(RegistryRoot root);

}  // namespace wex
