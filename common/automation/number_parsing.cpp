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

namespace {

// One pass over the text, in the platform's order of steps; each step takes
// what it may from the current position.
class NumberScanner {
 public:
  NumberScanner(ustring_view text, ParsedNumber& out) : text_(text), out_(out) {}

  hresult Scan() {
    TakeLeadingSymbols();
    TakeRadixPrefix();
    TakeLeadingZeros();
    TakeDigits();
    if (inExponent_) return kDISP_E_TYPEMISMATCH;  // "1E" or "1E+"
    SettleDigits();
    TakeTrailingSymbols();
    if (parens_ && !out_.negative) return kDISP_E_TYPEMISMATCH;  // "(" never closed
    if (pos_ != text_.size()) return kDISP_E_TYPEMISMATCH;       // something that is no number
    if (out_.digits.empty()) return kDISP_E_TYPEMISMATCH;        // no digits at all
    return kS_OK;
  }

 private:
  char16_t At(size_t i) const { return i < text_.size() ? text_[i] : u'\0'; }
  bool Radix() const { return out_.baseShift != 0; }

  // Blanks, then a symbol `take` accepts, as long as there are any; blanks
  // may stand between the symbols.
  template <typename Take>
  void TakeSymbols(const Take& take) {
    for (;;) {
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      if (!take(At(pos_))) return;
      ++pos_;
    }
  }

  // Leading symbols, each at most once, in any order.
  void TakeLeadingSymbols() {
    TakeSymbols([this](char16_t c) {
      if (c == kPlus && !leadingPlus_) return leadingPlus_ = true;
      if (c == kMinus && !leadingMinus_) return leadingMinus_ = out_.negative = true;
      if (c == kCurrency && !currency_) return currency_ = true;
      if (c == u'(' && !parens_) return parens_ = true;
      return false;
    });
  }

  // Trailing symbols; a sign only if none came before.
  void TakeTrailingSymbols() {
    TakeSymbols([this](char16_t c) {
      if (c == kPlus && !leadingPlus_) return true;
      if (c == kMinus && !leadingMinus_) return out_.negative = true;
      if (c == u')' && parens_) return out_.negative = true;
      return c == kCurrency;
    });
  }

  // &H or &O; the platform takes neither after a currency symbol.
  void TakeRadixPrefix() {
    if (currency_ || At(pos_) != u'&') return;
    const char16_t r = At(pos_ + 1);
    if (r == u'H' || r == u'h') out_.baseShift = 4;
    if (r == u'O' || r == u'o') out_.baseShift = 3;
    if (Radix()) pos_ += 2;
  }

  // Leading zeros are not digits, but they make "0" a number.
  void TakeLeadingZeros() {
    while (At(pos_) == u'0') {
      leadingZero_ = true;
      ++pos_;
    }
  }

  // Digits, decimal point, thousands separators and exponent, up to the
  // first character that is none of them here.
  void TakeDigits() {
    while (pos_ < text_.size()) {
      const char16_t c = text_[pos_];
      if (IsDecimalDigit(c) && inExponent_) {
        TakeExponentDigits();
        continue;
      }
      if (!TakeDigitOrMark(c)) return;
      ++pos_;
    }
  }

  bool TakeDigitOrMark(char16_t c) {
    if (IsDecimalDigit(c)) {
      if (out_.baseShift == 3 && c >= u'8') return false;
      if (Radix() || out_.digits.size() < kMaxDigits) {
        if (decimal_) --out_.power10;
        out_.digits.push_back(static_cast<uint8_t>(c - u'0'));
      } else if (!decimal_) {
        ++out_.power10;  // a digit beyond the precision kept still counts
      }
      return true;
    }
    if (out_.baseShift == 4 && HexLetterValue(c) >= 0) {
      out_.digits.push_back(static_cast<uint8_t>(HexLetterValue(c)));
      return true;
    }
    if (Radix()) return false;  // no separators, point or exponent in &H or &O
    // Separators are not checked for their grouping, as on the platform.
    if (c == kThousands && (!out_.digits.empty() || leadingZero_ || decimal_)) return true;
    if (c == kDecimalPoint && !decimal_ && !exponentSeen_) {
      decimal_ = true;
      if (out_.digits.empty()) {
        while (At(pos_ + 1) == u'0') {
          leadingZero_ = true;
          --out_.power10;
          ++pos_;
        }
      }
      return true;
    }
    if ((c == u'e' || c == u'E') && !exponentSeen_) return exponentSeen_ = inExponent_ = true;
    if (inExponent_ && c == kPlus) return true;
    if (inExponent_ && c == kMinus) return negativeExponent_ = true;
    return false;
  }

  // The exponent's digits, clamped: any number this large or small is out
  // of range of every type anyway.
  void TakeExponentDigits() {
    int32_t exponent = 0;
    while (pos_ < text_.size() && IsDecimalDigit(text_[pos_])) {
      if (exponent < kMaxExponent) exponent = exponent * 10 + (text_[pos_] - u'0');
      ++pos_;
    }
    if (exponent > kMaxExponent) exponent = kMaxExponent;
    out_.power10 += negativeExponent_ ? -exponent : exponent;
    inExponent_ = false;
  }

  // Only zeros is the number 0; a decimal number's trailing zeros move into
  // the power of ten.
  void SettleDigits() {
    if (out_.digits.empty() && leadingZero_) {
      out_.digits.push_back(0);
      out_.power10 = 0;
    }
    if (Radix()) return;
    while (out_.digits.size() > 1 && out_.digits.back() == 0) {
      out_.digits.pop_back();
      ++out_.power10;
    }
  }

  ustring_view text_;
  ParsedNumber& out_;
  size_t pos_ = 0;
  bool leadingPlus_ = false, leadingMinus_ = false, currency_ = false, parens_ = false;
  bool leadingZero_ = false, decimal_ = false;
  bool exponentSeen_ = false, inExponent_ = false, negativeExponent_ = false;
};

}  // namespace

hresult ParseNumber(ustring_view text, ParsedNumber& out) {
  out = ParsedNumber();
  return NumberScanner(text, out).Scan();
}

namespace {

// The value of a hexadecimal or octal number, at most 64 bits.
hresult RadixValue(const ParsedNumber& number, uint64_t& out) {
  uint64_t value = 0;
  const uint64_t limit = std::numeric_limits<uint64_t>::max() >> number.baseShift;
  for (uint8_t d : number.digits) {
    if (value > limit - d) return kDISP_E_OVERFLOW;
    value = (value << number.baseShift) + d;
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
  if (number.baseShift != 0) return RadixToInt32(number, out);

  const int64_t count = static_cast<int64_t>(number.digits.size());
  // 1. The whole part: the digits before the decimal point, then the zeros
  //    that the power of ten adds.
  const int64_t wholeDigits =
      number.power10 < 0 ? std::max<int64_t>(0, count + number.power10) : count;
  uint64_t value = 0;
  constexpr uint64_t kLimit = uint64_t{1} << 32;  // beyond every 32-bit result
  for (int64_t i = 0; i < wholeDigits; ++i) {
    value = value * 10 + number.digits[i];
    if (value >= kLimit) return kDISP_E_OVERFLOW;
  }
  for (int32_t i = 0; i < number.power10 && value != 0; ++i) {
    value *= 10;
    if (value >= kLimit) return kDISP_E_OVERFLOW;
  }

  // 2. Round half to even on the exact fraction. A fraction that starts with
  //    a zero is below one half whatever follows.
  const bool fractionStartsWithZero = -int64_t{number.power10} > count;
  if (wholeDigits < count && !fractionStartsWithZero) {
    const uint8_t first = number.digits[wholeDigits];
    bool more = false;
    for (int64_t i = wholeDigits + 1; i < count; ++i) more = more || number.digits[i] != 0;
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
  if (number.baseShift != 0) {
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
