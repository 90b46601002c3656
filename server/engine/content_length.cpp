#include "server/engine/content_length.h"

namespace wex {
namespace {

// Larger values are refused rather than risk an overflow; no body the
// engine can hold comes near it.
constexpr int64_t kLargestLength = int64_t{1} << 62;

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t'; }

uint8_t AsciiLower(uint8_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// True when the line [begin, end) starts with `name` followed by a colon,
// ignoring ASCII case; `value` is then where the value begins.
bool HeaderNamed(const uint8_t* begin, const uint8_t* end, const char* name,
                 const uint8_t*& value) {
  const uint8_t* p = begin;
  for (; *name != '\0'; ++name, ++p) {
    if (p == end || AsciiLower(*p) != static_cast<uint8_t>(*name)) return false;
  }
  if (p == end || *p != ':') return false;
  value = p + 1;
  return true;
}

// The digits of [begin, end) with blanks around them, or kNoContentLength.
int64_t DecimalValue(const uint8_t* begin, const uint8_t* end) {
  while (begin != end && IsBlank(*begin)) ++begin;
  while (end != begin && IsBlank(end[-1])) --end;
  if (begin == end) return kNoContentLength;
  int64_t value = 0;
  for (const uint8_t* p = begin; p != end; ++p) {
    if (*p < '0' || *p > '9') return kNoContentLength;
    const int digit = *p - '0';
    if (value > (kLargestLength - digit) / 10) return kNoContentLength;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

int64_t ContentLength(const uint8_t* head, size_t length) {
  const uint8_t* const end = head + length;
  int64_t found = kNoContentLength;
  bool statusLine = true;
  for (const uint8_t* line = head; line < end;) {
    const uint8_t* lineEnd = line;
    while (lineEnd != end && *lineEnd != '\n') ++lineEnd;
    const uint8_t* next = lineEnd == end ? end : lineEnd + 1;
    if (lineEnd != line && lineEnd[-1] == '\r') --lineEnd;
    const uint8_t* value = nullptr;
    if (!statusLine && HeaderNamed(line, lineEnd, "content-length", value)) {
      const int64_t length = DecimalValue(value, lineEnd);
      if (length == kNoContentLength) return kNoContentLength;
      if (found != kNoContentLength && found != length) return kNoContentLength;
      found = length;
    }
    statusLine = false;
    line = next;
  }
  return found;
}

}  // namespace wex
