// Transparent huge pages: advice for a buffer, and slabs aligned to one huge
// page each so that the kernel can back a slab with a single page; where it
// grants none, a slab is still faulted in with one call, and the next one is
// made ready on a thread of its own while the current one fills.
#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "common/large_buffer.h"

namespace wex {
namespace {

// Only advice: a kernel without huge pages refuses it, and nothing changes.
void AdviseHugePages(void* begin, size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(begin, bytes, MADV_HUGEPAGE);
#else
  (void)begin;
  (void)bytes;
#endif
}

// Without huge pages a slab is 512 pages, each faulted in at its first write;
// one call faults them all (Linux 5.14 and later). An older kernel refuses
// the advice (EINVAL) and the pages come at their first write, as before.
void FaultIn(void* begin, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  madvise(begin, bytes, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)bytes;
#endif
}

// Maps twice the size and keeps the aligned slab inside it.
void* FreshSlab() {
  void* mapped =
      mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t slab = (begin + kSlabBytes - 1) & ~(uintptr_t{kSlabBytes} - 1);
  if (slab > begin) munmap(mapped, slab - begin);
  const uintptr_t end = begin + 2 * kSlabBytes;
  if (end > slab + kSlabBytes)
    munmap(reinterpret_cast<void*>(slab + kSlabBytes), end - (slab + kSlabBytes));
  AdviseHugePages(reinterpret_cast<void*>(slab), kSlabBytes);
  FaultIn(reinterpret_cast<void*>(slab), kSlabBytes);
  // Even faulted in, a page's first write from user space traps to the
  // hypervisor on a paravirtualised machine; a huge page takes one trap.
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  for (size_t offset = 0; offset < kSlabBytes; offset += page)
    reinterpret_cast<volatile char*>(slab)[offset] = 0;  // stays zeroed
  return reinterpret_cast<void*>(slab);
}

// One spare slab, made on a thread of its own whenever one is taken, so that
// the store writes into pages already mapped. The maker is never destroyed:
// its thread may still run while the process ends.
class SpareSlabs {
 public:
  static SpareSlabs& Instance() {
    static SpareSlabs* maker = new SpareSlabs();
    return *maker;
  }

  void* Take() {
    void* slab = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // The spare being made is worth the wait: it is most of the way there.
      changed_.wait(lock, [&] { return !making_; });
      slab = std::exchange(spare_, nullptr);
      wanted_ = working_;
    }
    changed_.notify_all();
    return slab != nullptr ? slab : FreshSlab();
  }

 private:
  SpareSlabs() {
    try {
      std::thread([this] { Run(); }).detach();
      working_ = true;
    } catch (const std::system_error&) {  // no thread to spare: slabs come when taken
    }
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return wanted_; });
      wanted_ = false;
      making_ = true;
      lock.unlock();
      void* slab = FreshSlab();
      lock.lock();
      making_ = false;
      if (spare_ == nullptr) std::swap(spare_, slab);
      if (slab != nullptr) munmap(slab, kSlabBytes);
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  void* spare_ = nullptr;
  bool wanted_ = false, making_ = false, working_ = false;
};

}  // namespace

void AdviseLargeWrite(void* begin, size_t bytes) {
  if (bytes < kLargeBufferBytes) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(page - 1);
  if (end <= start) return;
  AdviseHugePages(reinterpret_cast<void*>(start), end - start);
}

void* AllocateSlab() { return SpareSlabs::Instance().Take(); }

void FreeSlab(void* slab) {
  if (slab != nullptr) munmap(slab, kSlabBytes);
}

}  // namespace wex
