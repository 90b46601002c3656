#include "server/downloader/win32/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include "server/engine/win32/system_library.h"

namespace wex {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Quotes and backslashes have rules of their own: shell32 applies them. It is
// loaded only then, since COM starts the server as "path" -Embedding and
// shell32 costs more to load than the rest of the server's start.
bool SplitWithShell(const wchar_t* commandLine, std::vector<std::wstring>& arguments) {
  static SystemLibrary shell32(L"shell32.dll");
  static const auto split = shell32.Find<decltype(&CommandLineToArgvW)>("CommandLineToArgvW");
  if (split == nullptr) return false;
  int count = 0;
  LPWSTR* args = split(commandLine, &count);
  if (args == nullptr) return false;
  for (int i = 1; i < count; ++i) arguments.emplace_back(args[i]);
  LocalFree(args);
  return true;
}

}  // namespace

bool ArgumentsOf(const wchar_t* commandLine, std::vector<std::wstring>& arguments) {
  arguments.clear();
  // The program's name: up to the closing quote when quoted, else to a blank.
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    ++p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p != L'\0' && !IsBlank(*p)) ++p;
  }
  for (const wchar_t* q = p; *q != L'\0'; ++q)
    if (*q == L'"' || *q == L'\\') return SplitWithShell(commandLine, arguments);
  // Without quotes or backslashes an argument is a run of other characters.
  while (*p != L'\0') {
    while (IsBlank(*p)) ++p;
    const wchar_t* start = p;
    while (*p != L'\0' && !IsBlank(*p)) ++p;
    if (p > start) arguments.emplace_back(start, p);
  }
  return true;
}

}  // namespace wex
