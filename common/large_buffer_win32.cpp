// Large pages on Windows need a privilege that a script's server does not
// hold, so a buffer gets no advice. A slab is committed and then locked and
// unlocked at once: the lock brings every page in with one call instead of
// one fault per page; where the working set is too small for it the lock
// fails and the pages come in as they are touched, as any memory's do.
#include <windows.h>

#include "common/large_buffer.h"

namespace wex {

void AdviseLargeWrite(void*, size_t) {}

void* AllocateSlab() {
  void* slab = VirtualAlloc(nullptr, kSlabBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (slab != nullptr && VirtualLock(slab, kSlabBytes)) VirtualUnlock(slab, kSlabBytes);
  return slab;
}

void FreeSlab(void* slab) {
  if (slab != nullptr) VirtualFree(slab, 0, MEM_RELEASE);
}

}  // namespace wex
