// The system's ANSI code page (CP_ACP) through the platform's converters.
#include <windows.h>

#include "common/codepage.h"

namespace wex {

// Built once from the code page of the process: every byte converted on its
// own, so that a byte the code page leaves undefined gets what the converter
// gives it.
const AnsiByteTable* SingleByteAnsiTable() {
  static const AnsiByteTable* const table = []() -> const AnsiByteTable* {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return nullptr;
    static AnsiByteTable built{};
    built.latin1OutsideC1 = true;
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      wchar_t c = 0;
      if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &c, 1) != 1) return nullptr;
      built.toText[b] = static_cast<char16_t>(c);
      if ((b < 0x80 || b > 0x9F) && c != static_cast<wchar_t>(b)) built.latin1OutsideC1 = false;
    }
    // Zero extension stands for the table only where ASCII maps to itself.
    for (int b = 0; b < 0x80; ++b) {
      if (built.toText[b] != static_cast<char16_t>(b)) return nullptr;
    }
    return &built;
  }();
  return table;
}

namespace {

// Slices of the input stay within the converter's int counts.
constexpr size_t kSliceBytes = 0x40000000;

bool IsUtf8CodePage() { return GetACP() == CP_UTF8; }

// The end of the last whole character in bytes[0, end), reading from the
// start, which is a character's start: a slice never cuts a character of a
// multi-byte code page in two.
size_t WholeCharactersEnd(const uint8_t* bytes, size_t end) {
  if (SingleByteAnsiTable() != nullptr) return end;
  if (IsUtf8CodePage()) {
    size_t back = end;
    while (back > 0 && end - back < 3 && (bytes[back - 1] & 0xC0) == 0x80) --back;
    return back > 0 && bytes[back - 1] >= 0xC0 ? back - 1 : end;
  }
  size_t at = 0;
  while (at < end) at += IsDBCSLeadByte(bytes[at]) ? 2 : 1;
  return at > end ? end - 1 : end;
}

}  // namespace

// Sized by the converter's own answer: a character of a multi-byte code page
// takes one or two UTF-16 units for one to four bytes.
void AppendAnsiToText(const uint8_t* bytes, size_t count, ustring& out) {
  size_t done = 0;
  while (done < count) {
    size_t slice = count - done;
    if (slice > kSliceBytes) slice = WholeCharactersEnd(bytes + done, kSliceBytes);
    const char* from = reinterpret_cast<const char*>(bytes + done);
    int n = MultiByteToWideChar(CP_ACP, 0, from, static_cast<int>(slice), nullptr, 0);
    if (n <= 0) break;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(n));
    n = MultiByteToWideChar(CP_ACP, 0, from, static_cast<int>(slice),
                            reinterpret_cast<wchar_t*>(&out[start]), n);
    out.resize(start + static_cast<size_t>(n > 0 ? n : 0));
    done += slice;
  }
}

ustring AnsiToText(const uint8_t* bytes, size_t count) {
  ustring out;
  AppendAnsiToText(bytes, count, out);
  return out;
}

// Sized by the converter's own answer (a character may take two bytes, or up
// to four under UTF-8). UTF-8 has every character, and its converter takes
// neither flags nor a default character.
std::string TextToAnsi(ustring_view text) {
  if (text.empty()) return std::string();
  const bool utf8 = IsUtf8CodePage();
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : "?";
  const auto* from = reinterpret_cast<const wchar_t*>(text.data());
  const int count = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_ACP, flags, from, count, nullptr, 0, fallback, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  n = WideCharToMultiByte(CP_ACP, flags, from, count, &out[0], n, fallback, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace wex
