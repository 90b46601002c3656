#include "common/automation/number_text.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace wex {
namespace {

// printf's %G is the platform's form: it switches to the exponent form when
// the exponent is below -4 or not below the precision, and writes at least
// two exponent digits.
ustring RealText(double value, int precision) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*G", precision, value);
  std::string text = buffer;
  // A negative value that printed as zero ("-0") reads as plain zero.
  if (text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) text.erase(0, 1);
  return FromAscii(text);
}

}  // namespace

ustring DoubleText(double value) { return RealText(value, 15); }

ustring SingleText(float value) { return RealText(value, 7); }

ustring SignedText(int64_t value) { return FromAscii(std::to_string(value)); }

ustring UnsignedText(uint64_t value) { return FromAscii(std::to_string(value)); }

ustring CurrencyText(int64_t scaled) {
  const bool negative = scaled < 0;
  // The magnitude in unsigned arithmetic, so that the most negative value works.
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : scaled;
  std::string text = std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return FromAscii(negative ? "-" + text : text);
}

}  // namespace wex
