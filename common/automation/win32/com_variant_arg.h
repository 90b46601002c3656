// An AutomationArg over the caller's VARIANT, read with the platform's own
// conversions (VariantChangeTypeEx, no flags) in the user's locale, as the
// platform's automation clients convert. By-reference variants are followed;
// an object converts through its default value, followed here to a bounded
// depth.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "common/automation/automation_arg.h"

namespace wex {

// The locale of the argument conversions: the user's, so that a script reads
// "81,5" as the user's own settings make it ("81.5" in en-US, "81,5" in
// German). The portable rules are those of en-US.
constexpr LCID kArgumentLocale = LOCALE_USER_DEFAULT;
// No VARIANT_ALPHABOOL: a Boolean becomes "-1" or "0", the platform's default.
constexpr USHORT kArgumentConversionFlags = 0;

class ComVariantArg final : public AutomationArg {
 public:
  // arg is the caller's VARIANT; it must outlive this object.
  explicit ComVariantArg(VARIANT* arg, LCID locale = kArgumentLocale)
      : arg_(arg), locale_(locale) {}

  // An object (VT_DISPATCH, VT_UNKNOWN, also by reference) is replaced by its
  // default value (DISPID_VALUE, property get) at most kMaxDefaultValueDepth
  // times; one that has none, or that is still an object then, fails with
  // DISP_E_TYPEMISMATCH.
  hresult ToString(ustring& out) const override;
  hresult ToInt32(int32_t& out) const override;
  hresult ToBool(bool& out) const override;
  bool IsNumeric() const override;
  // VT_BYREF|VT_BSTR: the referenced BSTR is replaced; VT_BYREF|VT_VARIANT:
  // the referenced variant is cleared and gets the string; a plain VARIANT is
  // replaced. Any other by-reference type cannot hold a string: the text is
  // dropped.
  hresult SetString(const ustring& value) override;

 private:
  VARIANT* arg_;
  LCID locale_;
};

}  // namespace wex
