#include "common/win32/guid_text.h"

#include <objbase.h>

namespace wex {

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

ustring GuidUText(REFGUID guid) {
  std::wstring text = GuidText(guid);
  return ustring(text.begin(), text.end());
}

}  // namespace wex
