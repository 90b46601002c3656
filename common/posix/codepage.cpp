// The native build's ANSI code page: windows-1252 by default, through a
// table of its own; or one of the double-byte code pages or UTF-8, chosen by
// SetAnsiCodePage, converted as the platform converts them.
#include <array>
#include <atomic>

#include "common/codepage.h"
#include "common/posix/codepage_double_byte.h"
#include "common/posix/codepage_utf8.h"

namespace wex {
namespace {

constexpr uint32_t kWestern = 1252;
constexpr uint32_t kUtf8 = 65001;

std::atomic<uint32_t> current{kWestern};

// 0x80..0x9F as windows-1252 maps them; the five undefined bytes map to the
// same code point, as Windows does, so that every byte has a character.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const AnsiByteTable& Western() {
  static const AnsiByteTable table = [] {
    AnsiByteTable built{};
    for (int b = 0; b < 256; ++b) {
      built.toText[b] = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    }
    built.latin1OutsideC1 = true;
    return built;
  }();
  return table;
}

uint8_t WesternByteFor(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uint8_t>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == c) return static_cast<uint8_t>(0x80 + i);
  }
  return '?';
}

}  // namespace

bool SetAnsiCodePage(uint32_t codePage) {
  if (codePage != kWestern && codePage != kUtf8 && FindDoubleByteCodePage(codePage) == nullptr)
    return false;
  current = codePage;
  return true;
}

uint32_t AnsiCodePage() { return current; }

const AnsiByteTable* SingleByteAnsiTable() { return current == kWestern ? &Western() : nullptr; }

void AppendAnsiToText(const uint8_t* bytes, size_t count, ustring& out) {
  const uint32_t codePage = current;
  if (codePage == kUtf8) return AppendUtf8ToText(bytes, count, out);
  if (const DoubleByteCodePage* code = FindDoubleByteCodePage(codePage)) {
    return AppendDoubleByteToText(*code, bytes, count, out);
  }
  const char16_t* table = Western().toText;
  size_t start = out.size();
  out.resize(start + count);
  char16_t* dst = &out[start];
  for (size_t i = 0; i < count; ++i) dst[i] = table[bytes[i]];
}

ustring AnsiToText(const uint8_t* bytes, size_t count) {
  ustring out;
  AppendAnsiToText(bytes, count, out);
  return out;
}

std::string TextToAnsi(ustring_view text) {
  const uint32_t codePage = current;
  if (codePage == kUtf8) return ToUtf8(text);
  if (const DoubleByteCodePage* code = FindDoubleByteCodePage(codePage)) {
    return TextToDoubleByte(*code, text);
  }
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(WesternByteFor(text[i]));
  return out;
}

}  // namespace wex
