// Strings, the ANSI code page and the message table.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "server/resources/message_table.h"

namespace wex {
namespace {

TEST(CodePage, EveryByteSurvivesARoundTrip) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  ustring text = AnsiToText(bytes);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(TextToAnsi(text), bytes);
}

TEST(CodePage, MapsAsWindows1252) {
  struct Case {
    uint8_t byte;
    char16_t ch;
  } cases[] = {{0x41, u'A'},      {0x80, u'\u20AC'}, {0x81, u'\u0081'},
               {0x8D, u'\u008D'}, {0x92, u'\u2019'}, {0x9F, u'\u0178'},
               {0xA0, u'\u00A0'}, {0xE9, u'\u00E9'}, {0x00, u'\0'}};
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToText(&c.byte, 1), ustring(1, c.ch)) << int(c.byte);
    EXPECT_EQ(TextToAnsi(ustring(1, c.ch)), std::string(1, static_cast<char>(c.byte)));
  }
}

TEST(CodePage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  // U+0080 has no byte (0x80 is the euro sign); the others are beyond Latin-1.
  EXPECT_EQ(TextToAnsi(u"a\u0080b\u0100c\u4E2D\U0001F600"), "a?b?c???");
}

TEST(Strings, Utf8RoundTripAndDecimalText) {
  EXPECT_EQ(ToUtf8(u"Gr\u00FC\u00DFe \U0001F600"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8("Gr\xC3\xBC\xC3\x9F"
                     "e \xF0\x9F\x98\x80"),
            u"Gr\u00FC\u00DFe \U0001F600");
  EXPECT_EQ(ToUtf8(ustring(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(DecimalText(-2147483647 - 1), u"-2147483648");
  EXPECT_EQ(DecimalText(10061), u"10061");
}

TEST(MessageTable, HoldsTheSixteenTextsExactly) {
  EXPECT_EQ(MessageText(101), u"System not ready for network communication.");
  EXPECT_EQ(MessageText(106), u"No Internet connection active. ");
  EXPECT_EQ(MessageText(107), u"Internet connection is via proxy server. ");
  EXPECT_EQ(MessageText(110), u"Winsock error - Failed to connect to server. Error number:");
  EXPECT_EQ(MessageText(111), u"Winsock err - Failure with WSAAsyncSelect. Error number:");
  EXPECT_EQ(MessageText(115), u"Unknown error.");
  EXPECT_EQ(MessageText(116), u"Secure connection failed. Error number:");
  for (int32_t n = kFirstMessage; n <= kLastMessage; ++n) EXPECT_FALSE(MessageText(n).empty()) << n;
  EXPECT_TRUE(MessageText(100).empty());
  EXPECT_TRUE(MessageText(117).empty());
}

}  // namespace
}  // namespace wex
