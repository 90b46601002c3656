// The COM class of Wexlo.Downloader: _Downloader through the type library,
// the connection point for __Downloader, error info and class info, each
// member a conversion between VARIANTs and the portable Downloader.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <memory>

#include "common/win32/com_object.h"
#include "server/downloader/downloader.h"
#include "server/downloader/win32/connection_point.h"
#include "wexlo.h"

namespace wex {

class DownloaderObject final : public _Downloader,
                               public IConnectionPointContainer,
                               public ISupportErrorInfo,
                               public IProvideClassInfo2,
                               private DownloaderEvents {
 public:
  // Makes an object and hands out its interface riid.
  static HRESULT Create(REFIID riid, void** object);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, delegated to the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argError) override;

  // _Downloader
  HRESULT STDMETHODCALLTYPE get_Busy(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE put_Port(VARIANT* PortNumber) override;
  HRESULT STDMETHODCALLTYPE get_Online(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE get_ProxyConnection(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE get_CurSize(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE get_CurFileAsString(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE StartUp(VARIANT* ErrString, VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE RequestFile(VARIANT* Server, VARIANT* FilePath,
                                        VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE WriteTextFile(VARIANT* sPath, VARIANT* IfDelete,
                                          VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE WriteBinaryFile(VARIANT* sPath, VARIANT* IfDelete,
                                            VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE FormatCurRSS(VARIANT* NumberItems, VARIANT* IfDescription,
                                         VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE ShutDown() override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** result) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** result) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

 private:
  explicit DownloaderObject(std::shared_ptr<Downloader> downloader);
  ~DownloaderObject();
  DownloaderObject(const DownloaderObject&) = delete;
  DownloaderObject& operator=(const DownloaderObject&) = delete;

  // The portable object's events, fanned out to every advised sink.
  void OnConnect(const ustring& ServerURL) override;
  void OnDownloadFinish(int32_t ResponseCode, const ustring& ResponseString) override;
  void OnDisconnect() override;
  void Raise(DISPID id, const VARIANT* values, UINT count);

  ReferenceCount refs_;
  std::shared_ptr<Downloader> downloader_;
  ConnectionPoint events_;
};

}  // namespace wex
