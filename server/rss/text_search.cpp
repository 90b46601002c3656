#include "server/rss/text_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wex {

namespace {

// True when some other character has the same upper case as c.
bool HasOtherCase(char16_t c) {
  return UpperChar(c) != c || c == 0x0178 || (c >= u'A' && c <= u'Z') ||
         (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7);
}

bool IsAsciiLetter(char16_t c) { return (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; }

bool MatchesAt(ustring_view text, size_t at, ustring_view pattern) {
  for (size_t k = 1; k < pattern.size(); ++k) {
    if (UpperChar(text[at + k]) != UpperChar(pattern[k])) return false;
  }
  return true;
}

// The first position in [from, end) where text holds `first` followed by a
// character that may match `second`: second itself, or with fold set either
// case of that ASCII letter. Both characters are looked for eight positions
// at a time where the processor can; `end` + 1 must lie within the text.
size_t FindPair(ustring_view text, char16_t first, char16_t second, bool fold, size_t from,
                size_t end) {
  const char16_t* const data = text.data();
  const char16_t foldBits = fold ? 0x20 : 0;
  size_t at = from;
#if defined(__SSE2__)
  const __m128i wantFirst = _mm_set1_epi16(static_cast<short>(first));
  const __m128i wantSecond = _mm_set1_epi16(static_cast<short>(second | foldBits));
  const __m128i bits = _mm_set1_epi16(static_cast<short>(foldBits));
  for (; end - at >= 8; at += 8) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    const __m128i both = _mm_and_si128(_mm_cmpeq_epi16(here, wantFirst),
                                       _mm_cmpeq_epi16(_mm_or_si128(next, bits), wantSecond));
    const int hits = _mm_movemask_epi8(both);
    if (hits != 0) return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 2;
  }
#endif
  for (; at < end; ++at) {
    if (data[at] == first && (data[at + 1] | foldBits) == (second | foldBits)) return at;
  }
  return end;
}

}  // namespace

size_t FindChar(ustring_view text, char16_t c, size_t from) {
  const char16_t* const data = text.data();
  const size_t end = text.size();
  size_t at = from;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(c));
  for (; at < end && end - at >= 8; at += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(block, wanted));
    if (hits != 0) return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 2;
  }
#endif
  for (; at < end; ++at) {
    if (data[at] == c) return at;
  }
  return ustring::npos;
}

size_t FindText(ustring_view text, ustring_view pattern, size_t from) {
  if (pattern.empty()) return from <= text.size() ? from : ustring::npos;
  for (size_t at = FindChar(text, pattern[0], from);
       at != ustring::npos && text.size() - at >= pattern.size();
       at = FindChar(text, pattern[0], at + 1)) {
    if (text.compare(at, pattern.size(), pattern) == 0) return at;
  }
  return ustring::npos;
}

void FindEachIgnoringCase(ustring_view text, const ustring_view* patterns, size_t count,
                          size_t from, size_t* found) {
  bool shared = count > 0 && !patterns[0].empty() && !HasOtherCase(patterns[0][0]);
  for (size_t i = 0; i < count; ++i) {
    found[i] = ustring::npos;
    shared = shared && !patterns[i].empty() && patterns[i][0] == patterns[0][0];
  }
  if (!shared) {
    for (size_t i = 0; i < count; ++i) found[i] = FindIgnoringCase(text, patterns[i], from);
    return;
  }
  // Most candidates are told apart by the character after the first.
  constexpr size_t kMostPatterns = 8;
  if (count > kMostPatterns) {
    for (size_t i = 0; i < count; ++i) found[i] = FindIgnoringCase(text, patterns[i], from);
    return;
  }
  char16_t second[kMostPatterns];
  for (size_t i = 0; i < count; ++i) {
    second[i] = patterns[i].size() > 1 ? UpperChar(patterns[i][1]) : 0;
  }
  size_t left = count;
  for (size_t at = FindChar(text, patterns[0][0], from); at != ustring::npos && left > 0;
       at = FindChar(text, patterns[0][0], at + 1)) {
    const char16_t next = at + 1 < text.size() ? UpperChar(text[at + 1]) : 0;
    for (size_t i = 0; i < count; ++i) {
      if (found[i] != ustring::npos || text.size() - at < patterns[i].size()) continue;
      if (patterns[i].size() > 1 && next != second[i]) continue;
      if (MatchesAt(text, at, patterns[i])) {
        found[i] = at;
        --left;
      }
    }
  }
}

size_t FindIgnoringCase(ustring_view text, ustring_view pattern, size_t from) {
  if (from > text.size()) return ustring::npos;
  if (pattern.empty()) return from;
  if (text.size() - from < pattern.size()) return ustring::npos;
  const size_t last = text.size() - pattern.size();
  const char16_t first = pattern[0];
  if (!HasOtherCase(first)) {
    // Tags begin with "<", which has no case, and go on with an ASCII letter
    // or "/": candidates are found two characters at a time.
    const char16_t second = pattern.size() > 1 ? pattern[1] : 0;
    if (pattern.size() > 1 && (IsAsciiLetter(second) || !HasOtherCase(second))) {
      const bool fold = IsAsciiLetter(second);
      for (size_t at = FindPair(text, first, second, fold, from, last + 1); at <= last;
           at = FindPair(text, first, second, fold, at + 1, last + 1)) {
        if (MatchesAt(text, at, pattern)) return at;
      }
      return ustring::npos;
    }
    for (size_t at = FindChar(text, first, from); at != ustring::npos && at <= last;
         at = FindChar(text, first, at + 1)) {
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
