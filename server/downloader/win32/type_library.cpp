#include "server/downloader/win32/type_library.h"

#include "common/win32/type_info_cache.h"

namespace wex {
namespace {

// The program's own library (module null), released before CoUninitialize.
TypeInfoCache& ServerTypes() {
  static TypeInfoCache cache;
  return cache;
}

}  // namespace

HRESULT ServerTypeLib(ITypeLib** result) { return ServerTypes().Library(nullptr, result); }

HRESULT ServerTypeInfo(REFGUID guid, ITypeInfo** result) {
  return ServerTypes().TypeInfo(nullptr, guid, result);
}

void ReleaseServerTypeLib() { ServerTypes().Clear(); }

}  // namespace wex
