// What the library knows about itself: its module handle and path, the count
// of live objects and server locks that keeps it loaded, and its type library.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace wex {

void SetModuleInstance(HINSTANCE instance);
HINSTANCE ModuleInstance();

// Every object handed out (the class factory's references included) and every
// LockServer(TRUE) counts once; the library may unload only at zero.
void LockModule();
void UnlockModule();
bool ModuleInUse();

// The description of _Browser's vtable, for DispInvoke, from the type library
// embedded in the library itself, so that IDispatch works whether or not it
// is registered; loaded once for the process.
HRESULT LoadBrowserTypeInfo(ITypeInfo** out);
// Releases it, once no object is left and the library may be unloaded.
void ReleaseBrowserTypeInfo();

}  // namespace wex
