// Slabs as the store takes them: mapped by the platform, each page written
// once, and the next one made ready on a thread of its own.
//
// On a paravirtualised machine the first write from user space to each page
// traps to the hypervisor, about 5 us a page, even after the page was
// faulted in or locked: 0.08 s for a 64 MiB body. So the spare is made, page
// by page, while the current slab fills, and the store writes into pages
// already mapped. One spare at most: a small download costs one slab more of
// memory and no wait.
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "common/large_buffer.h"

namespace wex {
namespace {

// Every page size the platforms use is a multiple of this.
constexpr size_t kSmallestPageBytes = 4096;

void* ReadySlab() {
  void* slab = MapSlab();
  if (slab == nullptr) return nullptr;
  for (size_t offset = 0; offset < kSlabBytes; offset += kSmallestPageBytes)
    static_cast<volatile char*>(slab)[offset] = 0;  // stays zeroed
  return slab;
}

// The maker of the spare slab. It is never destroyed: its thread may still
// run while the process ends.
class SpareSlab {
 public:
  static SpareSlab& Instance() {
    static SpareSlab* maker = new SpareSlab();
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
    return slab != nullptr ? slab : ReadySlab();
  }

 private:
  SpareSlab() {
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
      void* slab = ReadySlab();
      lock.lock();
      making_ = false;
      if (spare_ == nullptr) std::swap(spare_, slab);
      FreeSlab(slab);
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  void* spare_ = nullptr;
  bool wanted_ = false, making_ = false, working_ = false;
};

}  // namespace

void* AllocateSlab() { return SpareSlab::Instance().Take(); }

}  // namespace wex
