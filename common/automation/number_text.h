// Numbers as the platform's automation conversions write them for en-US.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

// Up to 15 significant digits, exponent form when shorter ("80.5", "1E+20",
// "1.23456789012346E+17", "1E-05"); negative zero is "0".
ustring DoubleText(double value);
// The same with 7 significant digits ("1.677722E+07").
ustring SingleText(float value);
// Currency (scaled by 10000) with its fraction but no trailing zeros ("80.5", "0.0125").
ustring CurrencyText(int64_t scaled);
ustring SignedText(int64_t value);
ustring UnsignedText(uint64_t value);

}  // namespace wex
