#include "server/downloader/win32/console_line.h"
#include "common/win32/unique_handle.h"

#include <windows.h>

#include <string>

namespace wex {
namespace {

// A file or pipe gets the line in the console's code page (the OEM one when
// there is no console), as a console program's redirected output would be.
bool WriteRedirected(HANDLE out, const std::wstring& line) {
  DWORD type = GetFileType(out);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) return false;
  UINT codePage = GetConsoleOutputCP();
  if (codePage == 0) codePage = CP_OEMCP;
  int bytes = WideCharToMultiByte(codePage, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, line.c_str(), static_cast<int>(line.size()), &text[0], bytes,
                      nullptr, nullptr);
  DWORD written = 0;
  return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
}

}  // namespace

void ConsoleLine(const std::wstring& text) {
  const std::wstring line = text + L"\r\n";
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE && WriteRedirected(error, line)) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return;
  const UniqueFileHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!console) return;
  DWORD written = 0;
  WriteConsoleW(console.get(), line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace wex
