// Stored blocks: each is its own memory however it is cut and freed, and
// their text equals the whole body converted at once, wherever they part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "common/codepage.h"
#include "server/engine/body_text.h"
#include "tests/support/code_pages.h"

namespace wex {
namespace {

// An overlap between two blocks shows as a pattern overwritten.
void FillAndCheck(std::vector<Chunk>& chunks) {
  for (size_t i = 0; i < chunks.size(); ++i) {
    std::fill(chunks[i].begin(), chunks[i].end(), static_cast<uint8_t>(i * 7 + 1));
  }
  for (size_t i = 0; i < chunks.size(); ++i) {
    const uint8_t expected = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_TRUE(std::all_of(chunks[i].begin(), chunks[i].end(),
                            [expected](uint8_t b) { return b == expected; }))
        << "chunk " << i << " of " << chunks[i].size() << " bytes was overwritten";
    ASSERT_EQ(reinterpret_cast<uintptr_t>(chunks[i].data()) % alignof(std::max_align_t), 0u);
  }
}

TEST(BlockMemory, BlocksOfEverySizeFreedInAnyOrderNeverOverlap) {
  // Heap-sized, slab-sized (8 KiB to 256 KiB) and beyond, mixed so that slabs
  // fill part way and new ones start.
  const size_t sizes[] = {1, 100, 8191, 8192, 8193, 65536, 40000, 262144, 262145, 1 << 20, 65535};
  std::mt19937 random(15);
  std::vector<Chunk> chunks;
  for (int round = 0; round < 12; ++round) {
    for (size_t size : sizes) chunks.emplace_back(size);
  }
  for (int i = 0; i < 200; ++i) chunks.emplace_back(8192 + random() % 65536);
  FillAndCheck(chunks);
  std::shuffle(chunks.begin(), chunks.end(), random);
  // Free half, allocate again (reusing what the freed slabs held), check all.
  chunks.resize(chunks.size() / 2);
  for (int i = 0; i < 100; ++i) chunks.emplace_back(65536);
  FillAndCheck(chunks);
  chunks.clear();
  // With everything freed, the thread's slab is cut again from its start.
  for (int i = 0; i < 50; ++i) chunks.emplace_back(65536);
  FillAndCheck(chunks);
}

TEST(BlockMemory, BlocksMayBeFreedOnAnotherThread) {
  auto chunks = std::make_shared<std::vector<Chunk>>();
  for (int i = 0; i < 100; ++i) chunks->emplace_back(65536, static_cast<uint8_t>(i));
  std::thread other([chunks]() mutable {
    // The other thread cuts blocks of its own while freeing this thread's.
    std::vector<Chunk> own;
    for (int i = 0; i < 100; ++i) own.emplace_back(65536);
    chunks->clear();
    FillAndCheck(own);
  });
  other.join();
  std::vector<Chunk> after;
  for (int i = 0; i < 100; ++i) after.emplace_back(65536);
  FillAndCheck(after);
}

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
