#include "common/automation/win32/com_variant_arg.h"

#include <utility>

#include "common/win32/com_ptr.h"
#include "common/win32/unique_bstr.h"
#include "common/win32/unique_variant.h"

namespace wex {
namespace {

// How deep VT_BYREF|VT_VARIANT chains are followed; a well-behaved caller
// needs one level.
constexpr int kMaxReferences = 8;

// The variant a VT_BYREF|VT_VARIANT argument stands for.
const VARIANT* Referenced(const VARIANT* v) {
  for (int i = 0; i < kMaxReferences && v != nullptr && V_VT(v) == (VT_BYREF | VT_VARIANT); ++i) {
    v = V_VARIANTREF(v);
  }
  return v;
}

// The object a value holds (VT_DISPATCH or VT_UNKNOWN, also by reference),
// or null: for a value of another kind, and for an empty object reference
// (Nothing), which the platform's conversions judge themselves.
IUnknown* ObjectOf(const VARIANT* v) {
  if ((V_VT(v) & VT_ARRAY) != 0) return nullptr;
  const bool byReference = (V_VT(v) & VT_BYREF) != 0;
  switch (V_VT(v) & VT_TYPEMASK) {
    case VT_DISPATCH:
      if (byReference) return V_DISPATCHREF(v) != nullptr ? *V_DISPATCHREF(v) : nullptr;
      return V_DISPATCH(v);
    case VT_UNKNOWN:
      if (byReference) return V_UNKNOWNREF(v) != nullptr ? *V_UNKNOWNREF(v) : nullptr;
      return V_UNKNOWN(v);
    default:
      return nullptr;
  }
}

// The value an argument stands for, with its objects replaced by their
// default values as the platform's conversions would take them, but at most
// kMaxDefaultValueDepth times: the platform itself follows an object whose
// default value is itself until the stack runs out. `holder` keeps a fetched
// value alive for as long as `value` points into it.
hresult ResolveValue(const VARIANT* arg, LCID locale, UniqueVariant& holder,
                     const VARIANT*& value) {
  value = Referenced(arg);
  if (value == nullptr) return kE_POINTER;
  for (int depth = 0;; ++depth) {
    IUnknown* object = ObjectOf(value);
    if (object == nullptr) return kS_OK;
    if (depth == kMaxDefaultValueDepth) return kDISP_E_TYPEMISMATCH;
    ComPtr<IDispatch> dispatch;
    if (Failed(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.put()))) ||
        dispatch.get() == nullptr)
      return kDISP_E_TYPEMISMATCH;
    DISPPARAMS noArguments = {nullptr, nullptr, 0, 0};
    UniqueVariant next;
    const hresult hr = dispatch.get()->Invoke(DISPID_VALUE, IID_NULL, locale, DISPATCH_PROPERTYGET,
                                              &noArguments, next.put(), nullptr, nullptr);
    if (Failed(hr)) return kDISP_E_TYPEMISMATCH;  // no default value: as the platform says
    holder = std::move(next);
    value = Referenced(holder.get());
    if (value == nullptr) return kDISP_E_TYPEMISMATCH;
  }
}

hresult ChangeType(const VARIANT* arg, LCID locale, VARTYPE target, UniqueVariant& out) {
  UniqueVariant holder;
  const VARIANT* source = nullptr;
  hresult hr = ResolveValue(arg, locale, holder, source);
  if (Failed(hr)) return hr;
  // VariantChangeTypeEx follows the other VT_BYREF types itself.
  return VariantChangeTypeEx(out.put(), const_cast<VARIANT*>(source), locale,
                             kArgumentConversionFlags, target);
}

bool IsNumericValue(const VARIANT* v, LCID locale) {
  if ((V_VT(v) & VT_ARRAY) != 0) return false;
  const bool byReference = (V_VT(v) & VT_BYREF) != 0;
  switch (V_VT(v) & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
      return true;
    case VT_BSTR: {
      BSTR text = byReference ? (V_BSTRREF(v) != nullptr ? *V_BSTRREF(v) : nullptr) : V_BSTR(v);
      wchar_t empty[] = L"";
      double number = 0.0;
      return SUCCEEDED(
          VarR8FromStr(text != nullptr ? text : empty, locale, kArgumentConversionFlags, &number));
    }
    default:
      return false;  // dates, Null, errors, objects without a value
  }
}

}  // namespace

hresult ComVariantArg::ToString(ustring& out) const {
  UniqueVariant text;
  hresult hr = ChangeType(arg_, locale_, VT_BSTR, text);
  if (Failed(hr)) return hr;
  out = BstrText(V_BSTR(text.get()));
  return kS_OK;
}

hresult ComVariantArg::ToInt32(int32_t& out) const {
  UniqueVariant number;
  hresult hr = ChangeType(arg_, locale_, VT_I4, number);
  if (Failed(hr)) return hr;
  out = V_I4(number.get());
  return kS_OK;
}

hresult ComVariantArg::ToBool(bool& out) const {
  UniqueVariant flag;
  hresult hr = ChangeType(arg_, locale_, VT_BOOL, flag);
  if (Failed(hr)) return hr;
  out = V_BOOL(flag.get()) != VARIANT_FALSE;
  return kS_OK;
}

bool ComVariantArg::IsNumeric() const {
  UniqueVariant holder;
  const VARIANT* value = nullptr;
  return !Failed(ResolveValue(arg_, locale_, holder, value)) && IsNumericValue(value, locale_);
}

hresult ComVariantArg::SetString(const ustring& value) {
  if (arg_ == nullptr) return kE_POINTER;
  const VARTYPE vt = V_VT(arg_);
  VARIANT* target = arg_;
  if (vt == (VT_BYREF | VT_VARIANT)) {
    target = V_VARIANTREF(arg_);
    if (target == nullptr) return kE_POINTER;
  } else if (vt != (VT_BYREF | VT_BSTR) && (vt & VT_BYREF) != 0) {
    return kS_OK;  // a reference to a number cannot hold the text: it is dropped
  }
  UniqueBstr text = UniqueBstr::FromText(value);
  if (!text) return kE_OUTOFMEMORY;
  if (vt == (VT_BYREF | VT_BSTR)) {
    BSTR* slot = V_BSTRREF(arg_);
    if (slot == nullptr) return kE_POINTER;
    SysFreeString(*slot);
    *slot = text.release();
    return kS_OK;
  }
  const hresult hr = VariantClear(target);
  if (Failed(hr)) return hr;
  V_VT(target) = VT_BSTR;
  V_BSTR(target) = text.release();
  return kS_OK;
}

}  // namespace wex
