#include "common/automation/variant_arg.h"

#include "common/automation/conversions.h"

namespace wex {

hresult VariantArg::ToString(ustring& out) const { return ConvertToString(value_, out); }

hresult VariantArg::ToInt32(int32_t& out) const { return ConvertToInt32(value_, out); }

hresult VariantArg::ToBool(bool& out) const { return ConvertToBool(value_, out); }

bool VariantArg::IsNumeric() const { return IsNumericValue(value_); }

hresult VariantArg::SetString(const ustring& value) {
  value_ = Variant::String(value);
  return kS_OK;
}

}  // namespace wex
