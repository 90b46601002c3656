#include "server/rss/text_search.h"

namespace wex {

namespace {

// True when some other character has the same upper case as c.
bool HasOtherCase(char16_t c) {
  return UpperChar(c) != c || c == 0x0178 || (c >= u'A' && c <= u'Z') ||
         (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7);
}

bool MatchesAt(ustring_view text, size_t at, ustring_view pattern) {
  for (size_t k = 1; k < pattern.size(); ++k) {
    if (UpperChar(text[at + k]) != UpperChar(pattern[k])) return false;
  }
  return true;
}

}  // namespace

size_t FindIgnoringCase(ustring_view text, ustring_view pattern, size_t from) {
  if (from > text.size()) return ustring::npos;
  if (pattern.empty()) return from;
  if (text.size() - from < pattern.size()) return ustring::npos;
  const size_t last = text.size() - pattern.size();
  const char16_t first = pattern[0];
  if (!HasOtherCase(first)) {
    // Tags begin with "<", which has no case: jump from one to the next.
    for (size_t at = text.find(first, from); at != ustring::npos && at <= last;
         at = text.find(first, at + 1)) {
      if (MatchesAt(text, at, pattern)) return at;
    }
    return ustring::npos;
  }
  const char16_t upper = UpperChar(first);
  for (size_t at = from; at <= last; ++at) {
    if (UpperChar(text[at]) == upper && MatchesAt(text, at, pattern)) return at;
  }
  return ustring::npos;
}

}  // namespace wex
