// Element extraction by tag search.
#include <gtest/gtest.h>

#include "server/rss/mod_rss.h"

namespace wex {
namespace {

TEST(GetTagText, FindsElementsAndWhereTheNextSearchBegins) {
  struct Case {
    const char16_t* text;
    const char16_t* startTag;
    const char16_t* endTag;
    int32_t startPos;
    const char16_t* result;
    int32_t nextPos;  // -1: left unchanged
  } cases[] = {
      {u"<title>T</title>", u"<title>", u"</title>", 1, u"T", 13},
      {u"ab<TITLE>T</Title>", u"<title>", u"</title>", 1, u"T", 15},
      {u"<title>  x  </title>", u"<title>", u"</title>", 1, u"  x  ", 17},
      // The first end tag closes the element, nesting aside.
      {u"<b><b>1</b>2</b>", u"<b>", u"</b>", 1, u"<b>1", 12},
      // The search begins at startPos; below 1 it finds nothing.
      {u"<t>1</t><t>2</t>", u"<t>", u"</t>", 2, u"2", 17},
      {u"<t>1</t>", u"<t>", u"</t>", 0, u"", -1},
      {u"<t>1</t>", u"<t>", u"</t>", -5, u"", -1},
      {u"<t>1</t>", u"<t>", u"</t>", 1000, u"", -1},
      // No end tag: nothing, and nextPos stays.
      {u"<t>1", u"<t>", u"</t>", 1, u"", -1},
      {u"<t></t>", u"<t>", u"</t>", 1, u"", 8},
      // Only "<item", exactly so written, may carry attributes.
      {u"<item rdf:about=\"x\">I</item>", u"<item", u"</item>", 1, u"I", 26},
      {u"<ITEM a=1>I</ITEM>", u"<item", u"</item>", 1, u"I", 16},
      {u"<item a=1>I</item>", u"<ITEM", u"</item>", 1, u" a=1>I", 16},
      {u"<item", u"<item", u"</item>", 1, u"", -1},
      {u"<title type=\"text\">T</title>", u"<title>", u"</title>", 1, u"", -1},
      // Latin-1 letters ignore case too.
      {u"<\u00C9t\u00E9>x</\u00E9T\u00C9>", u"<\u00E9t\u00E9>", u"</\u00C9t\u00E9>", 1, u"x", 11},
      {u"", u"<t>", u"</t>", 1, u"", -1},
      {u"abc", u"", u"", 1, u"", -1},
  };
  for (const auto& c : cases) {
    int32_t next = -1;
    EXPECT_EQ(ToUtf8(GetTagText(c.text, c.startTag, c.endTag, c.startPos, next)), ToUtf8(c.result))
        << ToUtf8(c.text);
    EXPECT_EQ(next, c.nextPos) << ToUtf8(c.text);
  }
}

}  // namespace
}  // namespace wex
