// UTF-8 read as the ANSI code page, as the platform's converter reads it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ustring.h"

namespace wex {

// Appends the text of the bytes to out. Each ill-formed sequence becomes
// U+FFFD: a lead byte with the continuation bytes read before the one that
// made it invalid, and a sequence cut short by the end of the input as one
// U+FFFD for everything up to that end.
void AppendUtf8ToText(const uint8_t* bytes, size_t count, ustring& out);

}  // namespace wex
