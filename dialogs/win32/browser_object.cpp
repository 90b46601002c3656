#include "dialogs/win32/browser_object.h"

#include <oleauto.h>

#include <new>
#include <utility>

#include "dialogs/portable/color_hex.h"
#include "dialogs/win32/mod_open_save.h"
#include "dialogs/win32/module_state.h"

namespace wex {

namespace {

// A string result as a VARIANT of type BSTR (never a null BSTR, so scripts
// see an empty string rather than a null value).
HRESULT StringResult(const ustring& text, VARIANT* result) {
  BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
  if (!s) return E_OUTOFMEMORY;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = s;
  return S_OK;
}

}  // namespace

HRESULT BrowserObject::Create(REFIID iid, void** out) {
  *out = nullptr;
  ComPtr<ITypeInfo> typeInfo;
  HRESULT hr = LoadBrowserTypeInfo(typeInfo.Put());
  if (FAILED(hr)) return hr;
  BrowserObject* object = new (std::nothrow) BrowserObject(typeInfo);
  if (!object) return E_OUTOFMEMORY;
  hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

BrowserObject::BrowserObject(const ComPtr<ITypeInfo>& typeInfo) : typeInfo_(typeInfo) {
  LockModule();
}

BrowserObject::~BrowserObject() { UnlockModule(); }

HRESULT BrowserObject::QueryInterface(REFIID riid, void** object) {
  _Browser* const dispatch = this;
  return QueryInterfaceTable(
      {{IID_IUnknown, dispatch}, {IID_IDispatch, dispatch}, {IID__Browser, dispatch}}, riid,
      object);
}

ULONG BrowserObject::AddRef() { return refs_.Increment(); }

ULONG BrowserObject::Release() {
  const ULONG left = refs_.Decrement();
  if (left == 0) delete this;
  return left;
}

HRESULT BrowserObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT BrowserObject::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *out = ComPtr<ITypeInfo>(typeInfo_).Detach();
  return S_OK;
}

HRESULT BrowserObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
}

HRESULT BrowserObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispInvoke(static_cast<_Browser*>(this), typeInfo_.Get(), id, flags, params, result,
                    exception, argError);
}

HRESULT BrowserObject::get_Browser(BSTR* value) {
  if (!value) return E_POINTER;
  *value = SysAllocStringLen(browser_.get(), SysStringLen(browser_.get()));
  return *value ? S_OK : E_OUTOFMEMORY;
}

// Out of memory keeps the old text.
HRESULT BrowserObject::put_Browser(BSTR value) {
  UniqueBstr copy(SysAllocStringLen(value, SysStringLen(value)));
  if (!copy) return E_OUTOFMEMORY;
  browser_ = std::move(copy);
  return S_OK;
}

HRESULT BrowserObject::OpenBox(VARIANT* result) {
  if (!result) return E_POINTER;
  VariantInit(result);
  ustring path;
  ShowOpenDialog(path);
  return StringResult(path, result);
}

HRESULT BrowserObject::SaveBox(VARIANT* result) {
  if (!result) return E_POINTER;
  VariantInit(result);
  ustring path;
  ShowSaveDialog(path);
  return StringResult(path, result);
}

HRESULT BrowserObject::ColorBoxRGB(VARIANT* result) {
  if (!result) return E_POINTER;
  VariantInit(result);
  int32_t color = 0;
  ShowColorDialog(color);
  V_VT(result) = VT_I4;
  V_I4(result) = color;
  return S_OK;
}

HRESULT BrowserObject::ColorBoxHex(VARIANT* result) {
  if (!result) return E_POINTER;
  VariantInit(result);
  int32_t color = 0;
  ShowColorDialog(color);
  try {
    return StringResult(ColorHexText(color), result);
  } catch (...) {
    return E_OUTOFMEMORY;  // the only thing that can throw is the string
  }
}

}  // namespace wex
