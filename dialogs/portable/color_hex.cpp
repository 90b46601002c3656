#include "dialogs/portable/color_hex.h"

namespace wex {

ustring ColorHexText(int32_t color) {
  if (color == 0) return ustring();
  // The digits of the number, padded to six: blue, green, red. A negative
  // number has eight digits in its 32-bit form and is no colour.
  uint32_t n = static_cast<uint32_t>(color);
  if (n > 0xFFFFFFu) return ustring();
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  char16_t padded[6];
  for (int i = 5; i >= 0; --i) {
    padded[i] = kDigits[n & 0xF];
    n >>= 4;
  }
  // Swap the outer pairs so the text reads red, green, blue.
  return ustring{padded[4], padded[5], padded[2], padded[3], padded[0], padded[1]};
}

}  // namespace wex
