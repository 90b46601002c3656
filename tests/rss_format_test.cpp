// Feed rendering: the worked example, the line layout and the edge cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/rss/mod_rss.h"

namespace wex {
namespace {

ustring Join(const std::vector<std::u16string>& rows, ustring_view separator) {
  ustring out;
  for (size_t n = 0; n < rows.size(); ++n) {
    if (n > 0) out.append(separator);
    out.append(rows[n]);
  }
  return out;
}

const std::vector<std::u16string> kGardenFeed = {
    u"<?xml version=\"1.0\"?>",
    u"<rss version=\"2.0\">",
    u"<channel>",
    u"<title>Garden Notes</title>",
    u"<link>index.html</link>",
    u"<description>Weekly notes</description>",
    u"<item>",
    u"<title>Tomatoes &amp; Basil</title>",
    u"<link>page1.html</link>",
    u"<description><![CDATA[Plant <b>early</b>.<a href=\"tips.html\">More</a> Water "
    u"daily.]]></description>",
    u"<pubDate>Mon, 06 Jun 2005 08:00:00 GMT</pubDate>",
    u"<author>editor</author>",
    u"</item>",
    u"<item>",
    u"<title>Frost warning</title>",
    u"<link>page2.html</link>",
    u"<description>Cover beds tonight.&lt;/h3&gt;Check again at dawn.</description>",
    u"</item>",
    u"</channel>",
    u"</rss>",
};

const std::vector<std::u16string> kGardenHtml = {
    u"<H2>Garden Notes</H2>",
    u"<H4>Tomatoes & Basil</H4>",
    u"<SPAN ID=\"T1\">Mon, 06 Jun 2005 08:00:00 GMT</SPAN><BR>",
    u"<SPAN ID=\"T1\">editor</SPAN><BR>",
    u"<BR><SPAN ID=\"T2\">&#160; &#160; Plant early. Water daily.</SPAN><BR>",
    u"<A HREF=\"page1.html\" TARGET=\"_blank\">Tomatoes & Basil</A><BR><BR>",
    u"<H4>Frost warning</H4>",
    u"<SPAN ID=\"T2\">&#160; &#160; Cover beds tonight.<BR>Check again at dawn.</SPAN><BR>",
    u"<A HREF=\"page2.html\" TARGET=\"_blank\">Frost warning</A><BR><BR>",
};

// The expected output lines by their 1-based numbers.
ustring Lines(std::initializer_list<int> numbers) {
  std::vector<std::u16string> rows;
  for (int n : numbers) rows.push_back(kGardenHtml[n - 1]);
  return Join(rows, u"\r\n");
}

TEST(FormatRSS, RendersTheGardenFeed) {
  InitFragments();
  struct Case {
    int32_t numberItems;
    bool ifDescription;
    ustring expected;
  } cases[] = {
      {10, true, Lines({1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {10, false, Lines({1, 2, 3, 4, 6, 7, 9})},
      {1, true, Lines({1, 2, 3, 4, 5, 6})},
      {2, true, Lines({1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {0, true, Lines({1})},
      {-1, true, Lines({1})},
      {INT32_MIN, true, Lines({1})},
      {INT32_MAX, true, Lines({1, 2, 3, 4, 5, 6, 7, 8, 9})},
  };
  for (const ustring_view lineBreak : {u"\r\n", u"\n", u"\r"}) {
    const ustring feed = Join(kGardenFeed, lineBreak);
    for (const Case& c : cases) {
      EXPECT_EQ(ToUtf8(FormatRSS(feed, c.numberItems, c.ifDescription)), ToUtf8(c.expected))
          << c.numberItems << " " << c.ifDescription;
    }
  }
}

TEST(FormatRSS, FragmentsAreSetBeforeAndAfterInitFragments) {
  const RssFragments& f = ModuleFragments();
  EXPECT_EQ(f.sSpan1, u"<SPAN ID=\"T1\">");
  InitFragments();
  InitFragments();
  EXPECT_EQ(f.sQuote, u"\"");
  EXPECT_EQ(f.sSpan1, u"<SPAN ID=\"T1\">");
  EXPECT_EQ(f.sSpan2, u"<SPAN ID=\"T2\">");
  EXPECT_EQ(f.sSpanEnd, u"</SPAN>");
  EXPECT_EQ(f.sLinkStart, u"<A HREF=\"");
  EXPECT_EQ(f.sLinkMid, u"\" TARGET=\"_blank\">");
  EXPECT_EQ(f.sLinkEnd, u"</A>");
}

TEST(FormatRSS, EdgeCases) {
  const ustring T = u"<title>C</title>";
  const ustring H2 = u"<H2>C</H2>";
  const ustring BR = u"\r\n";
  struct Case {
    const char* name;
    ustring feed;
    ustring expected;
  } cases[] = {
      {"empty document", u"", u""},
      {"no title, items", u"<item><link>u</link><author>a</author></item>", u""},
      {"unclosed title, items", u"<title>C<item><link>u</link></item>", u""},
      {"title, no items", u"<html><head><title>Page</title></head></html>", u"<H2>Page</H2>"},
      {"item title in capitals", T + u"<ITEM><TITLE>A</TITLE><Link>u</LINK></Item>",
       H2 + BR + u"<H4>A</H4>" + BR + u"<A HREF=\"u\" TARGET=\"_blank\">A</A><BR><BR>"},
      {"item with attributes", T + u"<item rdf:about=\"u\"><title>A</title></item>",
       H2 + BR + u"<H4>A</H4>"},
      // Taken for an item, the list would run to the first "</item>" and
      // show the image's title.
      {"RSS 1.0 items list skipped",
       T + u"<items><rdf:Seq/></items><image><title>Logo</title></image>"
           u"<item><title>A</title></item>",
       H2 + BR + u"<H4>A</H4>"},
      {"empty item ends the list",
       T + u"<item><title>A</title></item><item></item><item><title>B</title></item>",
       H2 + BR + u"<H4>A</H4>"},
      {"link without title shows the address", T + u"<item><link>u&amp;v</link></item>",
       H2 + BR + u"<A HREF=\"u&v\" TARGET=\"_blank\">u&v</A><BR><BR>"},
      {"neither title nor link", T + u"<item><author>me</author></item>",
       H2 + BR + u"<SPAN ID=\"T1\">me</SPAN><BR>"},
      {"title of only CDATA markers", T + u"<item><title><![CDATA[]]></title><link>u</link></item>",
       H2 + BR + u"<H4></H4>" + BR + u"<A HREF=\"u\" TARGET=\"_blank\">u</A><BR><BR>"},
      {"entities decoded once", u"<title>A &amp;amp; B &amp; C</title>", u"<H2>A &amp; B & C</H2>"},
      {"fixed line order",
       T + u"<item><link>u</link><description>d</description><author>a</author>"
           u"<pubDate>p</pubDate><title>t</title></item>",
       H2 + BR + u"<H4>t</H4>" + BR + u"<SPAN ID=\"T1\">p</SPAN><BR>" + BR +
           u"<SPAN ID=\"T1\">a</SPAN><BR>" + BR +
           u"<BR><SPAN ID=\"T2\">&#160; &#160; d</SPAN><BR>" + BR +
           u"<A HREF=\"u\" TARGET=\"_blank\">t</A><BR><BR>"},
      {"author alone leads the description with a break",
       T + u"<item><author>a</author><description>d</description></item>",
       H2 + BR + u"<SPAN ID=\"T1\">a</SPAN><BR>" + BR +
           u"<BR><SPAN ID=\"T2\">&#160; &#160; d</SPAN><BR>"},
      {"a value that cleans to nothing keeps its line",
       T + u"<item><description><b></b></description></item>",
       H2 + BR + u"<SPAN ID=\"T2\">&#160; &#160; </SPAN><BR>"},
      {"the first title of the document is the channel title",
       u"<item><title>A</title></item><item><title>B</title></item>",
       u"<H2>A</H2>" + BR + u"<H4>B</H4>"},
      {"a quotation mark cannot leave the address attribute",
       T + u"<item><link>x\" onclick=\"y</link></item>",
       H2 + BR +
           u"<A HREF=\"x&quot; onclick=&quot;y\" TARGET=\"_blank\">x\" onclick=\"y</A>"
           u"<BR><BR>"},
      {"a < at the very end", T + u"<item><title>A</title></item><", H2 + BR + u"<H4>A</H4>"},
      {"unclosed item", T + u"<item><title>A</title>", H2},
      {"item start tag never closed", T + u"<item", H2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(FormatRSS(c.feed, 10, true)), ToUtf8(c.expected)) << c.name;
  }
}

TEST(FormatRSS, RendersEveryItemOfALongFeed) {
  ustring feed = u"<rss><channel><title>C</title>";
  const int kItems = 250;  // five lines each: well beyond the first 401 lines
  for (int n = 0; n < kItems; ++n) {
    const ustring k = DecimalText(n);
    feed += u"<item><title>" + k + u"</title><pubDate>d</pubDate><author>a</author>" +
            u"<description>x</description><link>" + k + u"</link></item>\n";
  }
  const ustring html = FormatRSS(feed, kItems, true);
  size_t lines = 1;
  for (size_t at = html.find(u"\r\n"); at != ustring::npos; at = html.find(u"\r\n", at + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u + 5u * kItems);
  EXPECT_NE(html.find(u">249</A><BR><BR>"), ustring::npos);
  EXPECT_EQ(html.substr(html.size() - 16), u">249</A><BR><BR>");
  EXPECT_EQ(FormatRSS(feed, 100, true).find(u">100</A>"), ustring::npos);
}

TEST(FormatRSS, SurvivesNulAndUnpairedSurrogates) {
  ustring feed = u"<title>C</title><item><title>";
  feed += ustring{u'\0', char16_t(0xD800), u'x', char16_t(0xDC00)};
  feed += u"</title><description>a";
  feed += u'\0';
  feed += u"b</description></item>";
  const ustring title{u'\0', char16_t(0xD800), u'x', char16_t(0xDC00)};
  EXPECT_EQ(FormatRSS(feed, 5, true),
            u"<H2>C</H2>\r\n<H4>" + title + u"</H4>\r\n<SPAN ID=\"T2\">&#160; &#160; a</SPAN><BR>");
}

}  // namespace
}  // namespace wex
