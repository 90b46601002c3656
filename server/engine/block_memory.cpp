// Blocks cut from slabs. Each thread cuts from a slab of its own; a slab
// counts its live blocks plus one for the thread cutting from it, and whoever
// drops the last count frees it, so a block may be freed on any thread. A
// thread's slab whose blocks are all freed is cut again from its start: a
// second download in the same process reuses memory already brought in.
#include "server/engine/block_memory.h"

#include <atomic>
#include <cstddef>

#include "common/large_buffer.h"
#include "server/engine/limits.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WEX_BLOCKS_FROM_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define WEX_BLOCKS_FROM_HEAP 1
#endif

namespace wex {
namespace {

// Blocks from 8 KiB up to an eighth of a slab are cut from slabs: the stored
// blocks of a fast transfer, each one receive. Unused where every block comes
// from the heap.
[[maybe_unused]] constexpr size_t kSmallestCut = 8u << 10;
constexpr size_t kLargestCut = kSlabBytes / 8;
static_assert(kReceiveBlockBytes <= kLargestCut, "a whole receive is cut from a slab");

constexpr bool CutsFromSlabs(size_t bytes) {
#ifdef WEX_BLOCKS_FROM_HEAP
  (void)bytes;
  return false;
#else
  return bytes >= kSmallestCut && bytes <= kLargestCut;
#endif
}

struct Slab {
  std::atomic<size_t> counts{1};  // the live blocks, and the cutting thread
  size_t used = 0;                // bytes from the slab's start, header included
};

// Every cut block follows the address of its slab (null for a block that had
// to come from the heap), padded to keep the heap's alignment.
constexpr size_t kAlignment = alignof(std::max_align_t);
constexpr size_t RoundUp(size_t bytes) {
  return (bytes + kAlignment - 1) / kAlignment * kAlignment;
}
constexpr size_t kPrefix = RoundUp(sizeof(Slab*));
constexpr size_t kHeader = RoundUp(sizeof(Slab));
static_assert(kHeader + kPrefix + RoundUp(kLargestCut) <= kSlabBytes,
              "a slab holds its largest cut");

void Drop(Slab* slab) {
  if (slab->counts.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    slab->~Slab();
    FreeSlab(slab);
  }
}

class ThreadSlab {
 public:
  ThreadSlab() = default;
  ThreadSlab(const ThreadSlab&) = delete;
  ThreadSlab& operator=(const ThreadSlab&) = delete;
  ~ThreadSlab() {
    if (slab_ != nullptr) Drop(slab_);
  }

  // The prefix of a new block of `bytes`, or nullptr when no slab is to be had.
  unsigned char* Cut(size_t bytes) {
    const size_t needed = kPrefix + RoundUp(bytes);
    // Only this thread adds counts, so a slab holding its own count alone
    // has no live block and stays so while it is cut again.
    if (slab_ != nullptr && slab_->counts.load(std::memory_order_acquire) == 1) {
      slab_->used = kHeader;
    }
    if (slab_ == nullptr || kSlabBytes - slab_->used < needed) {
      void* memory = AllocateSlab();
      if (memory == nullptr) return nullptr;
      if (slab_ != nullptr) Drop(slab_);
      slab_ = new (memory) Slab();
      slab_->used = kHeader;
    }
    unsigned char* prefix = reinterpret_cast<unsigned char*>(slab_) + slab_->used;
    slab_->used += needed;
    slab_->counts.fetch_add(1, std::memory_order_relaxed);
    *reinterpret_cast<Slab**>(prefix) = slab_;
    return prefix;
  }

 private:
  Slab* slab_ = nullptr;
};

thread_local ThreadSlab tThreadSlab;

}  // namespace

void* AllocateBlock(size_t bytes) {
  if (!CutsFromSlabs(bytes)) return ::operator new(bytes);
  unsigned char* prefix = tThreadSlab.Cut(bytes);
  if (prefix == nullptr) {
    prefix = static_cast<unsigned char*>(::operator new(kPrefix + bytes));
    *reinterpret_cast<Slab**>(prefix) = nullptr;
  }
  return prefix + kPrefix;
}

void FreeBlock(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  if (!CutsFromSlabs(bytes)) {
    ::operator delete(block);
    return;
  }
  unsigned char* prefix = static_cast<unsigned char*>(block) - kPrefix;
  Slab* slab = *reinterpret_cast<Slab**>(prefix);
  if (slab == nullptr) {
    ::operator delete(prefix);
    return;
  }
  Drop(slab);
}

}  // namespace wex
