#include "common/win32/type_library.h"

#include <oleauto.h>

#include <string>

#include "common/win32/com_ptr.h"
#include "common/win32/module_path.h"

namespace wex {

HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** result) {
  *result = nullptr;
  std::wstring path = ModulePath(module);
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, result);
}

HRESULT InvokableTypeInfo(ITypeLib* library, REFGUID guid, ITypeInfo** result) {
  *result = nullptr;
  ComPtr<ITypeInfo> info;
  HRESULT hr = library->GetTypeInfoOfGuid(guid, info.put());
  if (FAILED(hr)) return hr;
  TYPEATTR* attr = nullptr;
  hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
  info->ReleaseTypeAttr(attr);
  if (dual) {
    // The vtable half of a dual interface is its implemented type -1.
    HREFTYPE ref = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> vtable;
    hr = info->GetRefTypeInfo(ref, vtable.put());
    if (FAILED(hr)) return hr;
    info = vtable;
  }
  *result = info.release();
  return S_OK;
}

}  // namespace wex
