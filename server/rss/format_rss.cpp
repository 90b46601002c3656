// Rendering of a feed as an HTML fragment, one line per piece in a fixed order.
#include <initializer_list>
#include <vector>

#include "server/rss/mod_rss.h"
#include "server/rss/tag_text.h"
#include "server/rss/text_search.h"

namespace wex {

namespace {

// Room for the channel title and five lines for each of 80 items; the table
// grows beyond that, so a longer feed still renders every item asked for.
constexpr size_t kInitialLines = 401;

// The indent in front of a description: 14 characters, ending in a blank.
constexpr ustring_view kIndent = u"&#160; &#160; ";

using Lines = std::vector<ustring>;

// One output line from its pieces, allocated once.
void AppendLine(Lines& sLines, std::initializer_list<ustring_view> pieces) {
  size_t size = 0;
  for (ustring_view piece : pieces) size += piece.size();
  ustring line;
  line.reserve(size);
  for (ustring_view piece : pieces) line.append(piece);
  sLines.push_back(std::move(line));
}

// The address as the value of a quoted attribute. A raw quotation mark would
// end the attribute and let the feed write its own attributes into the
// link; a valid address never holds one (it is written %22), so it is kept
// as an entity and every valid address is unchanged.
ustring AttributeText(ustring_view address) {
  ustring out;
  out.reserve(address.size());
  for (char16_t c : address) {
    if (c == u'"') {
      out.append(u"&quot;");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The lines of one item: title, date, author, description, link, whatever
// the order of the elements in the item. The emptiness tests look at the
// value before cleanup; the link text looks at the title after it.
void RenderItem(ustring_view item, bool IfDescription, const RssFragments& f, Lines& sLines) {
  bool hasDate = false;
  bool hasAuthor = false;

  ustring itemTitle = GetTagText(item, u"<title>", u"</title>", 1);
  if (!itemTitle.empty()) {
    CleanText(itemTitle, false);
    AppendLine(sLines, {u"<H4>", itemTitle, u"</H4>"});
  }

  ustring v = GetTagText(item, u"<pubDate>", u"</pubDate>", 1);
  if (!v.empty()) {
    hasDate = true;
    CleanText(v, false);
    AppendLine(sLines, {f.sSpan1, v, f.sSpanEnd, u"<BR>"});
  }

  v = GetTagText(item, u"<author>", u"</author>", 1);
  if (!v.empty()) {
    hasAuthor = true;
    CleanText(v, false);
    AppendLine(sLines, {f.sSpan1, v, f.sSpanEnd, u"<BR>"});
  }

  if (IfDescription) {
    v = GetTagText(item, u"<description>", u"</description>", 1);
    if (!v.empty()) {
      CleanText(v, true);
      const ustring_view lead = (hasDate || hasAuthor) ? u"<BR>" : u"";
      AppendLine(sLines, {lead, f.sSpan2, kIndent, v, f.sSpanEnd, u"<BR>"});
    }
  }

  v = GetTagText(item, u"<link>", u"</link>", 1);
  if (!v.empty()) {
    CleanText(v, false);
    const ustring_view linkText = itemTitle.empty() ? ustring_view(v) : ustring_view(itemTitle);
    AppendLine(sLines, {f.sLinkStart, AttributeText(v), f.sLinkMid, linkText, f.sLinkEnd, u"<BR>",
                        u"<BR>"});
  }
}

// The lines joined by CR LF, none after the last, in one allocation.
ustring JoinLines(const Lines& sLines) {
  size_t size = 0;
  for (const ustring& line : sLines) size += line.size() + 2;
  ustring result;
  if (sLines.empty()) return result;
  result.reserve(size - 2);
  for (size_t n = 0; n < sLines.size(); ++n) {
    if (n > 0) result.append(u"\r\n");
    result.append(sLines[n]);
  }
  return result;
}

}  // namespace

ustring FormatRSS(ustring_view text, int32_t NumberItems, bool IfDescription) {
  const RssFragments& f = ModuleFragments();
  Lines sLines;
  sLines.reserve(kInitialLines);
  int32_t pos = 0;

  // The channel title is the first title element of the whole document.
  // Without a complete one pos stays 0 and no item is found.
  ustring title = GetTagText(text, u"<title>", u"</title>", 1, pos);
  if (!title.empty()) {
    CleanText(title, false);
    AppendLine(sLines, {u"<H2>", title, u"</H2>"});
  }

  // An RSS 1.0 item list after the title is skipped, not taken for an item.
  if (pos >= 1) {
    const size_t k = FindIgnoringCase(text, u"<items>", static_cast<size_t>(pos) - 1);
    if (k != ustring::npos) pos = static_cast<int32_t>(k + 1 + 7);
  }

  // Each item search starts where the previous one ended, so the document
  // is scanned once however many items it has. An empty item ends the list.
  for (int32_t n = 0; n < NumberItems; ++n) {
    const int32_t start = pos;
    pos = 0;
    const ustring_view item = TagTextView(text, u"<item", u"</item>", start, &pos);
    if (item.empty()) break;
    RenderItem(item, IfDescription, f, sLines);
  }

  return JoinLines(sLines);
}

}  // namespace wex
