// The body as text against a byte-by-byte reference: every byte value, and
// a line feed at every offset around the widening groups and the blocks.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "server/engine/body_text.h"

namespace wex {
namespace {

// One byte at a time through the code page, each LF as CR LF.
ustring Reference(const ChunkList& chunks) {
  ustring text;
  for (const Chunk& chunk : chunks) {
    for (uint8_t byte : chunk) {
      if (byte == '\n') text += u'\r';
      text += AnsiToText(&byte, 1);
    }
  }
  return text;
}

TEST(BodyText, EveryByteValueInEveryPositionOfAGroup) {
  // 256 values shifted through a 48-byte window, so each value meets each
  // lane of a group and both neighbours of every other value.
  for (size_t shift = 0; shift < 17; ++shift) {
    Chunk chunk(shift, 'a');
    for (int b = 0; b < 256; ++b) chunk.push_back(static_cast<uint8_t>(b));
    const ChunkList chunks{chunk};
    EXPECT_EQ(BodyText(chunks), Reference(chunks)) << shift;
  }
}

TEST(BodyText, LineFeedsAtEveryOffsetOfGroupsAndBlocks) {
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

TEST(BodyText, LineEndsAndMovedBytesComeOutAsBefore) {
  struct Case {
    std::string body;
    std::u16string text;
  } cases[] = {
      {"a\nb", u"a\r\nb"},
      {"one\r\ntwo\r\n", u"one\r\r\ntwo\r\r\n"},
      {"\r", u"\r"},
      {std::string("\x80\x9f\xa0\xff", 4), u"\u20AC\u0178\u00A0\u00FF"},
      {std::string("z\0z", 3), std::u16string(u"z\0z", 3)},
      {std::string(40, '\n'),
       [] {
         std::u16string t;
         for (int i = 0; i < 40; ++i) t += u"\r\n";
         return t;
       }()},
  };
  for (const Case& c : cases) {
    const ChunkList chunks{Chunk(c.body.begin(), c.body.end())};
    EXPECT_EQ(BodyText(chunks), c.text) << c.body;
  }
  EXPECT_EQ(BodyText(ChunkList{}), u"");
  EXPECT_EQ(BodyText(ChunkList{Chunk{}, Chunk{}}), u"");
}

}  // namespace
}  // namespace wex
