#include "server/engine/response_head.h"

#include <algorithm>
#include <iterator>

namespace wex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlankLine = "\r\n\r\n";

// Larger lengths are refused rather than risk an overflow; no body the engine
// can hold comes near them.
constexpr int64_t kLargestLength = int64_t{1} << 62;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Responses that carry no body whatever their Content-Length says: the
// informational ones, 204 No Content and 304 Not Modified.
bool PromisesBody(int32_t status) {
  return !(status >= 100 && status < 200) && status != 204 && status != 304;
}

// First position of `needle` (lower-case ASCII) in `text`, ignoring ASCII
// case; npos when it is not there.
size_t FindIgnoringCase(std::string_view text, std::string_view needle) {
  auto found = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                           [](char a, char b) { return AsciiLower(a) == b; });
  return found == text.end() ? std::string_view::npos : static_cast<size_t>(found - text.begin());
}

// The value of a line that is `name` (lower case), a colon and the value,
// with the name in any case; false for any other line.
bool HeaderValue(std::string_view line, std::string_view name, std::string_view& value) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  if (FindIgnoringCase(line.substr(0, name.size()), name) != 0) return false;
  value = line.substr(name.size() + 1);
  return true;
}

// The decimal digits of `value` with blanks around them, or kNoContentLength.
int64_t DecimalValue(std::string_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  if (value.empty()) return kNoContentLength;
  int64_t number = 0;
  for (char c : value) {
    if (!IsDigit(c)) return kNoContentLength;
    const int digit = c - '0';
    if (number > (kLargestLength - digit) / 10) return kNoContentLength;
    number = number * 10 + digit;
  }
  return number;
}

// The Content-Length of the header lines after the status line. Lines end
// at LF, with a CR before it dropped, as servers that end lines with a bare
// LF inside a CR LF head still mean them as lines.
int64_t ContentLengthOf(std::string_view head) {
  int64_t found = kNoContentLength;
  size_t next = head.find('\n');
  while (next != std::string_view::npos && next + 1 < head.size()) {
    const size_t start = next + 1;
    next = head.find('\n', start);
    std::string_view line =
        head.substr(start, next == std::string_view::npos ? next : next - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view value;
    if (!HeaderValue(line, "content-length", value)) continue;
    const int64_t length = DecimalValue(value);
    if (length == kNoContentLength || (found != kNoContentLength && found != length)) {
      return kNoContentLength;
    }
    found = length;
  }
  return found;
}

}  // namespace

ResponseHead::Progress ResponseHead::Add(const uint8_t* bytes, size_t count) {
  const size_t from = scanned_ >= kBlankLine.size() - 1 ? scanned_ - (kBlankLine.size() - 1) : 0;
  collected_.insert(collected_.end(), bytes, bytes + count);
  scanned_ = collected_.size();
  const auto start = collected_.begin() + static_cast<std::ptrdiff_t>(from);
  const auto found = std::search(start, collected_.end(), kBlankLine.begin(), kBlankLine.end());
  if (found != collected_.end()) {
    const size_t end = static_cast<size_t>(found - collected_.begin()) + kBlankLine.size();
    if (end > kMaxBytes) return Progress::kTooLong;
    length_ = end;
    ReadFields();
    return Progress::kComplete;
  }
  return collected_.size() >= kMaxBytes ? Progress::kTooLong : Progress::kIncomplete;
}

void ResponseHead::Clear() { *this = ResponseHead(); }

// The status line's code and text, then the lines that depend on the code.
void ResponseHead::ReadFields() {
  const std::string_view head(reinterpret_cast<const char*>(collected_.data()), length_);
  const std::string_view status = head.substr(0, head.find(kLineEnd));
  const size_t blank = status.find(' ');
  if (blank != std::string_view::npos) {
    // Only three decimal digits count as a code; the text starts after the
    // blank, the code and one separator.
    const std::string_view code = status.substr(blank + 1, 3);
    if (code.size() == 3 && std::all_of(code.begin(), code.end(), IsDigit)) {
      statusCode_ = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    }
    if (blank + 5 < status.size()) statusText_ = status.substr(blank + 5);
  }
  if (statusCode_ > 300 && statusCode_ < 304) {
    const size_t location = FindIgnoringCase(head, "location:");
    if (location != std::string_view::npos) {
      location_ = head.substr(location, head.find(kLineEnd, location) - location);
    }
  }
  contentLength_ = PromisesBody(statusCode_) ? ContentLengthOf(head) : kNoContentLength;
}

}  // namespace wex
