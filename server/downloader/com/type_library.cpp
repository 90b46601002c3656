#include "server/downloader/com/type_library.h"

#include <windows.h>

#include "common/com/com_ptr.h"
#include "common/com/type_library.h"

namespace wex {
namespace {

// Loaded on first use on the server's one thread; released before CoUninitialize.
ComPtr<ITypeLib> cachedLibrary;

}  // namespace

HRESULT ServerTypeLib(ITypeLib** result) {
  *result = nullptr;
  if (!cachedLibrary) {
    HRESULT hr = LoadModuleTypeLib(nullptr, cachedLibrary.Put());
    if (FAILED(hr)) return hr;
  }
  *result = ComPtr<ITypeLib>(cachedLibrary).Detach();
  return S_OK;
}

HRESULT ServerTypeInfo(REFGUID guid, ITypeInfo** result) {
  *result = nullptr;
  ComPtr<ITypeLib> library;
  HRESULT hr = ServerTypeLib(library.Put());
  if (FAILED(hr)) return hr;
  return InvokableTypeInfo(library.Get(), guid, result);
}

void ReleaseServerTypeLib() { cachedLibrary.Reset(); }

}  // namespace wex
