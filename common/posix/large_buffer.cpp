// Transparent huge pages: advice for a buffer, and slabs aligned to one huge
// page each so that the kernel can back a slab with a single page; where it
// grants none, a slab is still faulted in with one call.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

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

}  // namespace

void AdviseLargeWrite(void* begin, size_t bytes) {
  if (bytes < kLargeBufferBytes) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(page - 1);
  if (end <= start) return;
  AdviseHugePages(reinterpret_cast<void*>(start), end - start);
}

// Maps twice the size and keeps the aligned slab inside it.
void* MapSlab() {
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
  return reinterpret_cast<void*>(slab);
}

void FreeSlab(void* slab) {
  if (slab != nullptr) munmap(slab, kSlabBytes);
}

}  // namespace wex
