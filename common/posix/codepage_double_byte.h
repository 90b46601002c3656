// The double-byte ANSI code pages of Japanese (932), Simplified Chinese
// (936), Korean (949) and Traditional Chinese (950) Windows, converted as the
// platform's converters do (MultiByteToWideChar without flags,
// WideCharToMultiByte with WC_NO_BEST_FIT_CHARS and "?").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ustring.h"

namespace wex {

class DoubleByteCodePage;

// The code page's tables, built on first use from the C library's character
// sets; null for another number, or where the C library lacks the set.
const DoubleByteCodePage* FindDoubleByteCodePage(uint32_t codePage);

// A lead byte takes the byte after it, unless that is a zero byte or there
// is none; a pair or a byte the code page leaves undefined gives its default
// character.
void AppendDoubleByteToText(const DoubleByteCodePage& code, const uint8_t* bytes, size_t count,
                            ustring& out);

// Each UTF-16 unit on its own: one without bytes of its own in the code page
// (each half of a surrogate pair too) becomes '?'.
std::string TextToDoubleByte(const DoubleByteCodePage& code, ustring_view text);

}  // namespace wex
