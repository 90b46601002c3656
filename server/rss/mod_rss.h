// The feed formatter: turns the text of an RSS document into an HTML fragment
// with the channel title and, per item, its title, date, author, description
// and a link. There is no XML parsing: elements are found by plain text search
// for their start and end tags, and every value taken from the document is
// cleaned before it is placed in the output. Positions are 1-based; 0 means
// "nothing found", as in the automation strings this works on.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

// The fixed HTML pieces of the rendering, shared by the whole process.
struct RssFragments {
  ustring sQuote;      // "
  ustring sSpan1;      // <SPAN ID="T1">  wraps the date and author lines
  ustring sSpan2;      // <SPAN ID="T2">  wraps the description lines
  ustring sSpanEnd;    // </SPAN>
  ustring sLinkStart;  // <A HREF="
  ustring sLinkMid;    // " TARGET="_blank">
  ustring sLinkEnd;    // </A>
};

// Sets the module fragments; calling it again sets the same values. They are
// also built on first use, so FormatRSS is sound even if this never ran.
void InitFragments();

// The module fragments as FormatRSS reads them.
const RssFragments& ModuleFragments();

// Removes CDATA markers and decodes &gt; &lt; &apos; &amp; (once, in that
// order, letter case exact); with reduceMarkup also drops links with their
// text, turns heading end tags into <BR> and removes every other tag. The
// result is never longer than the value. Never fails.
void CleanText(ustring& value, bool reduceMarkup);

// The content of the first element that starts with startTag at or after
// startPos and ends at the first endTag after it; tags are matched ignoring
// letter case. Only the exact argument "<item" may carry attributes. On a
// complete element nextPos is set to four characters into its end tag, where
// the next search begins; otherwise it is left alone and the result is empty.
ustring GetTagText(ustring_view text, ustring_view startTag, ustring_view endTag, int32_t startPos,
                   int32_t& nextPos);
ustring GetTagText(ustring_view text, ustring_view startTag, ustring_view endTag, int32_t startPos);

// The HTML fragment for a feed: the channel title, then at most NumberItems
// items (none when it is below 1), descriptions only when IfDescription is
// true; lines joined by CR LF. Empty when there is nothing to render.
ustring FormatRSS(ustring_view text, int32_t NumberItems, bool IfDescription);

}  // namespace wex
