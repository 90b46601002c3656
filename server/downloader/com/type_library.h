// The type library embedded in Wexlo.exe (resource TYPELIB 1), loaded once
// per process: IDispatch of the object, its class info and the registration
// all read it.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

namespace wex {

// Path of the running program, the file that holds the type library.
std::wstring ServerModulePath();

// The library itself (a new reference).
HRESULT ServerTypeLib(ITypeLib** result);

// The type info of a type of the library, by GUID; for a dual interface the
// interface (vtable) half, which is what DispInvoke needs. A new reference.
HRESULT ServerTypeInfo(REFGUID guid, ITypeInfo** result);

// Drops the cached library, before the thread leaves COM.
void ReleaseServerTypeLib();

}  // namespace wex
