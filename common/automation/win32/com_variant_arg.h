// An AutomationArg over the caller's VARIANT, read with the platform's own
// conversions (VariantChangeTypeEx, en-US, no flags). By-reference variants
// are followed; an object converts through its default value.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "common/automation/automation_arg.h"

namespace wex {

// The locale of every argument conversion, the same on every machine so that
// "1,5" or "1.5" means one thing for a script wherever it runs.
constexpr LCID kArgumentLocale = 0x0409;  // en-US
// No VARIANT_ALPHABOOL: a Boolean becomes "-1" or "0", the platform's default.
constexpr USHORT kArgumentConversionFlags = 0;

class ComVariantArg final : public AutomationArg {
 public:
  // arg is the caller's VARIANT; it must outlive this object.
  explicit ComVariantArg(VARIANT* arg) : arg_(arg) {}

  hresult ToString(ustring& out) const override;
  hresult ToInt32(int32_t& out) const override;
  hresult ToBool(bool& out) const override;
  bool IsNumeric() const override;
  // VT_BYREF|VT_BSTR: the referenced BSTR is replaced; VT_BYREF|VT_VARIANT:
  // the referenced variant is cleared and gets the string; a plain VARIANT is
  // replaced. Any other by-reference type cannot hold a string.
  hresult SetString(const ustring& value) override;

 private:
  VARIANT* arg_;
};

}  // namespace wex
