#include "common/win32/system_message.h"
#include "common/win32/unique_handle.h"

#include <memory>

namespace wex {

std::wstring SystemMessageText(HRESULT code) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  // The buffer is the system's, allocated with LocalAlloc.
  const UniqueLocalMemory owned(text);
  std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : L"";
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
    message.pop_back();
  return message;
}

}  // namespace wex
