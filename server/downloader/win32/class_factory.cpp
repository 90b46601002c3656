#include "server/downloader/win32/class_factory.h"

#include "server/downloader/win32/downloader_object.h"
#include "server/downloader/win32/server_lifetime.h"

namespace wex {

HRESULT DownloaderFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  return S_OK;
}

HRESULT DownloaderFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return DownloaderObject::Create(riid, object);
}

HRESULT DownloaderFactory::LockServer(BOOL lock) {
  if (lock)
    ServerAddRef();
  else
    ServerRelease();
  return S_OK;
}

}  // namespace wex
