#include "tests/wine/support/registry_tree.h"

#include <algorithm>
#include <cwctype>

#include "common/ustring.h"

namespace wex {
namespace {

std::wstring ClassesPath(const std::wstring& path) { return L"Software\\Classes\\" + path; }

void ListTree(HKEY root, REGSAM view, const std::wstring& path, std::vector<std::wstring>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, ClassesPath(path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return;
  out.push_back(Lower(path));
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    wchar_t data[1024];
    DWORD bytes = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                      &bytes) != ERROR_SUCCESS)
      break;
    std::wstring value = type == REG_SZ ? std::wstring(data, bytes / sizeof(wchar_t))
                                        : L"<type " + std::to_wstring(type) + L">";
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    out.push_back(
        Lower(path + L"|" + (nameLength ? std::wstring(name, nameLength) : L"@") + L"=" + value));
  }
  std::vector<std::wstring> children;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    children.emplace_back(name, nameLength);
  }
  RegCloseKey(key);
  for (const std::wstring& child : children) ListTree(root, view, path + L"\\" + child, out);
}

}  // namespace

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return towlower(c); });
  return text;
}

std::vector<std::wstring> ClassesTree(HKEY root, REGSAM view, const std::wstring& path) {
  std::vector<std::wstring> lines;
  ListTree(root, view, path, lines);
  return lines;
}

bool ClassesKeyExists(HKEY root, REGSAM view, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, ClassesPath(path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

std::string SortedText(std::vector<std::wstring> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::wstring& line : lines) text += ToUtf8(ustring(line.begin(), line.end())) + "\n";
  return text;
}

long RunCommand(const std::wstring& command, std::string* output) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (output != nullptr) {
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
  }
  PROCESS_INFORMATION process{};
  std::wstring line = command;
  BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                                nullptr, &startup, &process);
  if (writeEnd != nullptr) CloseHandle(writeEnd);
  if (!started) {
    if (readEnd != nullptr) CloseHandle(readEnd);
    return -1;
  }
  if (output != nullptr) {
    // Read to the end before waiting, so that a full pipe cannot stall the child.
    output->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
      output->append(buffer, got);
    CloseHandle(readEnd);
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

}  // namespace wex
