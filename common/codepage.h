// Conversion between UTF-16 and the system's ANSI code page. Text crosses
// to the network and to text files this way.
//
// Windows uses CP_ACP. The native build converts as Windows does under any
// of windows-1252 (the code page of an en-US system, and the default), the
// double-byte code pages 932, 936, 949 and 950, and UTF-8 (65001), invalid
// input included, so that the engine's rules can be tested under each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ustring.h"

namespace wex {

// Bytes to text; a zero byte gives U+0000.
ustring AnsiToText(const uint8_t* bytes, size_t count);
inline ustring AnsiToText(const std::string& bytes) {
  return AnsiToText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Appends the converted bytes to out (no allocation beyond the growth of out).
void AppendAnsiToText(const uint8_t* bytes, size_t count, ustring& out);

// The ANSI code page as one character per byte, so that a large text can be
// converted without a call per block; null when the code page has characters
// of more than one byte. latin1OutsideC1 says that every byte outside
// 0x80..0x9F maps to the same code point (windows-1252 and its like), so that
// only those bytes need the table.
struct AnsiByteTable {
  char16_t toText[256];
  bool latin1OutsideC1;
};
const AnsiByteTable* SingleByteAnsiTable();

// Text to bytes; a character the code page cannot hold (including each half
// of a surrogate pair) becomes '?'. UTF-8 holds every character, and a lone
// surrogate becomes U+FFFD.
std::string TextToAnsi(ustring_view text);

// Whether the code page holds every character of the text: it comes back
// unchanged from the code page.
inline bool AnsiHolds(ustring_view text) { return AnsiToText(TextToAnsi(text)) == text; }

#if !defined(_WIN32)
// The native build's ANSI code page, 1252 until set. False, and no change,
// for a code page it cannot convert. Tests choose one; nothing else should
// change it while text is being converted.
bool SetAnsiCodePage(uint32_t codePage);
uint32_t AnsiCodePage();
#endif

}  // namespace wex
