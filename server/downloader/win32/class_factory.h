// The class object of Downloader, registered with REGCLS_SINGLEUSE by the
// server's main thread. It is a static object: only LockServer counts
// towards the life of the process.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace wex {

class DownloaderFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

}  // namespace wex
