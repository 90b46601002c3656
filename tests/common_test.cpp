// Strings, the ANSI code page (also against the platform's own converters)
// and the message table.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <type_traits>

#include "common/codepage.h"
#include "server/resources/message_table.h"
#include "tests/support/code_pages.h"

namespace wex {
namespace {

// Each row holds under its code page (0: under every one), both ways unless
// it says which: characters the code page holds, input the platform reads in
// its own way (undefined pairs, a lead byte without its trail byte, ill-formed
// UTF-8) and characters it cannot hold, with no best fit.
enum Way { kBoth, kToText, kToBytes };
struct Conversion {
  uint32_t codePage;
  Way way;
  std::string bytes;
  std::u16string text;
};
const Conversion kConversions[] = {
    {0, kBoth, "a\r\n~", u"a\r\n~"},
    {0, kBoth, std::string("\0", 1), std::u16string(1, u'\0')},
    {1252, kBoth, "A\x80\x81\x8D\x92\x9F\xA0\xE9", u"A\u20AC\u0081\u008D\u2019\u0178\u00A0\u00E9"},
    {1252, kToBytes, "a?b?c???", u"a\u0080b\u0100c\u4E2D\U0001F600"},
    {932, kBoth, "\x82\xA0\x93\xFA\xB1", u"\u3042\u65E5\uFF71"},
    {932, kBoth, "\xA0\xFD\x80\xF0\x40", u"\uF8F0\uF8F1\u0080\uE000"},
    {932, kToText, "\x85\x40", u"\u30FB"},
    {932, kToText, "\x82\nA", u"\u30FBA"},
    {932, kToText, std::string("\x82\0a\x82", 4), std::u16string(u"\u30FB\0a\u30FB", 4)},
    {932, kToBytes, "????", u"\u00A5\u0E01\U0001F600"},
    {936, kBoth, "\xD6\xD0\x80\xA8\xA6\xAA\xA1\xFF", u"\u4E2D\u20AC\u00E9\uE000\uF8F5"},
    {936, kToText, "\x81\x7F\x62\xB0", u"?b?"},
    {936, kToBytes, "?", u"\uAC00"},
    {949, kBoth, "\xB0\xA1\xC9\xA1\xFF", u"\uAC00\uE000\uF8F7"},
    {949, kToText, "\x81\x40", u"?"},
    {949, kToBytes, "?", u"\u00E9"},
    {950, kBoth, "\xA4\xA4\x81\x40\xFF\xF9\xF9", u"\u4E2D\uEEB8\uF8F8\u2550"},
    {950, kToText, "\xA2\xA4", u"\u2550"},
    {950, kToBytes, "?", u"\u3042"},
    {65001, kBoth, "\xE6\x97\xA5\xF0\x9F\x98\x80\xC3\xA9", u"\u65E5\U0001F600\u00E9"},
    {65001, kToText, "\x80\x41\xC0\xAF", u"\uFFFDA\uFFFD\uFFFD"},
    {65001, kToText, "\xE0\x80\x80\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {65001, kToText, "\xF4\x90\x80\x80\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    // A sequence cut short by the end takes the rest with it.
    {65001, kToText, "\xE6\nA\xE6\x41", u"\uFFFD\nA\uFFFD"},
    {65001, kToBytes, "\xEF\xBF\xBD\x41\xEF\xBF\xBD\xEF\xBF\xBD", {0xD800, u'A', 0xDC00, 0xD800}},
};

// Bytes or units in hexadecimal as the platform's dump writes them: two
// digits a byte, four a unit, "-" for none.
template <typename Text>
std::string Hex(const Text& text) {
  std::string out;
  char digits[5];
  for (auto c : text) {
    std::snprintf(digits, sizeof digits, sizeof c == 1 ? "%02X" : "%04X",
                  static_cast<unsigned>(static_cast<std::make_unsigned_t<decltype(c)>>(c)));
    out += digits;
  }
  return out.empty() ? "-" : out;
}

template <typename Text>
Text FromHex(const std::string& hex) {
  const size_t width = 2 * sizeof(typename Text::value_type);
  Text out;
  for (size_t i = 0; hex != "-" && i + width <= hex.size(); i += width)
    out += static_cast<typename Text::value_type>(std::stoi(hex.substr(i, width), nullptr, 16));
  return out;
}

class CodePage : public ::testing::Test, public UnderEachCodePage {};

TEST_P(CodePage, ConvertsAsThePlatform) {
  for (const Conversion& c : kConversions) {
    if (c.codePage != 0 && c.codePage != GetParam()) continue;
    if (c.way != kToBytes) {
      EXPECT_EQ(AnsiToText(c.bytes), c.text) << Hex(c.bytes);
    }
    if (c.way != kToText) {
      EXPECT_EQ(TextToAnsi(c.text), c.bytes) << Hex(c.bytes);
    }
  }
}

// Whatever the bytes, their text goes back to the code page and comes out
// the same, so that a body saved as text reads as it did; windows-1252 gives
// back the bytes themselves.
TEST_P(CodePage, AnyBytesGiveTextTheCodePageHolds) {
  for (int a = 0; a < 256; ++a) {
    for (int b = -1; b < 256; ++b) {
      std::string bytes(1, static_cast<char>(a));
      if (b >= 0) bytes += static_cast<char>(b);
      const ustring text = AnsiToText(bytes);
      ASSERT_TRUE(AnsiHolds(text)) << Hex(bytes);
      if (GetParam() == 1252) {
        ASSERT_EQ(TextToAnsi(text), bytes) << Hex(bytes);
      }
    }
  }
  EXPECT_EQ(SingleByteAnsiTable() != nullptr, GetParam() == 1252);
}

WEX_UNDER_EACH_CODE_PAGE(CodePage);

// Against the platform's converters: WEX_CODE_PAGE_TABLES names a folder of
// what tests/wine/tools/code_page_dump.cpp wrote under Wine, one <code
// page>.txt each, set by tests/wine/drivers/code_page_tables.sh.
class CodePageDifferential : public ::testing::Test, public UnderEachCodePage {};

TEST_P(CodePageDifferential, ConvertsAsThePlatform) {
  const char* folder = std::getenv("WEX_CODE_PAGE_TABLES");
  if (folder == nullptr) GTEST_SKIP() << "WEX_CODE_PAGE_TABLES is not set";
  std::ifstream in(std::string(folder) + "/" + std::to_string(GetParam()) + ".txt");
  ASSERT_TRUE(in) << "no table for code page " << GetParam();
  std::string kind, input, platform;
  size_t lines = 0, differences = 0;
  while (in >> kind >> input >> platform) {
    ++lines;
    const std::string native = kind == "M" ? Hex(AnsiToText(FromHex<std::string>(input)))
                                           : Hex(TextToAnsi(FromHex<ustring>(input)));
    // The first differences in full, then only their count.
    if (native != platform && ++differences <= 40)
      ADD_FAILURE() << kind << " " << input << ": platform " << platform << ", native " << native;
  }
  EXPECT_GT(lines, 0u);
  EXPECT_EQ(differences, 0u) << "of " << lines << " conversions";
}

WEX_UNDER_EACH_CODE_PAGE(CodePageDifferential);

TEST(CodePageChoice, AnUnknownCodePageIsRefusedAndChangesNothing) {
  CodePageScope scope(932);
  for (uint32_t unknown : {0u, 437u, 1251u, 54936u, 65000u}) {
    EXPECT_FALSE(SetAnsiCodePage(unknown)) << unknown;
    EXPECT_EQ(AnsiCodePage(), 932u);
  }
}

TEST(Strings, Utf8RoundTripAndDecimalText) {
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xF0\x9F\x98\x80";
  EXPECT_EQ(ToUtf8(u"Gr\u00FC\u00DFe \U0001F600"), utf8);
  EXPECT_EQ(FromUtf8(utf8), u"Gr\u00FC\u00DFe \U0001F600");
  EXPECT_EQ(ToUtf8(ustring(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(DecimalText(-2147483647 - 1), u"-2147483648");
  EXPECT_EQ(DecimalText(10061), u"10061");
}

TEST(MessageTable, HoldsTheSixteenTexts) {
  EXPECT_EQ(MessageText(106), u"No Internet connection active. ");
  EXPECT_EQ(MessageText(111), u"Winsock err - Failure with WSAAsyncSelect. Error number:");
  for (int32_t n = kFirstMessage; n <= kLastMessage; ++n) EXPECT_FALSE(MessageText(n).empty()) << n;
  EXPECT_TRUE(MessageText(kFirstMessage - 1).empty());
  EXPECT_TRUE(MessageText(kLastMessage + 1).empty());
}

}  // namespace
}  // namespace wex
