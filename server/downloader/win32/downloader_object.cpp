#include "server/downloader/win32/downloader_object.h"

#include "common/win32/unique_excepinfo.h"

#include <new>

#include "common/automation/win32/com_variant_arg.h"
#include "common/win32/unique_variant.h"
#include "common/win32/variant_results.h"
#include "server/downloader/win32/error_info.h"
#include "server/downloader/win32/guarded.h"
#include "server/downloader/win32/server_lifetime.h"
#include "server/downloader/win32/type_library.h"

namespace wex {
namespace {

// The arguments of one raise to one sink: fresh copies of the event's values,
// each passed by reference, in the reverse order DISPPARAMS wants. What the
// handler writes into them is dropped with them.
class EventArguments {
 public:
  static constexpr UINT kMost = 2;

  EventArguments(const VARIANT* values, UINT count) : count_(count) {
    for (UINT i = 0; i < count_; ++i) {
      VariantInit(&copies_[i]);
      VariantCopy(&copies_[i], const_cast<VARIANT*>(&values[count_ - 1 - i]));
      VariantInit(&refs_[i]);
      V_VT(&refs_[i]) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&refs_[i]) = &copies_[i];
    }
  }
  EventArguments(const EventArguments&) = delete;
  EventArguments& operator=(const EventArguments&) = delete;
  ~EventArguments() {
    for (UINT i = 0; i < count_; ++i) VariantClear(&copies_[i]);
  }

  DISPPARAMS Params() { return DISPPARAMS{count_ ? refs_ : nullptr, nullptr, count_, 0}; }

 private:
  UINT count_;
  VARIANT copies_[kMost];
  VARIANT refs_[kMost];
};

// Members that pass an automation error to the caller leave error info.
HRESULT Loud(HRESULT hr) { return ReportAutomationError(hr); }

// The arguments a member writes its message text into, by position.
struct TextArgument {
  DISPID member;
  UINT position;
};
constexpr TextArgument kTextArguments[] = {
    {DISPID_StartUp, 0},      // StartUp(ErrString)
    {DISPID_RequestFile, 1},  // RequestFile(Server, FilePath)
};

// The caller's VARIANT for the argument at `position`, named or positional.
VARIANT* ArgumentAt(DISPPARAMS* params, UINT position) {
  if (params == nullptr || params->rgvarg == nullptr) return nullptr;
  for (UINT i = 0; i < params->cNamedArgs && i < params->cArgs; ++i) {
    if (params->rgdispidNamedArgs != nullptr &&
        params->rgdispidNamedArgs[i] == static_cast<DISPID>(position))
      return &params->rgvarg[i];
  }
  const UINT positional =
      params->cArgs - (params->cNamedArgs < params->cArgs ? params->cNamedArgs : params->cArgs);
  if (position >= positional) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - position];
}

// A text argument the caller passed by value as anything but a string (a
// JScript StartUp(0), RequestFile("", 5)) cannot take the text back: the
// dispatcher would convert the text into the caller's type after the call and
// fail the whole call. Such an argument is handed to the member as a
// reference to a copy of its own, whose text is dropped; the member's number
// still reaches the caller. The caller's VARIANT is put back as it was.
class ByValueTextArgument {
 public:
  ByValueTextArgument(DISPID member, DISPPARAMS* params) {
    for (const TextArgument& text : kTextArguments) {
      if (text.member != member) continue;
      VARIANT* arg = ArgumentAt(params, text.position);
      if (arg == nullptr || (V_VT(arg) & VT_BYREF) != 0 || V_VT(arg) == VT_BSTR) return;
      if (FAILED(VariantCopy(copy_.get(), arg))) return;  // the member then sees the original
      arg_ = arg;
      original_ = *arg;
      V_VT(arg) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(arg) = copy_.get();
    }
  }
  ByValueTextArgument(const ByValueTextArgument&) = delete;
  ByValueTextArgument& operator=(const ByValueTextArgument&) = delete;
  ~ByValueTextArgument() {
    if (arg_ != nullptr) *arg_ = original_;
  }

 private:
  VARIANT* arg_ = nullptr;
  VARIANT original_ = {};
  UniqueVariant copy_;
};

}  // namespace

HRESULT DownloaderObject::Create(REFIID riid, void** object) {
  return Guarded([&]() -> HRESULT {
    std::shared_ptr<Downloader> downloader = Downloader::Create();
    if (!downloader) return E_OUTOFMEMORY;
    DownloaderObject* created = new DownloaderObject(std::move(downloader));
    HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
  });
}

DownloaderObject::DownloaderObject(std::shared_ptr<Downloader> downloader)
    : downloader_(std::move(downloader)), events_(this, DIID___Downloader) {
  ServerAddRef();
  downloader_->SetListener(this);
}

DownloaderObject::~DownloaderObject() {
  // Stop listening first: the destruction of the portable object closes the
  // engine, and nothing may be raised from a half-destroyed object.
  downloader_->SetListener(nullptr);
  events_.Clear();
  downloader_.reset();
  ServerRelease();
}

// IUnknown

HRESULT DownloaderObject::QueryInterface(REFIID riid, void** object) {
  _Downloader* const dispatch = this;
  IProvideClassInfo2* const classInfo = this;
  return QueryInterfaceTable(
      {{IID_IUnknown, dispatch},
       {IID_IDispatch, dispatch},
       {IID__Downloader, dispatch},
       {IID_IConnectionPointContainer, static_cast<IConnectionPointContainer*>(this)},
       {IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)},
       {IID_IProvideClassInfo, classInfo},
       {IID_IProvideClassInfo2, classInfo}},
      riid, object);
}

ULONG DownloaderObject::AddRef() { return refs_.Increment(); }

ULONG DownloaderObject::Release() {
  const ULONG left = refs_.Decrement();
  if (left == 0) delete this;
  return left;
}

// IDispatch

HRESULT DownloaderObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT DownloaderObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ComPtr<ITypeLib> library;
  HRESULT hr = ServerTypeLib(library.put());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(IID__Downloader, info);
}

HRESULT DownloaderObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  HRESULT hr = ServerTypeInfo(IID__Downloader, info.put());
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(info.get(), names, count, ids);
}

HRESULT DownloaderObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  HRESULT hr = ServerTypeInfo(IID__Downloader, info.put());
  if (FAILED(hr)) return hr;
  // A script may release the object from inside an event raised by the call.
  ComPtr<IUnknown> self(static_cast<_Downloader*>(this));
  ByValueTextArgument byValue(id, params);
  return DispInvoke(static_cast<_Downloader*>(this), info.get(), id, flags, params, result,
                    exception, argError);
}

// _Downloader

HRESULT DownloaderObject::get_Busy(VARIANT* Result) {
  if (Result == nullptr) return E_POINTER;
  PutBool(Result, downloader_->Busy());
  return S_OK;
}

HRESULT DownloaderObject::put_Port(VARIANT* PortNumber) {
  if (PortNumber == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    ComVariantArg port(PortNumber);
    downloader_->Port(port);
    return S_OK;
  });
}

HRESULT DownloaderObject::get_Online(VARIANT* Result) {
  if (Result == nullptr) return E_POINTER;
  return Loud(Guarded([&]() -> HRESULT {
    bool online = false;
    HRESULT hr = downloader_->Online(online);
    if (SUCCEEDED(hr)) PutBool(Result, online);
    return hr;
  }));
}

HRESULT DownloaderObject::get_ProxyConnection(VARIANT* Result) {
  if (Result == nullptr) return E_POINTER;
  return Loud(Guarded([&]() -> HRESULT {
    bool proxy = false;
    HRESULT hr = downloader_->ProxyConnection(proxy);
    if (SUCCEEDED(hr)) PutBool(Result, proxy);
    return hr;
  }));
}

HRESULT DownloaderObject::get_CurSize(VARIANT* Result) {
  if (Result == nullptr) return E_POINTER;
  return Loud(Guarded([&]() -> HRESULT {
    int32_t size = 0;
    HRESULT hr = downloader_->CurSize(size);
    if (SUCCEEDED(hr)) PutInt32(Result, size);
    return hr;
  }));
}

HRESULT DownloaderObject::get_CurFileAsString(VARIANT* Result) {
  if (Result == nullptr) return E_POINTER;
  return Loud(Guarded([&]() -> HRESULT {
    ustring text;
    HRESULT hr = downloader_->CurFileAsString(text);
    if (SUCCEEDED(hr)) hr = PutText(Result, text);
    return hr;
  }));
}

HRESULT DownloaderObject::StartUp(VARIANT* ErrString, VARIANT* Result) {
  if (ErrString == nullptr || Result == nullptr) return E_POINTER;
  return Loud(Guarded([&]() -> HRESULT {
    ComVariantArg error(ErrString);
    int32_t code = 0;
    HRESULT hr = downloader_->StartUp(error, code);
    if (SUCCEEDED(hr)) PutInt32(Result, code);
    return hr;
  }));
}

HRESULT DownloaderObject::RequestFile(VARIANT* Server, VARIANT* FilePath, VARIANT* Result) {
  if (Server == nullptr || FilePath == nullptr || Result == nullptr) return E_POINTER;
  ComPtr<IUnknown> self(static_cast<_Downloader*>(this));  // OnConnect runs inside
  return Loud(Guarded([&]() -> HRESULT {
    ComVariantArg server(Server);
    ComVariantArg path(FilePath);
    int32_t code = 0;
    HRESULT hr = downloader_->RequestFile(server, path, code);
    if (SUCCEEDED(hr)) PutInt32(Result, code);
    return hr;
  }));
}

HRESULT DownloaderObject::WriteTextFile(VARIANT* sPath, VARIANT* IfDelete, VARIANT* Result) {
  if (sPath == nullptr || IfDelete == nullptr || Result == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    ComVariantArg path(sPath);
    ComVariantArg replace(IfDelete);
    PutInt32(Result, downloader_->WriteTextFile(path, replace));
    return S_OK;
  });
}

HRESULT DownloaderObject::WriteBinaryFile(VARIANT* sPath, VARIANT* IfDelete, VARIANT* Result) {
  if (sPath == nullptr || IfDelete == nullptr || Result == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    ComVariantArg path(sPath);
    ComVariantArg replace(IfDelete);
    PutInt32(Result, downloader_->WriteBinaryFile(path, replace));
    return S_OK;
  });
}

HRESULT DownloaderObject::FormatCurRSS(VARIANT* NumberItems, VARIANT* IfDescription,
                                       VARIANT* Result) {
  if (NumberItems == nullptr || IfDescription == nullptr || Result == nullptr) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    ComVariantArg count(NumberItems);
    ComVariantArg descriptions(IfDescription);
    return PutText(Result, downloader_->FormatCurRSS(count, descriptions));
  });
}

HRESULT DownloaderObject::ShutDown() {
  ComPtr<IUnknown> self(static_cast<_Downloader*>(this));  // OnDisconnect runs inside
  return Loud(Guarded([&]() -> HRESULT { return downloader_->ShutDown(); }));
}

// IConnectionPointContainer

HRESULT DownloaderObject::EnumConnectionPoints(IEnumConnectionPoints** result) {
  return CreateSingleConnectionPointEnum(&events_, result);
}

HRESULT DownloaderObject::FindConnectionPoint(REFIID riid, IConnectionPoint** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (riid != DIID___Downloader) return CONNECT_E_NOCONNECTION;
  *result = ComPtr<IConnectionPoint>(&events_).release();
  return S_OK;
}

// ISupportErrorInfo

HRESULT DownloaderObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID__Downloader ? S_OK : S_FALSE;
}

// IProvideClassInfo2

HRESULT DownloaderObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ComPtr<ITypeLib> library;
  HRESULT hr = ServerTypeLib(library.put());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(CLSID_Downloader, info);
}

HRESULT DownloaderObject::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID___Downloader;
  return S_OK;
}

// Events

void DownloaderObject::OnConnect(const ustring& ServerURL) {
  UniqueVariant url;
  V_VT(url.get()) = VT_BSTR;
  V_BSTR(url.get()) = AllocText(ServerURL);
  Raise(DISPID_OnConnect, url.get(), 1);
}

void DownloaderObject::OnDownloadFinish(int32_t ResponseCode, const ustring& ResponseString) {
  UniqueVariant code, text;
  PutInt32(code.put(), ResponseCode);
  V_VT(text.get()) = VT_BSTR;
  V_BSTR(text.get()) = AllocText(ResponseString);
  // Shallow copies in argument order; the owners above free the text.
  const VARIANT values[2] = {*code.get(), *text.get()};
  Raise(DISPID_OnDownloadFinish, values, 2);
}

void DownloaderObject::OnDisconnect() { Raise(DISPID_OnDisconnect, nullptr, 0); }

void DownloaderObject::Raise(DISPID id, const VARIANT* values, UINT count) {
  // A handler may release this object or unadvise any sink, itself included:
  // the object stays alive to the end of the raise, and each sink of the
  // snapshot still advised when its turn comes is called; what one sink
  // returns does not keep the others from theirs.
  ComPtr<IUnknown> self(static_cast<_Downloader*>(this));
  for (const ConnectionPoint::Sink& sink : events_.Snapshot()) {
    if (!events_.IsAdvised(sink.first)) continue;
    EventArguments arguments(values, count);
    DISPPARAMS params = arguments.Params();
    UniqueExcepInfo exception;
    UINT argError = 0;
    sink.second->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        exception.get(), &argError);
  }
}

}  // namespace wex
