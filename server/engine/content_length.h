// The body length a response head promises, read from its Content-Length
// line. Only the end of a transfer uses it: a connection that ends before
// that many body bytes arrived was cut off.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wex {

// No valid length in the head.
constexpr int64_t kNoContentLength = -1;

// The value of the head's Content-Length header (name in any letter case,
// blanks and tabs around the value), or kNoContentLength when there is none
// or it cannot be trusted: a value that is not all decimal digits, is empty,
// passes 2^62, or differs from another Content-Length line of the same head.
// `head` holds the head through its blank line; the status line is skipped.
int64_t ContentLength(const uint8_t* head, size_t length);

}  // namespace wex
