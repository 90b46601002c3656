// Turns fuzz bytes into the UTF-16 text the formatter works on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ustring.h"

namespace wex {

// Byte-wide text lets the fuzzer spell tags easily; pairs of bytes reach
// every code unit (NUL, unpaired surrogates, letters beyond Latin-1).
inline ustring FuzzText(const uint8_t* data, size_t size, bool pairs) {
  ustring text;
  if (pairs) {
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(char16_t(data[i] | (data[i + 1] << 8)));
  } else {
    for (size_t i = 0; i < size; ++i) text.push_back(char16_t(data[i]));
  }
  return text;
}

}  // namespace wex
