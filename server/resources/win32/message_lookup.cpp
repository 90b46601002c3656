// Message texts from the string table of the running program.
#include <windows.h>

#include "server/resources/message_table.h"

namespace wex {

ustring MessageText(int32_t number) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out a read-only pointer into the
  // resource itself and returns its length.
  int n = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(number),
                      reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr) return ustring();
  return ustring(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(n));
}

}  // namespace wex
