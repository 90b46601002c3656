// Rendering of a feed as an HTML fragment, one line per piece in a fixed order.
#include <initializer_list>

#include "common/large_buffer.h"
#include "server/rss/mod_rss.h"
#include "server/rss/tag_text.h"
#include "server/rss/text_search.h"

namespace wex {

namespace {

// The indent in front of a description: 14 characters, ending in a blank.
constexpr ustring_view kIndent = u"&#160; &#160; ";

// The output lines, written straight into the result with CR LF between
// them (none after the last): the table of lines and its join in one. It
// grows with the feed, so every item asked for is rendered however many
// lines that takes, and no line is copied twice.
class LineTable {
 public:
  // The rendering of a feed is seldom longer than the feed (tags, markup and
  // unused elements drop out), so room for that many characters means the
  // result is hardly ever moved; pages of it never written are never touched.
  explicit LineTable(size_t expected) {
    text_.reserve(expected);
    AdviseLargeWrite(&text_[0], expected * sizeof(char16_t));
  }
  void Append(std::initializer_list<ustring_view> pieces) {
    if (nLines_ > 0) text_.append(u"\r\n");
    for (ustring_view piece : pieces) text_.append(piece);
    ++nLines_;
  }
  ustring Take() {
    // A short rendering of a long feed gives back the room it did not use.
    if (text_.capacity() / 2 > text_.size()) text_.shrink_to_fit();
    return std::move(text_);
  }

 private:
  ustring text_;
  size_t nLines_ = 0;
};

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

// The elements an item is rendered from, as the first element of each kind
// in the item would be found one search at a time: the start tags are found
// in one scan of the item, then each end tag after its start tag.
struct ItemElements {
  ustring title, pubDate, author, description, link;
};

ItemElements FindElements(ustring_view item) {
  static constexpr ustring_view kStart[] = {u"<title>", u"<pubDate>", u"<author>", u"<description>",
                                            u"<link>"};
  static constexpr ustring_view kEnd[] = {u"</title>", u"</pubDate>", u"</author>",
                                          u"</description>", u"</link>"};
  constexpr size_t kCount = sizeof kStart / sizeof kStart[0];
  size_t start[kCount];
  FindEachIgnoringCase(item, kStart, kCount, 0, start);
  ustring content[kCount];
  for (size_t i = 0; i < kCount; ++i) {
    if (start[i] == ustring::npos) continue;
    const size_t b = start[i] + kStart[i].size();
    const size_t e = FindIgnoringCase(item, kEnd[i], b);
    if (e != ustring::npos) content[i] = ustring(item.substr(b, e - b));
  }
  return {std::move(content[0]), std::move(content[1]), std::move(content[2]),
          std::move(content[3]), std::move(content[4])};
}

// The lines of one item: title, date, author, description, link, whatever
// the order of the elements in the item. The emptiness tests look at the
// value before cleanup; the link text looks at the title after it.
void RenderItem(ustring_view item, bool IfDescription, const RssFragments& f, LineTable& sLines) {
  bool hasDate = false;
  bool hasAuthor = false;
  ItemElements e = FindElements(item);

  ustring& itemTitle = e.title;
  if (!itemTitle.empty()) {
    CleanText(itemTitle, false);
    sLines.Append({u"<H4>", itemTitle, u"</H4>"});
  }

  if (!e.pubDate.empty()) {
    hasDate = true;
    CleanText(e.pubDate, false);
    sLines.Append({f.sSpan1, e.pubDate, f.sSpanEnd, u"<BR>"});
  }

  if (!e.author.empty()) {
    hasAuthor = true;
    CleanText(e.author, false);
    sLines.Append({f.sSpan1, e.author, f.sSpanEnd, u"<BR>"});
  }

  if (IfDescription && !e.description.empty()) {
    CleanText(e.description, true);
    const ustring_view lead = (hasDate || hasAuthor) ? u"<BR>" : u"";
    sLines.Append({lead, f.sSpan2, kIndent, e.description, f.sSpanEnd, u"<BR>"});
  }

  if (!e.link.empty()) {
    CleanText(e.link, false);
    const ustring_view linkText =
        itemTitle.empty() ? ustring_view(e.link) : ustring_view(itemTitle);
    sLines.Append(
        {f.sLinkStart, AttributeText(e.link), f.sLinkMid, linkText, f.sLinkEnd, u"<BR>", u"<BR>"});
  }
}

}  // namespace

ustring FormatRSS(ustring_view text, int32_t NumberItems, bool IfDescription) {
  const RssFragments& f = ModuleFragments();
  LineTable sLines(text.size());
  int32_t pos = 0;

  // The channel title is the first title element of the whole document.
  // Without a complete one pos stays 0 and no item is found.
  ustring title = GetTagText(text, u"<title>", u"</title>", 1, pos);
  if (!title.empty()) {
    CleanText(title, false);
    sLines.Append({u"<H2>", title, u"</H2>"});
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

  return sLines.Take();
}

}  // namespace wex
