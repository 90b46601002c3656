// Value cleanup: the six replacements and the markup reduction.
#include <gtest/gtest.h>

#include "server/rss/mod_rss.h"

namespace wex {
namespace {

ustring Cleaned(ustring value, bool reduceMarkup) {
  CleanText(value, reduceMarkup);
  return value;
}

struct Case {
  const char16_t* value;
  const char16_t* result;
};

TEST(CleanText, ReplacesMarkersAndFourEntitiesOnceInOrder) {
  const Case cases[] = {
      {u"", u""},
      {u"<![CDATA[a]]>", u"a"},
      {u"x<![CDATA[y<![CDATA[z", u"xyz"},
      {u"&lt;b&gt; &apos;q&apos; &amp;", u"<b> 'q' &"},
      // One level of decoding: the "&" put in is not decoded again.
      {u"&amp;lt;", u"&lt;"},
      {u"&amp;amp;", u"&amp;"},
      // Only the four entities, and only in lower case.
      {u"&quot; &#38; &AMP; &LT;", u"&quot; &#38; &AMP; &LT;"},
      // A removal can join a later step's pattern, never its own.
      {u"<![CDA<![CDATA[TA[", u"<![CDATA["},
      {u"]]<![CDATA[>", u""},
      {u"&g]]>t;", u">"},
      {u"]]]>>", u"]>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(Cleaned(c.value, false)), ToUtf8(c.result)) << ToUtf8(c.value);
  }
}

TEST(CleanText, WithoutReductionAnEscapedTagBecomesARealOne) {
  EXPECT_EQ(Cleaned(u"&lt;b&gt;Bold&lt;/b&gt;", false), u"<b>Bold</b>");
}

TEST(CleanText, ReducesMarkup) {
  const Case cases[] = {
      {u"Plant <b>early</b>.<a href=\"tips.html\">More</a> Water daily.",
       u"Plant early. Water daily."},
      {u"x<a href=y>z</a>.end", u"x.end"},
      {u"Head</h2>Body", u"Head<BR>Body"},
      {u"One</HTML>Two", u"One<BR>L>Two"},
      {u"x <a href=y>z", u"x a href=y>z"},
      {u"Go<A>here</A> now", u"Gohere now"},
      {u"text <bold", u"text "},
      {u"A<br>B", u"AB"},
      {u"a <b>", u"a <b>"},
      {u"", u""},
      // An anchor broken across lines after "<A" (CR LF from the engine).
      {u"a<A\r\nhref=x>link</a>b", u"ab"},
      // A line feed or a tab after "<A" is an ordinary tag.
      {u"a<A\nhref=x>link</a>b", u"alinkb"},
      {u"a<a\thref=x>link</A>b", u"alinkb"},
      // Escaped markup goes like real markup.
      {u"&lt;p&gt;Only text&lt;/p&gt;", u"Only text"},
      {u"<", u"<"},
      {u"ab<", u"ab<"},
      {u"ab<c", u"ab<c"},
      {u"ab<cd", u"ab<cd"},
      {u"ab<cde", u"ab"},
      // Many unclosed anchors: each loses only its "<".
      {u"<a x<a y<a z", u"a xa ya z"},
      // A closing tag serves the first anchor only.
      {u"<a 1</a>2<a 3", u"2a 3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(Cleaned(c.value, true)), ToUtf8(c.result)) << ToUtf8(c.value);
  }
}

TEST(CleanText, ANulEndsAReducedValue) {
  EXPECT_EQ(Cleaned(ustring(u"ab\0c<i>d", 8), true), u"ab");
}

TEST(CleanText, KeepsNulAndSurrogatesWithoutReduction) {
  const ustring value{u'a', u'\0', char16_t(0xD800), u'b', char16_t(0xDC00)};
  EXPECT_EQ(Cleaned(value, false), value);
  EXPECT_EQ(Cleaned(ustring{char16_t(0xDFFF), u'<'}, true), (ustring{char16_t(0xDFFF), u'<'}));
}

}  // namespace
}  // namespace wex
