// Advice for a large buffer that is about to be written from end to end.
//
// Building a text of 128 MiB costs less in the copying than in the first
// touch of each of its 4 KiB pages; where the system can back such a buffer
// with large pages instead, it is asked to. Nothing changes in what the
// buffer holds, and where the system has no such advice this does nothing.
#pragma once

#include <cstddef>

namespace wex {

// Below this size the first touch costs too little to be worth a system call.
constexpr size_t kLargeBufferBytes = 4u << 20;

void AdviseLargeWrite(void* begin, size_t bytes);

}  // namespace wex
