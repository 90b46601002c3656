// Tables of the double-byte code pages. The characters come from iconv's
// sets (glibc's CP932, CP936, CP949, CP950); what those sets leave out, and
// the reading of invalid input, follow the platform's own tables: undefined
// pairs and lone lead bytes give the code page's default character, and a
// few single bytes map to private-use characters or to themselves.
#include "common/posix/codepage_double_byte.h"

#include <iconv.h>

#include <memory>
#include <mutex>
#include <vector>

namespace wex {

namespace {

struct ByteMapping {
  uint8_t byte;
  char16_t character;
};

// Pairs mapped in order to consecutive private-use characters: the leads
// first to last, each with its trail bytes first to last (only those the
// code page has as trail bytes).
struct PrivateUseBlock {
  uint8_t leadFirst, leadLast, trailFirst, trailLast;
  char16_t first;
};

// Where a character has more than one pair, the one it goes back to.
struct PreferredPair {
  char16_t character;
  uint16_t pair;
};

struct CodePageRules {
  uint32_t number;
  const char* charset;
  uint8_t leadRanges[2][2];   // inclusive; an empty range is {0, 0}
  uint8_t trailRanges[3][2];  // the same
  char16_t defaultCharacter;
  std::vector<ByteMapping> singles;  // beyond what the set holds
  std::vector<PrivateUseBlock> privateUse;
  std::vector<PreferredPair> preferred;
};

// The user-defined areas (and the pairs GBK leaves to them) map to private
// use as the platform maps them; iconv's sets leave them out.
const CodePageRules kCodePages[] = {
    {932,
     "CP932",
     {{0x81, 0x9F}, {0xE0, 0xFC}},
     {{0x40, 0x7E}, {0x80, 0xFC}},
     0x30FB,
     {{0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}},
     {},
     {}},
    {936,
     "CP936",
     {{0x81, 0xFE}},
     {{0x40, 0x7E}, {0x80, 0xFE}},
     0x003F,
     {{0x80, 0x20AC}, {0xFF, 0xF8F5}},
     {{0xAA, 0xAF, 0xA1, 0xFE, 0xE000}, {0xF8, 0xFE, 0xA1, 0xFE, 0xE234},
      {0xA1, 0xA7, 0x40, 0xA0, 0xE4C6}, {0xA2, 0xA2, 0xAB, 0xB0, 0xE766},
      {0xA2, 0xA2, 0xE3, 0xE4, 0xE76C}, {0xA2, 0xA2, 0xEF, 0xF0, 0xE76E},
      {0xA2, 0xA2, 0xFD, 0xFE, 0xE770}, {0xA4, 0xA4, 0xF4, 0xFE, 0xE772},
      {0xA5, 0xA5, 0xF7, 0xFE, 0xE77D}, {0xA6, 0xA6, 0xB9, 0xC0, 0xE785},
      {0xA6, 0xA6, 0xD9, 0xDF, 0xE78D}, {0xA6, 0xA6, 0xEC, 0xED, 0xE794},
      {0xA6, 0xA6, 0xF3, 0xF3, 0xE796}, {0xA6, 0xA6, 0xF6, 0xFE, 0xE797},
      {0xA7, 0xA7, 0xC2, 0xD0, 0xE7A0}, {0xA7, 0xA7, 0xF2, 0xFE, 0xE7AF},
      {0xA8, 0xA8, 0x96, 0xA0, 0xE7BC}, {0xA8, 0xA8, 0xBC, 0xBC, 0xE7C7},
      {0xA8, 0xA8, 0xBF, 0xBF, 0xE7C8}, {0xA8, 0xA8, 0xC1, 0xC4, 0xE7C9},
      {0xA8, 0xA8, 0xEA, 0xFE, 0xE7CD}, {0xA9, 0xA9, 0x58, 0x58, 0xE7E2},
      {0xA9, 0xA9, 0x5B, 0x5B, 0xE7E3}, {0xA9, 0xA9, 0x5D, 0x5F, 0xE7E4},
      {0xA9, 0xA9, 0x89, 0x95, 0xE7E7}, {0xA9, 0xA9, 0x97, 0xA3, 0xE7F4},
      {0xA9, 0xA9, 0xF0, 0xFE, 0xE801}, {0xD7, 0xD7, 0xFA, 0xFE, 0xE810},
      {0xFE, 0xFE, 0x50, 0xA0, 0xE815}},
     {}},
    {949,
     "CP949",
     {{0x81, 0xFE}},
     {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}},
     0x003F,
     {{0x80, 0x0080}, {0xFF, 0xF8F7}},
     {{0xC9, 0xC9, 0xA1, 0xFE, 0xE000}, {0xFE, 0xFE, 0xA1, 0xFE, 0xE05E}},
     {}},
    {950,
     "CP950",
     {{0x81, 0xFE}},
     {{0x40, 0x7E}, {0xA1, 0xFE}},
     0x003F,
     {{0x80, 0x0080}, {0xFF, 0xF8F8}},
     {{0xFA, 0xFE, 0x40, 0xFE, 0xE000},
      {0x8E, 0xA0, 0x40, 0xFE, 0xE311},
      {0x81, 0x8D, 0x40, 0xFE, 0xEEB8}},
     {{0x2550, 0xF9F9}, {0x255E, 0xF9E9}, {0x2561, 0xF9EB}, {0x256A, 0xF9EA}}},
};

constexpr uint16_t kNoBytes = 0xFFFF;  // no code page here has FF as a lead byte

// An iconv conversion descriptor, closed with its owner.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole input converted, from the initial state; empty on any error.
  std::string Convert(const char* in, size_t size) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* from = const_cast<char*>(in);
    char* to = buffer;
    size_t left = sizeof buffer;
    if (iconv(cd_, &from, &size, &to, &left) == static_cast<size_t>(-1) || size != 0) return {};
    if (iconv(cd_, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return {};
    return std::string(buffer, to);
  }

 private:
  iconv_t cd_;
};

// One UTF-16LE unit from two bytes, or 0 where the bytes are not exactly one.
char16_t OneUnit(const std::string& utf16) {
  if (utf16.size() != 2) return 0;
  return static_cast<char16_t>(static_cast<uint8_t>(utf16[0]) |
                               (static_cast<uint8_t>(utf16[1]) << 8));
}

}  // namespace

class DoubleByteCodePage {
 public:
  bool lead[256] = {};
  char16_t single[256] = {};
  std::vector<char16_t> pair = std::vector<char16_t>(0x10000);             // lead << 8 | trail
  std::vector<uint16_t> bytes = std::vector<uint16_t>(0x10000, kNoBytes);  // by character

  // Null where the C library lacks the character set.
  static std::unique_ptr<DoubleByteCodePage> Build(const CodePageRules& rules);
};

std::unique_ptr<DoubleByteCodePage> DoubleByteCodePage::Build(const CodePageRules& rules) {
  Converter toText("UTF-16LE", rules.charset);
  Converter toBytes(rules.charset, "UTF-16LE");
  if (!toText.ok() || !toBytes.ok()) return nullptr;
  auto code = std::make_unique<DoubleByteCodePage>();
  for (const auto& range : rules.leadRanges) {
    for (int b = range[0]; range[0] != 0 && b <= range[1]; ++b) code->lead[b] = true;
  }
  bool isTrail[256] = {};
  for (const auto& range : rules.trailRanges) {
    for (int b = range[0]; range[0] != 0 && b <= range[1]; ++b) isTrail[b] = true;
  }
  // Every byte sequence that gives a character, in order; where several give
  // the same one, the set's own choice going back, else the first.
  std::vector<std::vector<uint16_t>> sources(0x10000);
  for (int b = 0; b < 256; ++b) {
    char16_t c = rules.defaultCharacter;
    if (!code->lead[b]) {
      const char byte = static_cast<char>(b);
      const char16_t converted = OneUnit(toText.Convert(&byte, 1));
      if (converted != 0 || b == 0) c = converted;
      for (const ByteMapping& extra : rules.singles) {
        if (extra.byte == b) c = extra.character;
      }
      if (c != rules.defaultCharacter || b == rules.defaultCharacter) sources[c].push_back(b);
    }
    code->single[b] = c;
  }
  for (int lead = 0; lead < 256; ++lead) {
    if (!code->lead[lead]) continue;
    for (int trail = 1; trail < 256; ++trail) {
      const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      const uint16_t index = static_cast<uint16_t>(lead << 8 | trail);
      code->pair[index] = OneUnit(toText.Convert(two, 2));
    }
  }
  for (const PrivateUseBlock& block : rules.privateUse) {
    char16_t c = block.first;
    for (int lead = block.leadFirst; lead <= block.leadLast; ++lead) {
      for (int t = block.trailFirst; t <= block.trailLast; ++t) {
        if (isTrail[t]) code->pair[lead << 8 | t] = c++;
      }
    }
  }
  for (size_t index = 0; index < code->pair.size(); ++index) {
    char16_t& c = code->pair[index];
    if (c != 0) sources[c].push_back(static_cast<uint16_t>(index));
    if (c == 0) c = rules.defaultCharacter;
  }
  for (size_t c = 0; c < sources.size(); ++c) {
    if (sources[c].empty()) continue;
    uint16_t chosen = sources[c][0];
    if (sources[c].size() > 1) {
      const char utf16[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
      const std::string back = toBytes.Convert(utf16, 2);
      uint16_t value = kNoBytes;
      if (back.size() == 1) value = static_cast<uint8_t>(back[0]);
      if (back.size() == 2)
        value = static_cast<uint16_t>(static_cast<uint8_t>(back[0]) << 8 |
                                      static_cast<uint8_t>(back[1]));
      for (uint16_t source : sources[c]) {
        if (source == value) chosen = value;
      }
    }
    code->bytes[c] = chosen;
  }
  for (const PreferredPair& preferred : rules.preferred) {
    code->bytes[preferred.character] = preferred.pair;
  }
  return code;
}

const DoubleByteCodePage* FindDoubleByteCodePage(uint32_t codePage) {
  constexpr size_t kCount = sizeof kCodePages / sizeof kCodePages[0];
  static std::once_flag built[kCount];
  static std::unique_ptr<DoubleByteCodePage> tables[kCount];
  for (size_t i = 0; i < kCount; ++i) {
    if (kCodePages[i].number != codePage) continue;
    std::call_once(built[i], [i] { tables[i] = DoubleByteCodePage::Build(kCodePages[i]); });
    return tables[i].get();
  }
  return nullptr;
}

void AppendDoubleByteToText(const DoubleByteCodePage& code, const uint8_t* bytes, size_t count,
                            ustring& out) {
  out.reserve(out.size() + count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (code.lead[b] && i + 1 < count && bytes[i + 1] != 0) {
      out += code.pair[b << 8 | bytes[i + 1]];
      ++i;
    } else {
      out += code.single[b];
    }
  }
}

std::string TextToDoubleByte(const DoubleByteCodePage& code, ustring_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    const uint16_t value = code.bytes[c];
    if (value == kNoBytes) {
      out += '?';
    } else if (value > 0xFF) {
      out += static_cast<char>(value >> 8);
      out += static_cast<char>(value & 0xFF);
    } else {
      out += static_cast<char>(value);
    }
  }
  return out;
}

}  // namespace wex
