// The body as text against the converter of the whole body, under each code
// page: every byte value in every lane of a group and on both sides of every
// block boundary, and a line feed at every offset around the widening groups
// and the blocks.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "server/engine/body_text.h"
#include "tests/support/code_pages.h"

namespace wex {
namespace {

// The whole body through the code page at once, each LF then as CR LF.
ustring Reference(const ChunkList& chunks) {
  std::string bytes;
  for (const Chunk& chunk : chunks) bytes.append(chunk.begin(), chunk.end());
  ustring text;
  for (char16_t c : AnsiToText(bytes)) {
    if (c == u'\n') text += u'\r';
    text += c;
  }
  return text;
}

class BodyTextRules : public ::testing::Test, public UnderEachCodePage {};

TEST_P(BodyTextRules, EveryByteValueInEveryPositionOfAGroupAndABlock) {
  // Letters of the code page (what it lacks comes as '?'), then the 256
  // values, shifted through a 48-byte window so that each value meets each
  // lane of a group and both neighbours of every other value; each body is
  // cut into two blocks at every offset, parting every pair of bytes.
  const std::string letters = TextToAnsi(u"ab\u3042\u65E5\u4E2D\uAC00\u00E9\n");
  for (size_t shift = 0; shift < 17; ++shift) {
    Chunk body(shift, 'a');
    body.insert(body.end(), letters.begin(), letters.end());
    for (int b = 0; b < 256; ++b) body.push_back(static_cast<uint8_t>(b));
    for (size_t split = 0; split <= body.size(); ++split) {
      const ChunkList chunks{Chunk(body.begin(), body.begin() + split),
                             Chunk(body.begin() + split, body.end())};
      ASSERT_EQ(BodyText(chunks), Reference(chunks)) << shift << " " << split;
    }
  }
}

TEST_P(BodyTextRules, LineFeedsAtEveryOffsetOfGroupsAndBlocks) {
  for (size_t size : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 64u}) {
    for (size_t at = 0; at < size; ++at) {
      Chunk chunk(size, 'x');
      chunk[at] = '\n';
      // The same block twice, then split at the LF: the block boundary falls
      // before, on and after it.
      const ChunkList chunks{chunk, chunk, Chunk(chunk.begin(), chunk.begin() + at),
                             Chunk(chunk.begin() + at, chunk.end())};
      EXPECT_EQ(BodyText(chunks), Reference(chunks)) << size << " " << at;
    }
  }
}

TEST_P(BodyTextRules, LineEndsAndMovedBytesComeOutAsBefore) {
  struct Case {
    uint32_t codePage;  // 0: every one
    std::string body;
    std::u16string text;
  } cases[] = {
      {0, "a\nb", u"a\r\nb"},
      {0, "one\r\ntwo\r\n", u"one\r\r\ntwo\r\r\n"},
      {0, "\r", u"\r"},
      {0, std::string("z\0z", 3), std::u16string(u"z\0z", 3)},
      {0, std::string(40, '\n'),
       [] {
         std::u16string t;
         for (int i = 0; i < 40; ++i) t += u"\r\n";
         return t;
       }()},
      {1252, std::string("\x80\x9f\xa0\xff", 4), u"\u20AC\u0178\u00A0\u00FF"},
      // A lead byte takes the LF after it as its trail byte.
      {932, "\x82\xA0\n\x82\nb", u"\u3042\r\n\u30FBb"},
      {936, "\xD6\xD0\n\xD6\nb", u"\u4E2D\r\n?b"},
      {65001, "\xE6\x97\xA5\n\xE6\nb", u"\u65E5\r\n\uFFFD\r\nb"},
  };
  for (const Case& c : cases) {
    if (c.codePage != 0 && c.codePage != GetParam()) continue;
    const ChunkList chunks{Chunk(c.body.begin(), c.body.end())};
    EXPECT_EQ(BodyText(chunks), c.text) << c.body;
  }
  EXPECT_EQ(BodyText(ChunkList{}), u"");
  EXPECT_EQ(BodyText(ChunkList{Chunk{}, Chunk{}}), u"");
}

WEX_UNDER_EACH_CODE_PAGE(BodyTextRules);

}  // namespace
}  // namespace wex
