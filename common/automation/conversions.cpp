#include "common/automation/conversions.h"

#include <cmath>
#include <limits>

#include "common/automation/date_text.h"
#include "common/automation/number_parsing.h"
#include "common/automation/number_text.h"

namespace wex {
namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kCurrencyScale = 10000;

hresult SignedToInt32(int64_t value, int32_t& out) {
  if (value < kInt32Min || value > kInt32Max) return kDISP_E_OVERFLOW;
  out = static_cast<int32_t>(value);
  return kS_OK;
}

// Currency to an integer, half to even, in integer arithmetic so that no
// binary fraction creeps in.
hresult CurrencyToInt32(int64_t scaled, int32_t& out) {
  int64_t whole = scaled / kCurrencyScale;  // toward zero
  int64_t rest = scaled % kCurrencyScale;   // same sign as scaled
  const int64_t half = kCurrencyScale / 2;
  const int64_t magnitude = rest < 0 ? -rest : rest;
  if (magnitude > half || (magnitude == half && (whole & 1) != 0)) whole += rest < 0 ? -1 : 1;
  return SignedToInt32(whole, out);
}

hresult ParseToInt32(const ustring& text, int32_t& out) {
  ParsedNumber number;
  hresult hr = ParseNumber(text, number);
  if (Failed(hr)) return hr;
  return NumberToInt32(number, out);
}

hresult ParseToDouble(const ustring& text, double& out) {
  ParsedNumber number;
  hresult hr = ParseNumber(text, number);
  if (Failed(hr)) return hr;
  return NumberToDouble(number, out);
}

bool EqualsIgnoringAsciiCase(const ustring& text, const char* word) {
  size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    char16_t w = static_cast<char16_t>(word[i]);
    if (w >= u'a' && w <= u'z') w = static_cast<char16_t>(w - u'a' + u'A');
    if (c != w) return false;
  }
  return i == text.size();
}

// "True" and "False" in any case, then the literal forms "#TRUE#" and
// "#FALSE#", then any number (True when not zero).
hresult StringToBool(const ustring& text, bool& out) {
  if (EqualsIgnoringAsciiCase(text, "True")) {
    out = true;
    return kS_OK;
  }
  if (EqualsIgnoringAsciiCase(text, "False")) {
    out = false;
    return kS_OK;
  }
  if (text == u"#TRUE#" || text == u"#FALSE#") {
    out = text == u"#TRUE#";
    return kS_OK;
  }
  double number = 0.0;
  hresult hr = ParseToDouble(text, number);
  if (Failed(hr)) return hr;
  out = number != 0.0;
  return kS_OK;
}

}  // namespace

hresult RoundToInt32(double value, int32_t& out) {
  // The limits are those of the rounded result; NaN is out of every range.
  if (!(value >= kInt32Min - 0.5 && value < kInt32Max + 0.5)) return kDISP_E_OVERFLOW;
  double whole = std::trunc(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (fraction < -0.5 || (fraction == -0.5 && std::fmod(whole, 2.0) != 0.0)) whole -= 1.0;
  out = static_cast<int32_t>(whole);
  return kS_OK;
}

hresult ConvertToString(const Variant& value, ustring& out) {
  switch (value.kind()) {
    case VariantKind::kEmpty:
      out.clear();
      return kS_OK;
    case VariantKind::kBoolean:
    case VariantKind::kI1:
    case VariantKind::kI2:
    case VariantKind::kI4:
    case VariantKind::kI8:
      out = SignedText(value.signedValue());
      return kS_OK;
    case VariantKind::kUI1:
    case VariantKind::kUI2:
    case VariantKind::kUI4:
    case VariantKind::kUI8:
      out = UnsignedText(value.unsignedValue());
      return kS_OK;
    case VariantKind::kR4:
      out = SingleText(value.singleValue());
      return kS_OK;
    case VariantKind::kR8:
      out = DoubleText(value.realValue());
      return kS_OK;
    case VariantKind::kCurrency:
      out = CurrencyText(value.signedValue());
      return kS_OK;
    case VariantKind::kDate:
      return DateText(value.realValue(), out);
    case VariantKind::kString:
      out = value.stringValue();
      return kS_OK;
    case VariantKind::kNull:
    case VariantKind::kError:
    case VariantKind::kArray:
      break;
  }
  return kDISP_E_TYPEMISMATCH;
}

hresult ConvertToInt32(const Variant& value, int32_t& out) {
  switch (value.kind()) {
    case VariantKind::kEmpty:
      out = 0;
      return kS_OK;
    case VariantKind::kBoolean:
    case VariantKind::kI1:
    case VariantKind::kI2:
    case VariantKind::kI4:
    case VariantKind::kI8:
      return SignedToInt32(value.signedValue(), out);
    case VariantKind::kUI1:
    case VariantKind::kUI2:
    case VariantKind::kUI8:
      if (value.unsignedValue() > static_cast<uint64_t>(kInt32Max)) return kDISP_E_OVERFLOW;
      out = static_cast<int32_t>(value.unsignedValue());
      return kS_OK;
    case VariantKind::kUI4:
      // The platform takes a 32-bit unsigned value as the same 32 bits.
      out = static_cast<int32_t>(static_cast<uint32_t>(value.unsignedValue()));
      return kS_OK;
    case VariantKind::kR4:
      return RoundToInt32(value.singleValue(), out);
    case VariantKind::kR8:
    case VariantKind::kDate:
      return RoundToInt32(value.realValue(), out);
    case VariantKind::kCurrency:
      return CurrencyToInt32(value.signedValue(), out);
    case VariantKind::kString:
      return ParseToInt32(value.stringValue(), out);
    case VariantKind::kNull:
    case VariantKind::kError:
    case VariantKind::kArray:
      break;
  }
  return kDISP_E_TYPEMISMATCH;
}

hresult ConvertToBool(const Variant& value, bool& out) {
  switch (value.kind()) {
    case VariantKind::kEmpty:
      out = false;
      return kS_OK;
    case VariantKind::kBoolean:
    case VariantKind::kI1:
    case VariantKind::kI2:
    case VariantKind::kI4:
    case VariantKind::kI8:
    case VariantKind::kCurrency:
      out = value.signedValue() != 0;
      return kS_OK;
    case VariantKind::kUI1:
    case VariantKind::kUI2:
    case VariantKind::kUI4:
    case VariantKind::kUI8:
      out = value.unsignedValue() != 0;
      return kS_OK;
    case VariantKind::kR4:
      out = value.singleValue() != 0.0f;
      return kS_OK;
    case VariantKind::kR8:
    case VariantKind::kDate:
      out = value.realValue() != 0.0;
      return kS_OK;
    case VariantKind::kString:
      return StringToBool(value.stringValue(), out);
    case VariantKind::kNull:
    case VariantKind::kError:
    case VariantKind::kArray:
      break;
  }
  return kDISP_E_TYPEMISMATCH;
}

bool IsNumericValue(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kEmpty:
    case VariantKind::kBoolean:
    case VariantKind::kI1:
    case VariantKind::kI2:
    case VariantKind::kI4:
    case VariantKind::kI8:
    case VariantKind::kUI1:
    case VariantKind::kUI2:
    case VariantKind::kUI4:
    case VariantKind::kUI8:
    case VariantKind::kR4:
    case VariantKind::kR8:
    case VariantKind::kCurrency:
      return true;
    case VariantKind::kString: {
      double number = 0.0;
      return !Failed(ParseToDouble(value.stringValue(), number));
    }
    case VariantKind::kDate:
    case VariantKind::kNull:
    case VariantKind::kError:
    case VariantKind::kArray:
      break;
  }
  return false;
}

}  // namespace wex
