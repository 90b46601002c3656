// Large pages on Windows need a privilege that a script's server does not
// hold, so a buffer gets no advice. A slab is committed and then locked and
// unlocked at once: the lock brings every page in with one call instead of
// one fault per page.
//
// A process may lock no more than its minimum working set, less a little,
// and Windows starts a process with a minimum of 50 pages (200 KiB): a slab
// of 2 MiB could never be locked as it is. So the minimum (and the maximum,
// where it is smaller) is raised by one slab for the lock and put back
// afterwards; the pages stay in the working set as any touched pages do.
// Raising it takes a privilege every user holds by default; where it is
// refused, or the lock fails anyway, the pages come in as they are touched,
// as any memory's do.
#include <windows.h>

#include "common/large_buffer.h"

namespace wex {
namespace {

// The working set is the process's, and slabs are taken on any thread: one
// raise and its restore at a time, so that none restores another's room.
SRWLOCK workingSetLock = SRWLOCK_INIT;

class WorkingSetGuard {
 public:
  WorkingSetGuard() { AcquireSRWLockExclusive(&workingSetLock); }
  ~WorkingSetGuard() { ReleaseSRWLockExclusive(&workingSetLock); }
  WorkingSetGuard(const WorkingSetGuard&) = delete;
  WorkingSetGuard& operator=(const WorkingSetGuard&) = delete;
};

void BringIn(void* slab) {
  WorkingSetGuard guard;
  HANDLE self = GetCurrentProcess();
  SIZE_T minimum = 0, maximum = 0;
  const bool known = GetProcessWorkingSetSize(self, &minimum, &maximum) != 0;
  const SIZE_T wanted = minimum + kSlabBytes;
  const bool raised =
      known && SetProcessWorkingSetSize(self, wanted, maximum > wanted ? maximum : wanted) != 0;
  if (VirtualLock(slab, kSlabBytes)) VirtualUnlock(slab, kSlabBytes);
  if (raised) SetProcessWorkingSetSize(self, minimum, maximum);
}

}  // namespace

void AdviseLargeWrite(void*, size_t) {}

void* MapSlab() {
  void* slab = VirtualAlloc(nullptr, kSlabBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (slab != nullptr) BringIn(slab);
  return slab;
}

void FreeSlab(void* slab) {
  if (slab != nullptr) VirtualFree(slab, 0, MEM_RELEASE);
}

}  // namespace wex
