// code_page_dump.exe <folder>: what the platform's converters make of the
// inputs that matter under each supported ANSI code page, for the native
// converters to be compared with (drivers/code_page_tables.sh). One file per
// code page, <folder>\<code page>.txt, one conversion a line, in hex ("-" for
// nothing), each sized by the converter first as the product's calls are:
//   M <bytes> <UTF-16 units>   MultiByteToWideChar, flags 0
//   W <UTF-16 units> <bytes>   WideCharToMultiByte, WC_NO_BEST_FIT_CHARS and
//                              "?" (UTF-8: neither)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const UINT kCodePages[] = {1252, 932, 936, 949, 950, 65001};

// Bytes as two hex digits each, UTF-16 units as four.
template <typename Unit>
void Hex(FILE* out, const Unit* units, size_t count) {
  if (count == 0) std::fputc('-', out);
  for (size_t i = 0; i < count; ++i)
    std::fprintf(out, sizeof(Unit) == 1 ? "%02X" : "%04X", static_cast<unsigned>(units[i]));
}

void ToText(FILE* out, UINT cp, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(cp, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(n > 0 ? n : 0, L'\0');
  if (n > 0) n = MultiByteToWideChar(cp, 0, bytes.data(), size, &text[0], n);
  std::fputs("M ", out);
  Hex(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  std::fputc(' ', out);
  Hex(out, text.data(), n > 0 ? static_cast<size_t>(n) : 0);
  std::fputc('\n', out);
}

void ToBytes(FILE* out, UINT cp, const std::wstring& text) {
  const DWORD flags = cp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = cp == CP_UTF8 ? nullptr : "?";
  const int size = static_cast<int>(text.size());
  int n = WideCharToMultiByte(cp, flags, text.data(), size, nullptr, 0, fallback, nullptr);
  std::string bytes(n > 0 ? n : 0, '\0');
  if (n > 0) n = WideCharToMultiByte(cp, flags, text.data(), size, &bytes[0], n, fallback, nullptr);
  std::fputs("W ", out);
  Hex(out, text.data(), text.size());
  std::fputc(' ', out);
  Hex(out, reinterpret_cast<const unsigned char*>(bytes.data()),
      n > 0 ? static_cast<size_t>(n) : 0);
  std::fputc('\n', out);
}

// Bytes at the edges of UTF-8's ranges, for every lead byte's sequences.
const unsigned char kUtf8Edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                    0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xF4, 0xFF};

void DumpBytes(FILE* out, UINT cp) {
  for (int a = 0; a < 256; ++a) ToText(out, cp, std::string(1, static_cast<char>(a)));
  if (cp == 1252) return;
  // Every pair: each lead byte with every trail byte, and every byte before
  // a lead byte at the end.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      ToText(out, cp, std::string{static_cast<char>(a), static_cast<char>(b)});
    }
  }
  if (cp != CP_UTF8) return;
  for (int a = 0xC0; a < 256; ++a) {
    for (unsigned char b : kUtf8Edges) {
      for (unsigned char c : kUtf8Edges) {
        const std::string three{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
        ToText(out, cp, three);
        if (a < 0xE0) continue;
        for (unsigned char d : kUtf8Edges) ToText(out, cp, three + static_cast<char>(d));
      }
    }
  }
}

void DumpText(FILE* out, UINT cp) {
  for (int c = 0; c < 0x10000; ++c) ToBytes(out, cp, std::wstring(1, static_cast<wchar_t>(c)));
  // Surrogates in pairs, alone before and after other characters, and in
  // the wrong order.
  const wchar_t* const kSurrogates[] = {L"\xD83D\xDE00",     L"\xD800\xDC00",      L"\xDBFF\xDFFF",
                                        L"\xD83D\xDE00\x41", L"\xD800\x41",        L"A\xDC00",
                                        L"\xDC00\xD800",     L"\xD800\xD800\xDC00"};
  for (const wchar_t* text : kSurrogates) ToBytes(out, cp, text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: code_page_dump <folder>\n");
    return 2;
  }
  for (UINT cp : kCodePages) {
    const std::string name = std::string(argv[1]) + "\\" + std::to_string(cp) + ".txt";
    FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) {
      std::fprintf(stderr, "code_page_dump: cannot write %s\n", name.c_str());
      return 1;
    }
    DumpBytes(out, cp);
    DumpText(out, cp);
    const bool written = std::fclose(out) == 0;
    if (!written) return 1;
  }
  return 0;
}
