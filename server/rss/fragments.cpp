// The module fragments. They are built on first use as well as by
// InitFragments, so a rendering never sees them empty, whatever the order in
// which objects of the process are created.
#include "server/rss/mod_rss.h"

namespace wex {

namespace {

RssFragments BuildFragments() {
  RssFragments f;
  f.sQuote = ustring(1, char16_t(34));
  f.sSpan1 = u"<SPAN ID=" + f.sQuote + u"T1" + f.sQuote + u">";
  f.sSpan2 = u"<SPAN ID=" + f.sQuote + u"T2" + f.sQuote + u">";
  f.sSpanEnd = u"</SPAN>";
  f.sLinkStart = u"<A HREF=" + f.sQuote;
  f.sLinkMid = f.sQuote + u" TARGET=" + f.sQuote + u"_blank" + f.sQuote + u">";
  f.sLinkEnd = u"</A>";
  return f;
}

RssFragments& Fragments() {
  static RssFragments fragments = BuildFragments();
  return fragments;
}

}  // namespace

void InitFragments() { Fragments() = BuildFragments(); }

const RssFragments& ModuleFragments() { return Fragments(); }

}  // namespace wex
