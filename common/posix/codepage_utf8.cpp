// UTF-8 as the ANSI code page: the reading of ill-formed input follows the
// platform's converter (called without MB_ERR_INVALID_CHARS), so that a body
// reads the same natively as on Windows.
#include "common/posix/codepage_utf8.h"

namespace wex {
namespace {

constexpr uint32_t kInvalid = 0xFFFFFFFF;

// Continuation bytes that follow each lead byte from 0x80 on; 0 for a byte
// that cannot start a sequence (continuation bytes, C0, C1 and F5 on).
uint32_t FollowingBytes(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// Decodes the sequence whose lead byte was just read; *at is the byte after
// it and moves past the bytes taken. A byte that ends the sequence early is
// left for the next character; a sequence longer than what is left takes
// all that is left.
uint32_t DecodeSequence(uint8_t lead, const uint8_t*& at, const uint8_t* end) {
  const uint32_t following = FollowingBytes(lead);
  if (following > static_cast<size_t>(end - at)) {
    at = end;
    return kInvalid;
  }
  if (following == 0) return kInvalid;
  uint32_t c = lead & (0x7F >> (following + 1));
  for (uint32_t k = 0; k < following; ++k) {
    const uint32_t bits = at[0] ^ 0x80u;
    if (bits >= 0x40) return kInvalid;
    c = (c << 6) | bits;
    ++at;
    // Checked as soon as the bits read so far decide it: overlong forms,
    // code points past U+10FFFF, and surrogates. The byte that shows an
    // overlong form or a surrogate is taken with the lead; the one
    // that goes past U+10FFFF is not.
    const uint32_t left = following - 1 - k;
    if (left == 2 && c < 0x10) return kInvalid;
    if (left == 1 && c >= (0x110000 >> 6)) {
      --at;
      return kInvalid;
    }
    if (following == 2 && left == 1 && (c < 0x20 || (c >= (0xD800 >> 6) && c <= (0xDFFF >> 6))))
      return kInvalid;
  }
  return c;
}

}  // namespace

void AppendUtf8ToText(const uint8_t* bytes, size_t count, ustring& out) {
  const uint8_t* at = bytes;
  const uint8_t* const end = bytes + count;
  while (at < end) {
    const uint8_t byte = *at++;
    if (byte < 0x80) {
      out += static_cast<char16_t>(byte);
      continue;
    }
    const uint32_t c = DecodeSequence(byte, at, end);
    if (c == kInvalid) {
      out += u'\uFFFD';
    } else if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
}

}  // namespace wex
