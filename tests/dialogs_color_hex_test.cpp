// A colour value as six hexadecimal digits, red first.
#include <gtest/gtest.h>

#include <cstdint>

#include "common/ustring.h"
#include "dialogs/portable/color_hex.h"

namespace wex {
namespace {

TEST(ColorHexText, ReadsRedGreenBlue) {
  struct Case {
    int32_t color;
    const char* text;
  };
  const Case cases[] = {
      {0, ""},               // black gives the same as a cancel
      {255, "FF0000"},       // pure red
      {65280, "00FF00"},     // pure green
      {16711680, "0000FF"},  // pure blue
      {16777215, "FFFFFF"},  // white
      {1, "010000"},         // padded to 000001, then swapped
      {32768, "008000"},     // green 128
      {16744448, "0080FF"},  // red 0, green 128, blue 255
      {0x563412, "123456"},  // each pair lands in its place
      {0x0A0B0C, "0C0B0A"},  // upper-case digits
      {16777216, ""},        // seven digits: not a colour
      {-1, ""},              // eight digits in 32-bit form
      {INT32_MIN, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf8(ColorHexText(c.color)), c.text) << c.color;
}

}  // namespace
}  // namespace wex
