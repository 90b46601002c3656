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

void AppendAnsiToText(const uint8_t* bytes, size_t count, ustring& out) {
  size_t start = out.size();
  out.resize(start + count);
  // A single-byte code page gives one character per byte; convert in slices so
  // that a count beyond the int range cannot be cut short.
  size_t done = 0;
  while (done < count) {
    int slice = static_cast<int>(count - done > 0x40000000 ? 0x40000000 : count - done);
    int n = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes + done), slice,
                                reinterpret_cast<wchar_t*>(&out[start + done]), slice);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  out.resize(start + done);
}

ustring AnsiToText(const uint8_t* bytes, size_t count) {
  ustring out;
  AppendAnsiToText(bytes, count, out);
  return out;
}

std::string TextToAnsi(ustring_view text) {
  if (text.empty()) return std::string();
  int count = static_cast<int>(text.size());
  std::string out(text.size(), '\0');
  BOOL used_default = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS,
                              reinterpret_cast<const wchar_t*>(text.data()), count, &out[0], count,
                              "?", &used_default);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace wex
