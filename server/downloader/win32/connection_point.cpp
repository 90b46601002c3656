#include "server/downloader/win32/connection_point.h"

#include <new>

namespace wex {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* owner, REFIID events)
    : owner_(owner), events_(events) {}

bool ConnectionPoint::IsAdvised(DWORD cookie) const {
  for (const Sink& sink : sinks_)
    if (sink.first == cookie) return true;
  return false;
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
  *object = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = events_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
  if (cpc == nullptr) return E_POINTER;
  *cpc = ComPtr<IConnectionPointContainer>(owner_).release();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // Events are raised through IDispatch; a sink that answers only IDispatch
  // (as some script hosts' sinks do) is taken as well.
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(events_, dispatch.putVoid())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, dispatch.putVoid())))
    return CONNECT_E_CANNOTCONNECT;
  try {
    sinks_.emplace_back(nextCookie_, dispatch);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->first != cookie) continue;
    // The sink's reference goes after it left the list: its release may
    // call back into the object.
    ComPtr<IDispatch> leaving = std::move(it->second);
    sinks_.erase(it);
    return S_OK;
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return E_NOTIMPL;
}

namespace {

// IEnumConnectionPoints over one point.
class SingleEnum final : public IEnumConnectionPoints {
 public:
  SingleEnum(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IEnumConnectionPoints) return E_NOINTERFACE;
    *object = static_cast<IEnumConnectionPoints*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (points == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
      points[0] = ComPtr<IConnectionPoint>(point_.get()).release();
      position_ = 1;
      n = 1;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count == 0) return S_OK;
    bool had = position_ == 0;
    position_ = 1;
    return had && count == 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** result) override {
    if (result == nullptr) return E_POINTER;
    *result = new (std::nothrow) SingleEnum(point_.get(), position_);
    return *result ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~SingleEnum() = default;
  ULONG refs_ = 1;
  ComPtr<IConnectionPoint> point_;
  ULONG position_;
};

}  // namespace

HRESULT CreateSingleConnectionPointEnum(IConnectionPoint* point, IEnumConnectionPoints** result) {
  if (result == nullptr) return E_POINTER;
  *result = new (std::nothrow) SingleEnum(point, 0);
  return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace wex
