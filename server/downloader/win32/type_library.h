// The type library embedded in Wexlo.exe (resource TYPELIB 1) and the type
// information of its interfaces, each loaded once per process: IDispatch of
// the object and its class info read them.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace wex {

// The library itself (a new reference).
HRESULT ServerTypeLib(ITypeLib** result);

// The type info of a type of the library, by GUID; for a dual interface the
// interface (vtable) half, which is what DispInvoke needs. A new reference.
HRESULT ServerTypeInfo(REFGUID guid, ITypeInfo** result);

// Drops the cached library, before the thread leaves COM.
void ReleaseServerTypeLib();

}  // namespace wex
