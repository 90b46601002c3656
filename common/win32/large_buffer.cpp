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
//
// On a paravirtualised machine the first write to each page still costs a
// trap to the hypervisor after the lock, about 5 us a page: 0.08 s for a
// 64 MiB body, half of what the store of a plain download costs beyond its
// receives. So the next slab is made ready, touched page by page, on a pool
// thread while the current one fills, and the store writes into pages that
// are already mapped. One spare at most, so a small download costs one slab
// more of memory and no wait.
#include <windows.h>

#include <utility>

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

void* FreshSlab() {
  void* slab = VirtualAlloc(nullptr, kSlabBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (slab == nullptr) return nullptr;
  BringIn(slab);
  constexpr size_t kPageBytes = 4096;
  for (size_t offset = 0; offset < kSlabBytes; offset += kPageBytes)
    static_cast<volatile char*>(slab)[offset] = 0;  // stays zeroed
  return slab;
}

// The spare slab and the pool work that makes it, both taken under the lock.
SRWLOCK spareLock = SRWLOCK_INIT;
PTP_WORK spareWork = nullptr;
void* spare = nullptr;

void CALLBACK MakeSpare(PTP_CALLBACK_INSTANCE, void*, PTP_WORK) {
  void* slab = FreshSlab();
  AcquireSRWLockExclusive(&spareLock);
  std::swap(spare, slab);
  ReleaseSRWLockExclusive(&spareLock);
  FreeSlab(slab);  // a spare made twice over (two takers at once) replaces the other
}

}  // namespace

void AdviseLargeWrite(void*, size_t) {}

void* AllocateSlab() {
  AcquireSRWLockExclusive(&spareLock);
  if (spareWork == nullptr) spareWork = CreateThreadpoolWork(MakeSpare, nullptr, nullptr);
  PTP_WORK work = spareWork;
  ReleaseSRWLockExclusive(&spareLock);
  // The spare being made is worth the wait: it is most of the way there.
  if (work != nullptr) WaitForThreadpoolWorkCallbacks(work, FALSE);
  AcquireSRWLockExclusive(&spareLock);
  void* slab = std::exchange(spare, nullptr);
  ReleaseSRWLockExclusive(&spareLock);
  if (slab == nullptr) slab = FreshSlab();
  if (work != nullptr) SubmitThreadpoolWork(work);
  return slab;
}

void FreeSlab(void* slab) {
  if (slab != nullptr) VirtualFree(slab, 0, MEM_RELEASE);
}

}  // namespace wex
