// The formatter's searches against plain one-position-at-a-time references,
// on texts drawn from the characters that matter (the tag characters, both
// cases of ASCII and Latin-1 letters, U+00FF and U+0178) at every alignment.
#include <gtest/gtest.h>

#include <random>

#include "server/rss/text_search.h"

namespace wex {
namespace {

size_t NaiveFind(ustring_view text, ustring_view pattern, size_t from, bool ignoreCase) {
  if (from > text.size()) return ustring::npos;
  for (size_t at = from; at + pattern.size() <= text.size(); ++at) {
    size_t k = 0;
    while (k < pattern.size() && (ignoreCase ? UpperChar(text[at + k]) == UpperChar(pattern[k])
                                             : text[at + k] == pattern[k]))
      ++k;
    if (k == pattern.size()) return at;
  }
  return ustring::npos;
}

ustring Draw(std::mt19937& random, size_t length) {
  static const char16_t kAlphabet[] = u"<</>tTiIeEaA\u00e9\u00c9\u00ff\u0178x ";
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet / sizeof kAlphabet[0] - 2);
  ustring text;
  for (size_t i = 0; i < length; ++i) text += kAlphabet[pick(random)];
  return text;
}

TEST(TextSearch, AgreesWithAPlainSearch) {
  std::mt19937 random(20261207);
  const ustring_view patterns[] = {u"<title>", u"</t", u"<a",      u"<\u00e9", u"<\u00ff",
                                   u"<",       u"t",   u"\u00c9<", u"</A>",    u"<x"};
  for (int round = 0; round < 3000; ++round) {
    const ustring text = Draw(random, round % 70);
    for (ustring_view pattern : patterns) {
      for (size_t from = 0; from <= text.size() + 1; from += 1 + from / 8) {
        ASSERT_EQ(FindIgnoringCase(text, pattern, from), NaiveFind(text, pattern, from, true))
            << round << " " << from;
        ASSERT_EQ(FindText(text, pattern, from), NaiveFind(text, pattern, from, false))
            << round << " " << from;
      }
      ASSERT_EQ(FindChar(text, pattern[0], 0), NaiveFind(text, pattern.substr(0, 1), 0, false));
    }
  }
}

TEST(TextSearch, OneScanForSeveralTagsFindsWhatSeparateSearchesFind) {
  std::mt19937 random(7);
  const ustring_view shared[] = {u"<title>", u"<ti", u"<A", u"</a>", u"<\u00ff"};
  const ustring_view mixed[] = {u"<title>", u"tI", u"</a>"};  // not one first character
  for (int round = 0; round < 3000; ++round) {
    const ustring text = Draw(random, round % 90);
    const size_t from = round % 5;
    size_t found[5];
    FindEachIgnoringCase(text, shared, 5, from, found);
    for (size_t i = 0; i < 5; ++i) ASSERT_EQ(found[i], FindIgnoringCase(text, shared[i], from));
    FindEachIgnoringCase(text, mixed, 3, from, found);
    for (size_t i = 0; i < 3; ++i) ASSERT_EQ(found[i], FindIgnoringCase(text, mixed[i], from));
  }
}

}  // namespace
}  // namespace wex
