// Forward search ignoring letter case, the comparison the formatter uses for
// tag names. Letters are ASCII and Latin-1: each character is compared by its
// simple upper case of the same length; characters beyond Latin-1 (and U+0178,
// the capital of U+00FF) compare as themselves.
#pragma once

#include <cstddef>

#include "common/ustring.h"

namespace wex {

// Upper case of one character, position for position.
constexpr char16_t UpperChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return static_cast<char16_t>(c - 0x20);
  if (c == 0x00FF) return 0x0178;
  return c;
}

// Index of the first occurrence of pattern in text at or after from, every
// character compared by its upper case; ustring::npos when there is none.
// Scans forward from `from` without copying, so searches that start at
// increasing positions cost the length of the text once in all.
size_t FindIgnoringCase(ustring_view text, ustring_view pattern, size_t from);

// For each of `count` patterns, what FindIgnoringCase(text, pattern, from)
// gives, found in one scan of the text where every pattern begins with the
// same character and that character has no case (as tags begin with "<").
void FindEachIgnoringCase(ustring_view text, const ustring_view* patterns, size_t count,
                          size_t from, size_t* found);

// Index of the first c in text at or after from; ustring::npos when there is
// none. Eight characters are compared at a time where the processor can.
size_t FindChar(ustring_view text, char16_t c, size_t from);

// Index of the first exact occurrence of pattern at or after from; npos when
// there is none.
size_t FindText(ustring_view text, ustring_view pattern, size_t from);

}  // namespace wex
