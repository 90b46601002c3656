#include "dialogs/win32/browser_object.h"

#include <oleauto.h>

#include <new>
#include <utility>

#include "common/win32/variant_results.h"
#include "dialogs/portable/color_hex.h"
#include "dialogs/win32/mod_open_save.h"
#include "dialogs/win32/module_state.h"

namespace wex {
namespace {

// An Open or Save As dialog's answer as a method's result: the path chosen,
// or the empty string when the dialog was cancelled.
HRESULT ShowPathDialog(void (*show)(ustring&), VARIANT* result) {
  if (!result) return E_POINTER;
  VariantInit(result);
  ustring path;
  show(path);
  return PutText(result, path);
}

}  // namespace

HRESULT BrowserObject::Create(REFIID iid, void** out) {
  *out = nullptr;
  ComPtr<ITypeInfo> typeInfo;
  HRESULT hr = LoadBrowserTypeInfo(typeInfo.put());
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
  *out = ComPtr<ITypeInfo>(typeInfo_).release();
  return S_OK;
}

HRESULT BrowserObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(typeInfo_.get(), names, count, ids);
}

HRESULT BrowserObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispInvoke(static_cast<_Browser*>(this), typeInfo_.get(), id, flags, params, result,
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

HRESULT BrowserObject::OpenBox(VARIANT* result) { return ShowPathDialog(ShowOpenDialog, result); }

HRESULT BrowserObject::SaveBox(VARIANT* result) { return ShowPathDialog(ShowSaveDialog, result); }

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
    return PutText(result, ColorHexText(color));
  } catch (...) {
    return E_OUTOFMEMORY;  // the only thing that can throw is the string
  }
}

}  // namespace wex
