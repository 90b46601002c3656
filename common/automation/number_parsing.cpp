// The parser works like the platform's: one pass that first takes the
// leading symbols, then the digits with their decimal point, separators and
// exponent, then the trailing symbols, and fails unless every character was
// taken. The digits are kept exactly, so that rounding to an integer looks
// at the decimal digits rather than at a binary approximation.
#include "common/automation/number_parsing.h"

#include <cmath>
#include <limits>

namespace wex {
namespace {

// Digits beyond this many are not stored; those before the decimal point
// still count in the power of ten.
constexpr size_t kMaxDigits = 1024;
// Exponents are clamped here; any number this large or small is out of
// range of every type anyway.
constexpr int32_t kMaxExponent = 100000;

constexpr char16_t kPlus = u'+';
constexpr char16_t kMinus = u'-';
constexpr char16_t kCurrency = u'$';
constexpr char16_t kDecimalPoint = u'.';
constexpr char16_t kThousands = u',';

bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexLetterValue(char16_t c) {
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The largest and smallest magnitudes a double scaled by 10^n may have
// before the scaling leaves the range of a double.
constexpr double kR8Max = 1.79769313486231470e+308;
constexpr double kR8Min = 4.94065645841246544e-324;
constexpr double kPowers[11] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

}  // namespace

bool IsBlank(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

hresult ParseNumber(ustring_view text, ParsedNumber& out) {
  out = ParsedNumber();
  size_t pos = 0;
  auto at = [&](size_t i) -> char16_t { return i < text.size() ? text[i] : u'\0'; };

  // 1. Leading blanks and symbols, each symbol at most once, in any order.
  bool leading_plus = false, leading_minus = false, currency = false, parens = false;
  for (;;) {
    char16_t c = at(pos);
    if (pos < text.size() && IsBlank(c)) {
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
      continue;
    }
    if (c == kPlus && !leading_plus) {
      leading_plus = true;
    } else if (c == kMinus && !leading_minus) {
      leading_minus = true;
      out.negative = true;
    } else if (c == kCurrency && !currency) {
      currency = true;
    } else if (c == u'(' && !parens) {
      parens = true;
    } else {
      break;
    }
    ++pos;
  }

  // 2. A radix prefix; the platform does not take one after a currency symbol.
  if (!currency && at(pos) == u'&') {
    char16_t r = at(pos + 1);
    if (r == u'H' || r == u'h') out.base_shift = 4;
    if (r == u'O' || r == u'o') out.base_shift = 3;
    if (out.base_shift != 0) pos += 2;
  }
  const bool radix = out.base_shift != 0;

  // 3. Leading zeros are not digits, but they make "0" a number.
  bool leading_zero = false;
  while (at(pos) == u'0') {
    leading_zero = true;
    ++pos;
  }

  // 4. Digits, decimal point, thousands separators, exponent.
  bool decimal = false, exponent_seen = false, in_exponent = false, negative_exponent = false;
  while (pos < text.size()) {
    char16_t c = text[pos];
    if (IsDecimalDigit(c) && in_exponent) {
      int32_t exponent = 0;
      while (pos < text.size() && IsDecimalDigit(text[pos])) {
        if (exponent < kMaxExponent) exponent = exponent * 10 + (text[pos] - u'0');
        ++pos;
      }
      if (exponent > kMaxExponent) exponent = kMaxExponent;
      out.power10 += negative_exponent ? -exponent : exponent;
      in_exponent = false;
      continue;
    }
    if (IsDecimalDigit(c)) {
      if (out.base_shift == 3 && c >= u'8') break;
      if (radix || out.digits.size() < kMaxDigits) {
        if (decimal) --out.power10;
        out.digits.push_back(static_cast<uint8_t>(c - u'0'));
      } else if (!decimal) {
        ++out.power10;  // a digit beyond the precision kept still counts
      }
    } else if (out.base_shift == 4 && HexLetterValue(c) >= 0) {
      out.digits.push_back(static_cast<uint8_t>(HexLetterValue(c)));
    } else if (radix) {
      break;  // no separators, point or exponent in a hexadecimal or octal number
    } else if (c == kThousands && (!out.digits.empty() || leading_zero || decimal)) {
      // Separators are not checked for their grouping, as on the platform.
    } else if (c == kDecimalPoint && !decimal && !exponent_seen) {
      decimal = true;
      if (out.digits.empty()) {
        while (at(pos + 1) == u'0') {
          leading_zero = true;
          --out.power10;
          ++pos;
        }
      }
    } else if ((c == u'e' || c == u'E') && !exponent_seen) {
      exponent_seen = in_exponent = true;
    } else if (in_exponent && c == kPlus) {
      // an explicit positive exponent
    } else if (in_exponent && c == kMinus) {
      negative_exponent = true;
    } else {
      break;
    }
    ++pos;
  }
  if (out.digits.empty() && leading_zero) {
    out.digits.push_back(0);
    out.power10 = 0;
  }
  if (in_exponent) return kDISP_E_TYPEMISMATCH;  // "1E" or "1E+"
  if (!radix) {
    while (out.digits.size() > 1 && out.digits.back() == 0) {
      out.digits.pop_back();
      ++out.power10;
    }
  }

  // 5. Trailing blanks and symbols; a sign only if none came before.
  for (;;) {
    char16_t c = at(pos);
    if (pos < text.size() && IsBlank(c)) {
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
      continue;
    }
    if (c == kPlus && !leading_plus) {
    } else if (c == kMinus && !leading_minus) {
      out.negative = true;
    } else if (c == u')' && parens) {
      out.negative = true;
    } else if (c == kCurrency) {
    } else {
      break;
    }
    ++pos;
  }

  if (parens && !out.negative) return kDISP_E_TYPEMISMATCH;  // "(" never closed
  if (pos != text.size()) return kDISP_E_TYPEMISMATCH;       // something that is no number
  if (out.digits.empty()) return kDISP_E_TYPEMISMATCH;       // no digits at all
  return kS_OK;
}

namespace {

// The value of a hexadecimal or octal number, at most 64 bits.
hresult RadixValue(const ParsedNumber& number, uint64_t& out) {
  uint64_t value = 0;
  const uint64_t limit = std::numeric_limits<uint64_t>::max() >> number.base_shift;
  for (uint8_t d : number.digits) {
    if (value > limit - d) return kDISP_E_OVERFLOW;
    value = (value << number.base_shift) + d;
  }
  out = value;
  return kS_OK;
}

// A &H or &O number is read as a 32-bit pattern.
hresult RadixToInt32(const ParsedNumber& number, int32_t& out) {
  uint64_t value = 0;
  hresult hr = RadixValue(number, value);
  if (Failed(hr)) return hr;
  if (value > 0xFFFFFFFFu) return kDISP_E_OVERFLOW;
  out = static_cast<int32_t>(static_cast<uint32_t>(value));
  return kS_OK;
}

}  // namespace

hresult NumberToInt32(const ParsedNumber& number, int32_t& out) {
  if (number.base_shift != 0) return RadixToInt32(number, out);

  const int64_t count = static_cast<int64_t>(number.digits.size());
  // 1. The whole part: the digits before the decimal point, then the zeros
  //    that the power of ten adds.
  const int64_t whole_digits =
      number.power10 < 0 ? std::max<int64_t>(0, count + number.power10) : count;
  uint64_t value = 0;
  constexpr uint64_t kLimit = uint64_t{1} << 32;  // beyond every 32-bit result
  for (int64_t i = 0; i < whole_digits; ++i) {
    value = value * 10 + number.digits[i];
    if (value >= kLimit) return kDISP_E_OVERFLOW;
  }
  for (int32_t i = 0; i < number.power10 && value != 0; ++i) {
    value *= 10;
    if (value >= kLimit) return kDISP_E_OVERFLOW;
  }

  // 2. Round half to even on the exact fraction. A fraction that starts with
  //    a zero is below one half whatever follows.
  const bool fraction_starts_with_zero = -int64_t{number.power10} > count;
  if (whole_digits < count && !fraction_starts_with_zero) {
    const uint8_t first = number.digits[whole_digits];
    bool more = false;
    for (int64_t i = whole_digits + 1; i < count; ++i) more = more || number.digits[i] != 0;
    if (first > 5 || (first == 5 && (more || (value & 1) != 0))) ++value;
  }

  // 3. The sign and the range.
  if (number.negative && value != 0) {
    if (value > uint64_t{1} << 31) return kDISP_E_OVERFLOW;
    out = static_cast<int32_t>(-static_cast<int64_t>(value));
  } else {
    if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return kDISP_E_OVERFLOW;
    out = static_cast<int32_t>(value);
  }
  return kS_OK;
}

hresult NumberToDouble(const ParsedNumber& number, double& out) {
  if (number.base_shift != 0) {
    int32_t pattern = 0;
    hresult hr = RadixToInt32(number, pattern);
    if (Failed(hr)) return hr;
    out = pattern;
    return kS_OK;
  }

  // The digits as a whole number, then scaled by ten at most 10^10 at a time,
  // giving up when the next step would leave the range: the platform's way,
  // so that the same text gives the same double.
  double whole = 0.0;
  for (uint8_t d : number.digits) whole = whole * 10.0 + d;
  int32_t multiplier = number.power10 > 0 ? number.power10 : 0;
  int32_t divisor = number.power10 < 0 ? -number.power10 : 0;
  while (multiplier > 10) {
    if (whole > kR8Max / kPowers[10]) return kDISP_E_OVERFLOW;
    whole *= kPowers[10];
    multiplier -= 10;
  }
  if (multiplier > 0) {
    if (whole > kR8Max / kPowers[multiplier]) return kDISP_E_OVERFLOW;
    whole *= kPowers[multiplier];
  }
  while (divisor > 10) {
    if (whole < kR8Min * kPowers[10] && whole != 0) {
      whole = 0;  // below the range: zero, as the platform gives
      divisor = 0;
      break;
    }
    whole /= kPowers[10];
    divisor -= 10;
  }
  if (divisor > 0) {
    if (whole < kR8Min * kPowers[divisor] && whole != 0) {
      whole = 0;
    } else {
      whole /= kPowers[divisor];
    }
  }
  if (!std::isfinite(whole)) return kDISP_E_OVERFLOW;  // more digits than a double holds
  out = number.negative ? -whole : whole;
  return kS_OK;
}

}  // namespace wex
