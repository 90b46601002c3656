#include "common/automation/win32/com_variant_arg.h"

#include "common/automation/win32/unique_bstr.h"
#include "common/automation/win32/unique_variant.h"

namespace wex {
namespace {

// How deep VT_BYREF|VT_VARIANT chains and default values of objects are
// followed; a well-behaved caller needs one level.
constexpr int kMaxIndirections = 8;

// The variant a VT_BYREF|VT_VARIANT argument stands for.
const VARIANT* Referenced(const VARIANT* v) {
  for (int i = 0; i < kMaxIndirections && v != nullptr && V_VT(v) == (VT_BYREF | VT_VARIANT); ++i) {
    v = V_VARIANTREF(v);
  }
  return v;
}

hresult ChangeType(const VARIANT* arg, VARTYPE target, UniqueVariant& out) {
  const VARIANT* source = Referenced(arg);
  if (source == nullptr) return kE_POINTER;
  // VariantChangeTypeEx follows the other VT_BYREF types and asks an object
  // for its default value itself.
  return VariantChangeTypeEx(out.put(), const_cast<VARIANT*>(source), kArgumentLocale,
                             kArgumentConversionFlags, target);
}

bool IsNumericVariant(const VARIANT* v, int depth);

// The default value of an object (its DISPID_VALUE property), as the
// conversions would take it.
bool IsNumericObject(IDispatch* object, int depth) {
  if (object == nullptr || depth >= kMaxIndirections) return false;
  DISPPARAMS no_arguments = {nullptr, nullptr, 0, 0};
  UniqueVariant value;
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, kArgumentLocale, DISPATCH_PROPERTYGET,
                              &no_arguments, value.put(), nullptr, nullptr);
  return SUCCEEDED(hr) && IsNumericVariant(value.get(), depth + 1);
}

bool IsNumericVariant(const VARIANT* v, int depth) {
  v = Referenced(v);
  if (v == nullptr || (V_VT(v) & VT_ARRAY) != 0) return false;
  const bool by_reference = (V_VT(v) & VT_BYREF) != 0;
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
      BSTR text = by_reference ? *V_BSTRREF(v) : V_BSTR(v);
      wchar_t empty[] = L"";
      double number = 0.0;
      return SUCCEEDED(VarR8FromStr(text != nullptr ? text : empty, kArgumentLocale,
                                    kArgumentConversionFlags, &number));
    }
    case VT_DISPATCH:
      return IsNumericObject(by_reference ? *V_DISPATCHREF(v) : V_DISPATCH(v), depth);
    default:
      return false;  // dates, Null, errors, other objects
  }
}

}  // namespace

hresult ComVariantArg::ToString(ustring& out) const {
  UniqueVariant text;
  hresult hr = ChangeType(arg_, VT_BSTR, text);
  if (Failed(hr)) return hr;
  out = BstrText(V_BSTR(text.get()));
  return kS_OK;
}

hresult ComVariantArg::ToInt32(int32_t& out) const {
  UniqueVariant number;
  hresult hr = ChangeType(arg_, VT_I4, number);
  if (Failed(hr)) return hr;
  out = V_I4(number.get());
  return kS_OK;
}

hresult ComVariantArg::ToBool(bool& out) const {
  UniqueVariant flag;
  hresult hr = ChangeType(arg_, VT_BOOL, flag);
  if (Failed(hr)) return hr;
  out = V_BOOL(flag.get()) != VARIANT_FALSE;
  return kS_OK;
}

bool ComVariantArg::IsNumeric() const { return IsNumericVariant(arg_, 0); }

hresult ComVariantArg::SetString(const ustring& value) {
  if (arg_ == nullptr) return kE_POINTER;
  UniqueBstr text = UniqueBstr::FromText(value);
  if (!text) return kE_OUTOFMEMORY;
  const VARTYPE vt = V_VT(arg_);
  if (vt == (VT_BYREF | VT_BSTR)) {
    BSTR* slot = V_BSTRREF(arg_);
    if (slot == nullptr) return kE_POINTER;
    SysFreeString(*slot);
    *slot = text.release();
    return kS_OK;
  }
  VARIANT* target = arg_;
  if (vt == (VT_BYREF | VT_VARIANT)) {
    target = V_VARIANTREF(arg_);
    if (target == nullptr) return kE_POINTER;
  } else if ((vt & VT_BYREF) != 0) {
    return kDISP_E_TYPEMISMATCH;  // a reference to a number cannot hold a string
  }
  HRESULT hr = VariantClear(target);
  if (FAILED(hr)) return hr;
  V_VT(target) = VT_BSTR;
  V_BSTR(target) = text.release();
  return kS_OK;
}

}  // namespace wex
