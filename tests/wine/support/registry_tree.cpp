#include "tests/wine/support/registry_tree.h"

#include <algorithm>
#include <cwctype>

#include "common/ustring.h"
#include "common/win32/registry_key.h"
#include "common/win32/unique_handle.h"

namespace wex {
namespace {

void ListTree(HKEY root, REGSAM view, const std::wstring& path, std::vector<std::wstring>& out) {
  RegistryKey key;
  if (RegOpenKeyExW(root, (L"Software\\Classes\\" + path).c_str(), 0, KEY_READ | view, key.put()) !=
      ERROR_SUCCESS)
    return;
  out.push_back(Lower(path));
  wchar_t name[256], data[1024];
  DWORD nameLength = 256, bytes = sizeof data - sizeof(wchar_t), type = 0;
  for (DWORD i = 0; RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data), &bytes) == ERROR_SUCCESS;
       ++i, nameLength = 256, bytes = sizeof data - sizeof(wchar_t)) {
    std::wstring value = type == REG_SZ ? std::wstring(data, bytes / sizeof(wchar_t))
                                        : L"<type " + std::to_wstring(type) + L">";
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    out.push_back(
        Lower(path + L"|" + (nameLength ? std::wstring(name, nameLength) : L"@") + L"=" + value));
  }
  std::vector<std::wstring> children;
  for (DWORD i = 0; nameLength = 256, RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr,
                                                    nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i)
    children.emplace_back(name, nameLength);
  key.reset();
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

std::string SortedText(std::vector<std::wstring> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::wstring& line : lines) text += ToUtf8(ustring(line.begin(), line.end())) + "\n";
  return text;
}

long RunCommand(const std::wstring& command, std::string* output) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandle readEnd, writeEnd;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (output != nullptr) {
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return -1;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = writeEnd.get();
  }
  PROCESS_INFORMATION process{};
  std::wstring line = command;
  BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                                nullptr, &startup, &process);
  writeEnd.reset();
  if (!started) return -1;
  UniqueHandle processHandle(process.hProcess), thread(process.hThread);
  if (output != nullptr) {
    // Read to the end before waiting, so that a full pipe cannot stall the child.
    output->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
      output->append(buffer, got);
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  return static_cast<long>(code);
}

}  // namespace wex
