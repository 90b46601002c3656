// Self-registration of Wexlo.exe: the ProgIDs, the class with its
// LocalServer32, and the type library with its interfaces, in every registry
// view of the machine, so that 32-bit and 64-bit clients alike can create the
// object and marshal its interfaces.
#pragma once

#include <windows.h>

#include "common/registration/win32/component_registration.h"

namespace wex {

// Machine-wide (/RegServer) or for the current user (/RegServerPerUser).
// All or nothing: on failure every key written is removed again.
RegistrationOutcome RegisterServer(RegistryRoot root);
// Removes every key RegisterServer writes; keys already gone are no failure.
// A class registered to another Wexlo.exe (another copy, in another folder)
// is left whole, which the outcome's otherServer tells.
UnregistrationOutcome UnregisterServer(RegistryRoot root);

}  // namespace wex
