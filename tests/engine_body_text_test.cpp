// The body's text equals the whole body converted at once, wherever blocks part.
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

// The reference's own rules, which the comparisons above take for granted.
TEST_P(BodyTextRules, LineEndsAndMovedBytesComeOutAsBefore) {
  const std::pair<uint32_t, ChunkList> cases[] = {
      {0, {}},
      {0, {Chunk{}, Chunk{}}},
      {1252, {Chunk{'o', '\r', '\n', 0x80, '\n'}}},
      {932, {Chunk{0x82, 0xA0, '\n', 0x82, '\n', 'b'}}},
  };
  const std::u16string texts[] = {u"", u"", u"o\r\r\n\u20AC\r\n", u"\u3042\r\n\u30FBb"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    if (cases[i].first == 0 || cases[i].first == GetParam()) {
      EXPECT_EQ(BodyText(cases[i].second), texts[i]) << i;
    }
  }
}

WEX_UNDER_EACH_CODE_PAGE(BodyTextRules);

}  // namespace
}  // namespace wex
