// The native converters against the platform's: WEX_CODE_PAGE_TABLES names
// a folder of what tests/wine/tools/code_page_dump.cpp wrote under Wine (one
// <code page>.txt each), and every line of it must convert the same here.
// Skipped without it; tests/wine/drivers/code_page_tables.sh sets it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/code_pages.h"

namespace wex {
namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    out += kDigits[static_cast<uint8_t>(c) >> 4];
    out += kDigits[c & 0x0F];
  }
  return out.empty() ? "-" : out;
}

std::string Hex(const ustring& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c >> 8);
    bytes += static_cast<char>(c & 0xFF);
  }
  return Hex(bytes);
}

// Hex digits, two a byte, back to bytes ("-" is none).
std::string Bytes(const std::string& hex) {
  std::string out;
  for (size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

ustring Units(const std::string& hex) {
  const std::string bytes = Bytes(hex);
  ustring out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) << 8 |
                                 static_cast<uint8_t>(bytes[i + 1]));
  }
  return out;
}

class CodePageDifferential : public ::testing::Test, public UnderEachCodePage {};

TEST_P(CodePageDifferential, ConvertsAsThePlatform) {
  const char* folder = std::getenv("WEX_CODE_PAGE_TABLES");
  if (folder == nullptr) GTEST_SKIP() << "WEX_CODE_PAGE_TABLES is not set";
  std::ifstream in(std::string(folder) + "/" + std::to_string(GetParam()) + ".txt");
  ASSERT_TRUE(in) << "no table for code page " << GetParam();
  std::string line;
  size_t lines = 0, differences = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind, input, platform;
    fields >> kind >> input >> platform;
    ++lines;
    const std::string native =
        kind == "M" ? Hex(AnsiToText(Bytes(input))) : Hex(TextToAnsi(Units(input)));
    if (native == platform) continue;
    // The first differences in full, then only their count.
    if (++differences <= 40) {
      ADD_FAILURE() << kind << " " << input << ": platform " << platform << ", native " << native;
    }
  }
  EXPECT_GT(lines, 0u);
  EXPECT_EQ(differences, 0u) << "of " << lines << " conversions";
}

WEX_UNDER_EACH_CODE_PAGE(CodePageDifferential);

}  // namespace
}  // namespace wex
