// Large buffers: advice for one about to be written from end to end, and
// slabs of memory committed in one piece.
//
// Building a text of 128 MiB, or storing a body of 64 MiB, costs less in the
// copying than in the first touch of each of its 4 KiB pages (on a virtual
// machine a first touch can cost as much as receiving the bytes did). Where
// the system can back such memory with large pages, or commit it in one call,
// it is asked to. Nothing changes in what the memory holds, and where the
// system has no such means this costs nothing more than ordinary memory.
#pragma once

#include <cstddef>

namespace wex {

// Below this size the first touch costs too little to be worth a system call.
constexpr size_t kLargeBufferBytes = 4u << 20;

void AdviseLargeWrite(void* begin, size_t bytes);

// A slab is the size of one large page where the system has them.
constexpr size_t kSlabBytes = 2u << 20;

// kSlabBytes of zeroed, writable memory, backed at once where the system
// allows it, each page already written once; nullptr when there is none.
// One more is made ready meanwhile on a thread of its own.
void* AllocateSlab();
void FreeSlab(void* slab);

// The platform's part of AllocateSlab: a slab mapped and brought in the
// system's way, nullptr when there is none.
void* MapSlab();

}  // namespace wex
