// What bringing a slab in costs and saves, measured where it runs: stores a
// 64 MiB body in 64 KiB copies into fresh 2 MiB slabs, each slab obtained
//   commit   committed only: every page faults on its first write,
//   lock     committed, locked and unlocked with the working set as it is,
//   raised   the same with the working set first made room for the slab and
//            restored afterwards,
//   engine   through AllocateSlab, as the engine gets its slabs,
// in interleaved rounds. Prints the working set the process started with,
// whether a lock of one slab succeeds with it and whether one succeeds once
// the working set was made room (with the error when not), and per variant
// "slab_<variant> MEDIAN_SECONDS LOCKS_FAILED".
//   slab_store.exe [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/large_buffer.h"

namespace {

constexpr size_t kBody = 64u << 20;
constexpr size_t kBlock = 64u << 10;

enum class Variant { kCommit, kLock, kRaised, kEngine };
const char* const kNames[] = {"commit", "lock", "raised", "engine"};

void* Commit() {
  return VirtualAlloc(nullptr, wex::kSlabBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

bool LockAndUnlock(void* slab) {
  if (!VirtualLock(slab, wex::kSlabBytes)) return false;
  VirtualUnlock(slab, wex::kSlabBytes);
  return true;
}

// Sets `raised` to whether the working set took the slab's room; the last
// error is the lock's.
bool RaisedLock(void* slab, bool* raised = nullptr) {
  SIZE_T minimum = 0, maximum = 0;
  HANDLE self = GetCurrentProcess();
  if (!GetProcessWorkingSetSize(self, &minimum, &maximum)) return LockAndUnlock(slab);
  const SIZE_T wanted = minimum + wex::kSlabBytes;
  const bool made = SetProcessWorkingSetSize(self, wanted, std::max(maximum, wanted)) != 0;
  if (raised != nullptr) *raised = made;
  const bool locked = LockAndUnlock(slab);
  const DWORD error = GetLastError();
  if (made) SetProcessWorkingSetSize(self, minimum, maximum);
  SetLastError(error);
  return locked;
}

// Seconds to store the body; counts the locks that failed.
double Store(Variant variant, const char* source, int& failedLocks) {
  std::vector<void*> slabs;
  auto start = std::chrono::steady_clock::now();
  for (size_t stored = 0; stored < kBody;) {
    void* slab = variant == Variant::kEngine ? wex::AllocateSlab() : Commit();
    if (slab == nullptr) std::exit(1);
    if (variant == Variant::kLock && !LockAndUnlock(slab)) ++failedLocks;
    if (variant == Variant::kRaised && !RaisedLock(slab)) ++failedLocks;
    slabs.push_back(slab);
    for (size_t at = 0; at + kBlock <= wex::kSlabBytes && stored < kBody; at += kBlock) {
      std::memcpy(static_cast<char*>(slab) + at, source, kBlock);
      stored += kBlock;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (void* slab : slabs) {
    if (variant == Variant::kEngine)
      wex::FreeSlab(slab);
    else
      VirtualFree(slab, 0, MEM_RELEASE);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  SIZE_T minimum = 0, maximum = 0;
  GetProcessWorkingSetSize(GetCurrentProcess(), &minimum, &maximum);
  std::printf("working_set %zu %zu\n", static_cast<size_t>(minimum), static_cast<size_t>(maximum));
  void* probe = Commit();
  const bool locked = probe != nullptr && VirtualLock(probe, wex::kSlabBytes);
  std::printf("lock_default %s %lu\n", locked ? "ok" : "failed", locked ? 0ul : GetLastError());
  if (locked) VirtualUnlock(probe, wex::kSlabBytes);
  if (probe != nullptr) VirtualFree(probe, 0, MEM_RELEASE);
  probe = Commit();
  bool raised = false;
  const bool raisedLock = probe != nullptr && RaisedLock(probe, &raised);
  std::printf("lock_raised %s %lu (working set %s)\n", raisedLock ? "ok" : "failed",
              raisedLock ? 0ul : GetLastError(), raised ? "raised" : "not raised");
  if (probe != nullptr) VirtualFree(probe, 0, MEM_RELEASE);

  std::vector<char> source(kBlock, 'x');
  std::vector<double> times[4];
  int failed[4] = {};
  for (int round = 0; round < rounds; ++round) {
    for (int v = 0; v < 4; ++v)
      times[v].push_back(Store(static_cast<Variant>(v), source.data(), failed[v]));
  }
  for (int v = 0; v < 4; ++v) {
    std::sort(times[v].begin(), times[v].end());
    std::printf("slab_%s %.4f %d\n", kNames[v], times[v][times[v].size() / 2], failed[v]);
  }
  return 0;
}
