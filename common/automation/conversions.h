// The automation conversions of a portable Variant, with the platform's
// rules for the en-US locale and no conversion flags: what VariantChangeTypeEx
// gives for the targets VT_BSTR, VT_I4 and VT_BOOL.
#pragma once

#include <cstdint>

#include "common/automation/automation_arg.h"
#include "common/automation/variant.h"
#include "common/ustring.h"

namespace wex {

// Empty is ""; a Boolean is "-1" or "0" (the platform writes "True" only when
// asked to); numbers as number_text.h, dates as date_text.h. Null, errors and
// arrays fail with kDISP_E_TYPEMISMATCH.
hresult ConvertToString(const Variant& value, ustring& out);

// Empty is 0, a Boolean -1 or 0; floating values, dates and currency round
// half to even; out of range is kDISP_E_OVERFLOW; strings are parsed.
hresult ConvertToInt32(const Variant& value, int32_t& out);

// Empty is False; a number is True when not zero; a string is True or False
// by name (any case), "#TRUE#" or "#FALSE#", or else by its number.
hresult ConvertToBool(const Variant& value, bool& out);

// Values of a numeric type, Boolean and Empty included, and strings that
// parse as a double. Dates, Null, errors and arrays are not numeric.
bool IsNumericValue(const Variant& value);

// A double to a 32-bit integer, half to even; kDISP_E_OVERFLOW out of range.
hresult RoundToInt32(double value, int32_t& out);

}  // namespace wex
