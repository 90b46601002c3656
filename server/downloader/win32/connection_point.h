// The one connection point of a Downloader, for its event interface
// __Downloader. It lives inside its object and shares the object's reference
// count, so a client holding the connection point holds the object.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

#include "common/win32/com_ptr.h"

namespace wex {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // owner: the containing object, whose IConnectionPointContainer this is.
  ConnectionPoint(IConnectionPointContainer* owner, REFIID events);
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  // The advised sinks at this moment, each with its own reference, so a raise
  // can go on whatever the sinks do to the list meanwhile.
  using Sink = std::pair<DWORD, ComPtr<IDispatch>>;
  std::vector<Sink> Snapshot() const { return sinks_; }
  bool IsAdvised(DWORD cookie) const;
  // Drops every sink (the object is going away).
  void Clear() { sinks_.clear(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }

  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** result) override;

 private:
  IConnectionPointContainer* owner_;
  IID events_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

// Enumerates the one connection point of a container.
HRESULT CreateSingleConnectionPointEnum(IConnectionPoint* point, IEnumConnectionPoints** result);

}  // namespace wex
