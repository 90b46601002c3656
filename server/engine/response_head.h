// The response head, read in the bytes as they arrive: the blank line that
// ends it, the status code and text, the redirect line and the body length it
// promises. Nothing here converts text, so that a header in another encoding
// (UTF-8 under a double-byte code page, say) cannot move where a line or the
// body starts; the caller converts only the two texts it keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "server/engine/limits.h"

namespace wex {

// No valid length in the head, or none that counts.
constexpr int64_t kNoContentLength = -1;

class ResponseHead {
 public:
  // A head longer than this is not looked for any further: what was
  // collected is body and no status is read.
  static constexpr size_t kMaxBytes = kMaxHeadBytes;

  enum class Progress { kIncomplete, kComplete, kTooLong };

  ResponseHead() = default;
  // The fields point into the collected bytes, which a move keeps.
  ResponseHead(const ResponseHead&) = delete;
  ResponseHead& operator=(const ResponseHead&) = delete;
  ResponseHead(ResponseHead&&) = default;
  ResponseHead& operator=(ResponseHead&&) = default;

  // Adds one received block and looks for the blank line in the new bytes
  // only (and the three before them, for a blank line split between blocks).
  // Once complete, the fields below hold and Add is not called again until
  // Clear. May throw std::bad_alloc.
  Progress Add(const uint8_t* bytes, size_t count);

  // Forgets everything, releasing the memory.
  void Clear();

  // Everything collected: the head and, once complete, the bytes after it.
  const std::vector<uint8_t>& Collected() const { return collected_; }
  // Where the body starts in Collected(): just after the blank line.
  size_t Length() const { return length_; }

  // Three decimal digits after the status line's first blank, else 0.
  int32_t StatusCode() const { return statusCode_; }
  // The status line after its blank, the code and one separator.
  std::string_view StatusText() const { return statusText_; }
  // For 301 to 303, the first line holding "Location:" in any letter case,
  // from that word to the line's end; otherwise empty.
  std::string_view Location() const { return location_; }
  // The Content-Length value (name in any case, blanks and tabs around the
  // value), or kNoContentLength when there is none, when it is not all
  // decimal digits, passes 2^62 or differs from another Content-Length line,
  // and for statuses that carry no body (1xx, 204, 304).
  int64_t ContentLength() const { return contentLength_; }

 private:
  void ReadFields();

  std::vector<uint8_t> collected_;
  size_t scanned_ = 0;
  size_t length_ = 0;
  int32_t statusCode_ = 0;
  std::string_view statusText_;
  std::string_view location_;
  int64_t contentLength_ = kNoContentLength;
};

}  // namespace wex
