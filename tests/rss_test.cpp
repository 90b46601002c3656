// Feed rendering and its parts: element extraction, value cleanup and the
// searches, the last against plain one-position-at-a-time references.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "server/rss/mod_rss.h"
#include "server/rss/text_search.h"

namespace wex {
namespace {

ustring Join(const std::vector<std::u16string>& rows, ustring_view separator) {
  ustring out;
  for (size_t n = 0; n < rows.size(); ++n) out.append(n > 0 ? separator : u"").append(rows[n]);
  return out;
}

const std::vector<std::u16string> kGardenFeed = {
    u"<?xml version=\"1.0\"?>",
    u"<rss version=\"2.0\"><channel>",
    u"<title>Garden Notes</title><link>index.html</link>",
    u"<description>Weekly notes</description>",
    u"<item><title>Tomatoes &amp; Basil</title><link>page1.html</link>",
    u"<description><![CDATA[Plant <b>early</b>.<a href=\"tips.html\">More</a> Water "
    u"daily.]]></description>",
    u"<pubDate>Mon, 06 Jun 2005 08:00:00 GMT</pubDate><author>editor</author>",
    u"</item>",
    u"<item><title>Frost warning</title><link>page2.html</link>",
    u"<description>Cover beds tonight.&lt;/h3&gt;Check again at dawn.</description>",
    u"</item></channel></rss>",
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
  const struct {
    int32_t numberItems;
    bool ifDescription;
    ustring expected;
  } cases[] = {
      {INT32_MAX, true, Lines({1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {INT32_MAX, false, Lines({1, 2, 3, 4, 6, 7, 9})},
      {1, true, Lines({1, 2, 3, 4, 5, 6})},
      {2, true, Lines({1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {0, true, Lines({1})},
      {INT32_MIN, true, Lines({1})},
  };
  for (const ustring_view lineBreak : {u"\r\n", u"\n", u"\r"}) {
    for (const auto& c : cases) {
      EXPECT_EQ(ToUtf8(FormatRSS(Join(kGardenFeed, lineBreak), c.numberItems, c.ifDescription)),
                ToUtf8(c.expected))
          << c.numberItems << " " << c.ifDescription;
    }
  }
}

TEST(FormatRSS, EdgeCases) {
  const ustring T = u"<title>C</title>", H2 = u"<H2>C</H2>\r\n";
  const struct {
    const char* name;
    ustring feed;
    ustring expected;
  } cases[] = {
      {"no title, items", u"<item><link>u</link><author>a</author></item>", u""},
      {"title, no items", u"<html><head><title>Page</title></head></html>", u"<H2>Page</H2>"},
      // Taken for an item, the list would run to the first "</item>".
      {"RSS 1.0 items list skipped",
       T + u"<items><rdf:Seq/></items><image><title>Logo</title></image>"
           u"<item><title>A</title></item>",
       H2 + u"<H4>A</H4>"},
      {"empty item ends the list",
       T + u"<item><title>A</title></item><item></item><item><title>B</title></item>",
       H2 + u"<H4>A</H4>"},
      {"link without title shows the address", T + u"<item><link>u&amp;v</link></item>",
       H2 + u"<A HREF=\"u&v\" TARGET=\"_blank\">u&v</A><BR><BR>"},
      {"neither title nor link", T + u"<item><author>me</author></item>",
       H2 + u"<SPAN ID=\"T1\">me</SPAN><BR>"},
      {"title of only CDATA markers", T + u"<item><title><![CDATA[]]></title><link>u</link></item>",
       H2 + u"<H4></H4>\r\n<A HREF=\"u\" TARGET=\"_blank\">u</A><BR><BR>"},
      {"fixed line order",
       T + u"<item><link>u</link><description>d</description><author>a</author>"
           u"<pubDate>p</pubDate><title>t</title></item>",
       H2 + u"<H4>t</H4>\r\n<SPAN ID=\"T1\">p</SPAN><BR>\r\n<SPAN ID=\"T1\">a</SPAN><BR>\r\n"
            u"<BR><SPAN ID=\"T2\">&#160; &#160; d</SPAN><BR>\r\n"
            u"<A HREF=\"u\" TARGET=\"_blank\">t</A><BR><BR>"},
      {"author alone leads the description with a break",
       T + u"<item><author>a</author><description>d</description></item>",
       H2 + u"<SPAN ID=\"T1\">a</SPAN><BR>\r\n<BR><SPAN ID=\"T2\">&#160; &#160; d</SPAN><BR>"},
      {"a value that cleans to nothing keeps its line",
       T + u"<item><description><b></b></description></item>",
       H2 + u"<SPAN ID=\"T2\">&#160; &#160; </SPAN><BR>"},
      {"the first title of the document is the channel title",
       u"<item><title>A</title></item><item><title>B</title></item>", u"<H2>A</H2>\r\n<H4>B</H4>"},
      {"a quotation mark cannot leave the address attribute",
       T + u"<item><link>x\" onclick=\"y</link></item>",
       H2 + u"<A HREF=\"x&quot; onclick=&quot;y\" TARGET=\"_blank\">x\" onclick=\"y</A><BR><BR>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToUtf8(FormatRSS(c.feed, 10, true)), ToUtf8(c.expected)) << c.name;
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
  for (size_t at = html.find(u"\r\n"); at != ustring::npos; at = html.find(u"\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, 1u + 5u * kItems);
  EXPECT_EQ(html.substr(html.size() - 16), u">249</A><BR><BR>");
  EXPECT_EQ(FormatRSS(feed, 100, true).find(u">100</A>"), ustring::npos);
}

TEST(GetTagText, FindsElementsAndWhereTheNextSearchBegins) {
  const struct {
    const char16_t* text;
    const char16_t* startTag;
    const char16_t* endTag;
    int32_t startPos;
    const char16_t* result;
    int32_t nextPos;  // -1: left unchanged
  } cases[] = {
      {u"<title>T</title>", u"<title>", u"</title>", 1, u"T", 13},
      {u"ab<TITLE>T</Title>", u"<title>", u"</title>", 1, u"T", 15},
      {u"<b><b>1</b>2</b>", u"<b>", u"</b>", 1, u"<b>1", 12},  // no nesting
      {u"<t>1</t><t>2</t>", u"<t>", u"</t>", 2, u"2", 17},
      {u"<t>1</t>", u"<t>", u"</t>", 0, u"", -1},
      {u"<t>1", u"<t>", u"</t>", 1, u"", -1},
      {u"<t></t>", u"<t>", u"</t>", 1, u"", 8},
      // Only "<item", exactly so written, may carry attributes.
      {u"<item rdf:about=\"x\">I</item>", u"<item", u"</item>", 1, u"I", 26},
      {u"<ITEM a=1>I</ITEM>", u"<item", u"</item>", 1, u"I", 16},
      {u"<item a=1>I</item>", u"<ITEM", u"</item>", 1, u" a=1>I", 16},
      {u"<item", u"<item", u"</item>", 1, u"", -1},
      {u"abc", u"", u"", 1, u"", -1},
  };
  for (const auto& c : cases) {
    int32_t next = -1;
    EXPECT_EQ(ToUtf8(GetTagText(c.text, c.startTag, c.endTag, c.startPos, next)), ToUtf8(c.result))
        << ToUtf8(c.text);
    EXPECT_EQ(next, c.nextPos) << ToUtf8(c.text);
  }
}

TEST(CleanText, ReplacesMarkersAndEntitiesAndReducesMarkup) {
  const ustring odd{u'a', u'\0', u'\xD800', u'b', u'\xDC00'};  // NUL and unpaired surrogates
  const struct {
    ustring value;
    bool reduce;
    ustring result;
  } cases[] = {
      {u"x<![CDATA[y<![CDATA[z", false, u"xyz"},
      {u"&lt;b&gt; &apos;q&apos; &amp;", false, u"<b> 'q' &"},
      {u"&amp;lt;", false, u"&lt;"},  // decoded once
      {u"&amp;amp;", false, u"&amp;"},
      {u"&quot; &#38; &AMP; &LT;", false, u"&quot; &#38; &AMP; &LT;"},
      // A removal can join a later step's pattern, never its own.
      {u"<![CDA<![CDATA[TA[", false, u"<![CDATA["},
      {u"]]<![CDATA[>", false, u""},
      {u"&g]]>t;", false, u">"},
      {u"]]]>>", false, u"]>"},
      {odd, false, odd},
      {u"x<a href=y>z</a>.end", true, u"x.end"},
      {u"Head</h2>Body", true, u"Head<BR>Body"},
      {u"One</HTML>Two", true, u"One<BR>L>Two"},
      {u"Go<A>here</A> now", true, u"Gohere now"},
      {u"text <bold", true, u"text "},
      {u"a<A\r\nhref=x>link</a>b", true, u"ab"},  // CR LF from the engine
      {u"a<A\nhref=x>link</a>b", true, u"alinkb"},
      {u"&lt;p&gt;Only text&lt;/p&gt;", true, u"Only text"},
      {u"ab<cd", true, u"ab<cd"},  // too short for a tag
      {u"ab<cde", true, u"ab"},
      {u"<a x<a y<a z", true, u"a xa ya z"},  // unclosed anchors lose only their "<"
      {u"<a 1</a>2<a 3", true, u"2a 3"},
      {ustring(u"ab\0c<i>d", 8), true, u"ab"},
      {u"\xDFFF<", true, u"\xDFFF<"},
  };
  for (const auto& c : cases) {
    ustring value = c.value;
    CleanText(value, c.reduce);
    EXPECT_EQ(value, c.result) << ToUtf8(c.value);
  }
}

size_t NaiveFind(ustring_view text, ustring_view pattern, size_t from, bool ignoreCase) {
  for (size_t at = from; at + pattern.size() <= text.size(); ++at) {
    size_t k = 0;
    while (k < pattern.size() && (ignoreCase ? UpperChar(text[at + k]) == UpperChar(pattern[k])
                                             : text[at + k] == pattern[k]))
      ++k;
    if (k == pattern.size()) return at;
  }
  return ustring::npos;
}

// Texts of the characters that matter (tag characters, both cases of ASCII and
// Latin-1 letters, U+00FF and U+0178) at every alignment.
TEST(TextSearch, AgreesWithPlainSearches) {
  static const char16_t kAlphabet[] = u"<</>tTiIeEaA\u00e9\u00c9\u00ff\u0178x ";
  std::mt19937 random(20261207);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet / sizeof kAlphabet[0] - 2);
  const ustring_view patterns[] = {u"<title>", u"</t", u"<a",      u"<\u00e9", u"<\u00ff",
                                   u"<",       u"t",   u"\u00c9<", u"</A>",    u"<x"};
  const ustring_view shared[] = {u"<title>", u"<ti", u"<A", u"</a>", u"<\u00ff"};
  const ustring_view mixed[] = {u"<title>", u"tI", u"</a>"};  // not one first character
  for (int round = 0; round < 3000; ++round) {
    ustring text;
    while (text.size() < static_cast<size_t>(round % 80)) text += kAlphabet[pick(random)];
    for (ustring_view pattern : patterns) {
      for (size_t from = 0; from <= text.size() + 1; from += 1 + from / 8) {
        ASSERT_EQ(FindIgnoringCase(text, pattern, from), NaiveFind(text, pattern, from, true))
            << round << " " << from;
        ASSERT_EQ(FindText(text, pattern, from), NaiveFind(text, pattern, from, false))
            << round << " " << from;
      }
      ASSERT_EQ(FindChar(text, pattern[0], 0), NaiveFind(text, pattern.substr(0, 1), 0, false));
    }
    // One scan for several tags finds what separate searches find.
    size_t found[5];
    for (const auto& [tags, count] : {std::pair{shared, 5}, std::pair{mixed, 3}}) {
      FindEachIgnoringCase(text, tags, count, round % 5, found);
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(found[i], FindIgnoringCase(text, tags[i], round % 5)) << round;
    }
  }
  // The empty pattern is found where the search starts, the end included.
  for (size_t from : {0, 3, 4})
    EXPECT_EQ(FindText(u"abc", u"", from), NaiveFind(u"abc", u"", from, false));
}

}  // namespace
}  // namespace wex
