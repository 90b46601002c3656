#include "server/downloader/com/type_library.h"

#include <windows.h>

#include <string>

#include "server/downloader/com/com_ptr.h"

namespace wex {
namespace {

// Loaded on first use on the server's one thread; released before CoUninitialize.
ComPtr<ITypeLib> cachedLibrary;

}  // namespace

std::wstring ServerModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT ServerTypeLib(ITypeLib** result) {
  *result = nullptr;
  if (!cachedLibrary) {
    std::wstring path = ServerModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, cachedLibrary.Put());
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
  ComPtr<ITypeInfo> info;
  hr = library->GetTypeInfoOfGuid(guid, info.Put());
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
    hr = info->GetRefTypeInfo(ref, vtable.Put());
    if (FAILED(hr)) return hr;
    info = vtable;
  }
  *result = info.Detach();
  return S_OK;
}

void ReleaseServerTypeLib() { cachedLibrary.Reset(); }

}  // namespace wex
