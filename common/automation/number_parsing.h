// Numeric strings as the platform's automation conversions read them for the
// en-US locale: leading and trailing blanks, a sign before or after the
// number (or parentheses for a negative one), a "$" before or after it,
// thousands separators, a decimal point, an exponent, and &H (hexadecimal)
// or &O (octal) numbers.
#pragma once

#include <cstdint>
#include <vector>

#include "common/automation/automation_arg.h"
#include "common/ustring.h"

namespace wex {

// A parsed number before it is given a type: the value is
// digits * 10^power10 (decimal) or the digits in base 2^baseShift.
struct ParsedNumber {
  std::vector<uint8_t> digits;  // most significant first, without leading zeros
  int32_t power10 = 0;          // always 0 for &H and &O numbers
  int baseShift = 0;            // 0 decimal, 4 for &H, 3 for &O
  bool negative = false;        // ignored for &H and &O numbers, as the platform does
};

// kS_OK, or kDISP_E_TYPEMISMATCH when the whole text is not one number.
hresult ParseNumber(ustring_view text, ParsedNumber& out);

// To a 32-bit integer, rounding half to even; kDISP_E_OVERFLOW out of range.
// &H and &O numbers are 32-bit patterns: &HFFFFFFFF is -1.
hresult NumberToInt32(const ParsedNumber& number, int32_t& out);

// To a double; kDISP_E_OVERFLOW beyond its range, 0 below it.
hresult NumberToDouble(const ParsedNumber& number, double& out);

// The blanks the parser skips: the Unicode white space characters (not the
// separators U+001C to U+001F, nor the zero-width space).
bool IsBlank(char16_t c);

}  // namespace wex
