// The Browser class: _Browser over ModOpenSave. Each method shows one dialog
// and wraps its result; the object keeps nothing but its Browser string.
#pragma once

#include <windows.h>

#include "common/win32/com_object.h"
#include "common/win32/com_ptr.h"
#include "common/win32/unique_bstr.h"
#include "velmora.h"  // generated from velmora.idl

namespace wex {

class BrowserObject final : public _Browser {
 public:
  // A new object, handed out as iid.
  static HRESULT Create(REFIID iid, void** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, through the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // _Browser
  HRESULT STDMETHODCALLTYPE get_Browser(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_Browser(BSTR value) override;
  HRESULT STDMETHODCALLTYPE OpenBox(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE SaveBox(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE ColorBoxRGB(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE ColorBoxHex(VARIANT* result) override;

 private:
  explicit BrowserObject(const ComPtr<ITypeInfo>& typeInfo);
  ~BrowserObject();

  ReferenceCount refs_;
  ComPtr<ITypeInfo> typeInfo_;  // loaded once, at creation
  UniqueBstr browser_;          // the public string member; null reads as empty
};

}  // namespace wex
