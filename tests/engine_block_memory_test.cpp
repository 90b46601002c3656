// Every block cut from a slab is its own memory, however it is cut and freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "server/engine/http_uc.h"

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

TEST(BlockMemory, BlocksOfEverySizeNeverOverlap) {
  // Heap-sized, slab-sized (8 KiB to 256 KiB) and beyond, mixed so that slabs
  // fill part way and new ones start.
  const size_t sizes[] = {1, 100, 8191, 8192, 8193, 65536, 40000, 262144, 262145, 1 << 20, 65535};
  std::vector<Chunk> chunks;
  for (int round = 0; round < 12; ++round) {
    for (size_t size : sizes) chunks.emplace_back(size);
  }
  FillAndCheck(chunks);
}

TEST(BlockMemory, FreeingInAnyOrderKeepsTheRestIntact) {
  std::mt19937 random(15);
  std::vector<Chunk> chunks;
  for (int i = 0; i < 200; ++i) chunks.emplace_back(8192 + random() % 65536);
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

}  // namespace
}  // namespace wex
