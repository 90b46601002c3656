// The type information of a module's own type library, loaded once per
// interface for the process: IDispatch needs it on every call, and finding
// it costs several calls into the library. Objects of any apartment may ask
// at once, so the cache is locked.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <utility>
#include <vector>

#include "common/win32/com_ptr.h"

namespace wex {

class TypeInfoCache {
 public:
  TypeInfoCache() = default;
  TypeInfoCache(const TypeInfoCache&) = delete;
  TypeInfoCache& operator=(const TypeInfoCache&) = delete;

  // The library of module (null: the program). A new reference.
  HRESULT Library(HMODULE module, ITypeLib** result);
  // The invokable type info of the library's type guid (for a dual interface
  // its vtable half, which DispInvoke needs). A new reference.
  HRESULT TypeInfo(HMODULE module, REFGUID guid, ITypeInfo** result);
  // Releases everything, before the thread leaves COM or the module unloads.
  void Clear();

 private:
  HRESULT LibraryLocked(HMODULE module);

  SRWLOCK lock_ = SRWLOCK_INIT;
  ComPtr<ITypeLib> library_;
  std::vector<std::pair<GUID, ComPtr<ITypeInfo>>> infos_;
};

}  // namespace wex
