// An AutomationArg over a portable Variant that the caller owns, standing in
// for the by-reference VARIANT of the Windows build.
#pragma once

#include "common/automation/automation_arg.h"
#include "common/automation/variant.h"

namespace wex {

class VariantArg final : public AutomationArg {
 public:
  explicit VariantArg(Variant& value) : value_(value) {}

  hresult ToString(ustring& out) const override;
  hresult ToInt32(int32_t& out) const override;
  hresult ToBool(bool& out) const override;
  bool IsNumeric() const override;
  // Replaces the caller's value by the string.
  hresult SetString(const ustring& value) override;

 private:
  Variant& value_;
};

}  // namespace wex
