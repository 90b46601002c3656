// Memory for the stored blocks of a body.
//
// The blocks of one body are allocated one after another and freed together,
// when nothing holds the transfer's list any longer. So they are cut one after
// another from slabs (common/large_buffer.h): a body of 64 MiB then takes 32
// slabs, each brought in at once, instead of sixteen thousand pages each
// faulted in by the copy that fills it. A slab is freed with the last block
// cut from it. Blocks too small to be worth it, or too large for a slab, come
// from the heap, and so does everything under AddressSanitizer, which checks
// the heap's blocks and not a slab's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace wex {

// Throws std::bad_alloc when there is no memory.
void* AllocateBlock(size_t bytes);
// `bytes` is the size the block was allocated with.
void FreeBlock(void* block, size_t bytes) noexcept;

template <typename T>
class BlockAllocator {
 public:
  using value_type = T;

  BlockAllocator() noexcept = default;
  template <typename U>
  BlockAllocator(const BlockAllocator<U>&) noexcept {}

  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateBlock(count * sizeof(T)));
  }
  void deallocate(T* block, size_t count) noexcept { FreeBlock(block, count * sizeof(T)); }

  // A block made from a count alone is left unset, as new T[count] would be:
  // it is about to be filled from a receive, and zeroing it first would touch
  // every byte twice.
  template <typename U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }

  // Every allocator frees what any other allocated.
  template <typename U>
  bool operator==(const BlockAllocator<U>&) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const BlockAllocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace wex
