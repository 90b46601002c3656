// Turning the body into text is one pass over the bytes after counting the
// line feeds: with a single-byte code page every byte is one character, so
// the result's length is known up front, and runs of bytes that map to
// themselves (no LF, nothing the code page moves) are widened many at a time.
#include "server/engine/body_text.h"

#include <algorithm>
#include <cstring>

#include "common/codepage.h"
#include "common/large_buffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wex {
namespace {

constexpr uint8_t kLineFeed = 0x0A;

// Line feeds in a block (byte 0A is LF in every ANSI code page).
size_t CountLineFeeds(const uint8_t* bytes, size_t count) {
  size_t found = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLineFeed));
  const __m128i zero = _mm_setzero_si128();
  while (count - i >= 16) {
    // Each lane counts down by one per LF; 255 rounds cannot overflow a lane.
    __m128i lanes = zero;
    const size_t rounds = std::min<size_t>((count - i) / 16, 255);
    for (size_t r = 0; r < rounds; ++r, i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, lf));
    }
    const __m128i sums = _mm_sad_epu8(lanes, zero);
    found += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; i < count; ++i) found += bytes[i] == kLineFeed;
  return found;
}

// One byte through the table, an LF as CR LF.
inline char16_t* WidenByte(uint8_t byte, const char16_t* table, char16_t* out) {
  if (byte == kLineFeed) *out++ = u'\r';
  *out++ = table[byte];
  return out;
}

// Widens one block into out and returns the end of what it wrote. A group
// of bytes that holds no LF and no byte the code page moves is widened by
// zero extension; any other group goes byte by byte through the table.
char16_t* WidenBlock(const uint8_t* bytes, size_t count, const AnsiByteTable& code, char16_t* out) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLineFeed));
  const __m128i topThree = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i from80 = _mm_set1_epi8(static_cast<char>(0x80));
  for (; count - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    // Bytes the table moves: 0x80..0x9F where the rest is Latin-1, else every
    // byte from 0x80 on.
    const __m128i moved = code.latin1OutsideC1
                              ? _mm_cmpeq_epi8(_mm_and_si128(block, topThree), from80)
                              : _mm_cmplt_epi8(block, zero);
    if (_mm_movemask_epi8(_mm_or_si128(moved, _mm_cmpeq_epi8(block, lf))) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(block, zero));
      out += 16;
    } else {
      for (size_t k = 0; k < 16; ++k) out = WidenByte(bytes[i + k], code.toText, out);
    }
  }
#else
  // Eight bytes at a time where no byte has its top bit set and none is LF.
  for (; count - i >= 8; i += 8) {
    uint64_t group;
    std::memcpy(&group, bytes + i, sizeof group);
    const uint64_t lfs = group ^ 0x0A0A0A0A0A0A0A0Aull;
    const bool hasLf = ((lfs - 0x0101010101010101ull) & ~lfs & 0x8080808080808080ull) != 0;
    if (!hasLf && (group & 0x8080808080808080ull) == 0) {
      for (size_t k = 0; k < 8; ++k) out[k] = bytes[i + k];
      out += 8;
    } else {
      for (size_t k = 0; k < 8; ++k) out = WidenByte(bytes[i + k], code.toText, out);
    }
  }
#endif
  for (; i < count; ++i) out = WidenByte(bytes[i], code.toText, out);
  return out;
}

// A code page with more than one byte per character: the whole body through
// the platform's converter as one sequence, since a character may be split
// between two blocks; then the line feeds.
ustring BodyTextMultiByte(const ChunkList& chunks) {
  std::string bytes;
  for (const Chunk& chunk : chunks) bytes.append(chunk.begin(), chunk.end());
  const ustring piece = AnsiToText(bytes);
  std::string().swap(bytes);
  ustring text;
  text.reserve(piece.size() + static_cast<size_t>(std::count(piece.begin(), piece.end(), u'\n')));
  for (char16_t c : piece) {
    if (c == u'\n') text += u'\r';
    text += c;
  }
  return text;
}

}  // namespace

ustring BodyText(const ChunkList& chunks) {
  const AnsiByteTable* code = SingleByteAnsiTable();
  if (code == nullptr) return BodyTextMultiByte(chunks);
  size_t length = 0;
  for (const Chunk& chunk : chunks)
    length += chunk.size() + CountLineFeeds(chunk.data(), chunk.size());
  ustring text;
  if (length == 0) return text;
  text.reserve(length);
  AdviseLargeWrite(&text[0], length * sizeof(char16_t));
  text.resize(length);
  char16_t* out = &text[0];
  for (const Chunk& chunk : chunks) out = WidenBlock(chunk.data(), chunk.size(), *code, out);
  return text;
}

}  // namespace wex
