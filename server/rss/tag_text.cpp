// Element extraction by text search for the start and end tags.
#include <cstdint>
#include <limits>

#include "server/rss/mod_rss.h"
#include "server/rss/tag_text.h"
#include "server/rss/text_search.h"

namespace wex {

namespace {

// Positions are 32-bit; a longer text (beyond what a 32-bit process can hold
// anyway) is treated as holding no element rather than giving wrong positions.
constexpr size_t kMaxTextLength = std::numeric_limits<int32_t>::max() - 16;

}  // namespace

ustring_view TagTextView(ustring_view text, ustring_view startTag, ustring_view endTag,
                         int32_t startPos, int32_t* nextPos) {
  // A start below 1 finds nothing.
  if (startPos < 1 || text.size() > kMaxTextLength) return {};
  const size_t p = FindIgnoringCase(text, startTag, static_cast<size_t>(startPos) - 1);
  if (p == ustring::npos) return {};

  // Content start b (0-based). Only "<item", exactly so written, may carry
  // attributes: its content begins after the first ">" of its start tag.
  size_t b;
  if (startTag == u"<item") {
    const size_t gt = text.find(u'>', p);
    if (gt == ustring::npos) return {};
    b = gt + 1;
  } else {
    b = p + startTag.size();
  }
  // The 1-based form of the design's test "b not greater than 1".
  if (b == 0) return {};

  const size_t e = FindIgnoringCase(text, endTag, b);
  if (e == ustring::npos) return {};
  // Four characters into the end tag (1-based e + 4).
  if (nextPos) *nextPos = static_cast<int32_t>(e + 1 + 4);
  return text.substr(b, e - b);
}

ustring GetTagText(ustring_view text, ustring_view startTag, ustring_view endTag, int32_t startPos,
                   int32_t& nextPos) {
  return ustring(TagTextView(text, startTag, endTag, startPos, &nextPos));
}

ustring GetTagText(ustring_view text, ustring_view startTag, ustring_view endTag,
                   int32_t startPos) {
  return ustring(TagTextView(text, startTag, endTag, startPos, nullptr));
}

}  // namespace wex
