// UTF-16 strings of the whole core, the same unit as automation strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wex {

using ustring = std::u16string;
using ustring_view = std::u16string_view;

// Widens ASCII text (literals, numbers) to UTF-16; bytes above 0x7F are taken
// as Latin-1, which is only right for ASCII and is meant only for that.
ustring FromAscii(std::string_view ascii);

// UTF-8 for test output and diagnostics; unpaired surrogates become U+FFFD.
std::string ToUtf8(ustring_view text);

// UTF-8 to UTF-16, for tests and the native command line; invalid bytes become U+FFFD.
ustring FromUtf8(std::string_view utf8);

// The decimal text of a 32-bit number, as the engine appends error numbers.
ustring DecimalText(int32_t value);

}  // namespace wex
