// Transparent huge pages for the whole pages inside the buffer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "common/large_buffer.h"

namespace wex {

void AdviseLargeWrite(void* begin, size_t bytes) {
  if (bytes < kLargeBufferBytes) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(page - 1);
  if (end <= start) return;
    // Only advice: a kernel without huge pages refuses it, and nothing changes.
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

}  // namespace wex
