#include "common/registration/server_file.h"

namespace wex {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

// The end of the first ".exe" that ends the text or is followed by a blank.
size_t EndOfExe(const ustring& text) {
  static const char16_t kExe[] = u".exe";
  for (size_t at = 0; at + 4 <= text.size(); ++at) {
    size_t i = 0;
    while (i < 4 && Lower(text[at + i]) == kExe[i]) ++i;
    if (i == 4 && (at + 4 == text.size() || IsBlank(text[at + 4]))) return at + 4;
  }
  return ustring::npos;
}

}  // namespace

ustring ServerFileOf(const ustring& value, ServerKind kind) {
  size_t first = 0, last = value.size();
  while (first < last && IsBlank(value[first])) ++first;
  while (last > first && IsBlank(value[last - 1])) --last;
  ustring text = value.substr(first, last - first);
  if (!text.empty() && text[0] == u'"') {
    size_t close = text.find(u'"', 1);
    return text.substr(1, close == ustring::npos ? ustring::npos : close - 1);
  }
  if (kind == ServerKind::kInprocServer) return text;
  size_t end = EndOfExe(text);
  if (end == ustring::npos) {
    end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
  }
  return text.substr(0, end);
}

}  // namespace wex
