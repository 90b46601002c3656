// The type library a module carries as its resource TYPELIB 1, and the type
// information IDispatch needs from it. Each object keeps what it loaded, so a
// call does not look anything up again.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace wex {

// The module's own library (null: the program), whether or not it is
// registered. A new reference.
HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** result);

// The type info of the type guid of library; for a dual interface its
// interface (vtable) half, which is what DispInvoke needs. A new reference.
HRESULT InvokableTypeInfo(ITypeLib* library, REFGUID guid, ITypeInfo** result);

}  // namespace wex
