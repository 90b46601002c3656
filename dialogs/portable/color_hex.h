// A colour value (red in the low byte, blue in the third) as the six
// hexadecimal digits web pages use: red, green, blue.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

// 0 (black, and the result of a cancelled dialog) and anything that is not a
// colour value (more than six digits) give an empty string.
ustring ColorHexText(int32_t color);

}  // namespace wex
