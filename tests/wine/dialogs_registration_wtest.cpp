// Registration of Velmora.dll through the platform's regsvr32: registering
// writes exactly the class, ProgID, type library and interface keys, and
// unregistering removes all of them. The test leaves the library registered.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "common/ustring.h"
#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

const wchar_t kProgIdKey[] = L"Velmora.Browser";
const wchar_t kClassKey[] = L"CLSID\\{744A22E9-367A-4D88-88F7-23B0ABC821AA}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{37F198A4-0F47-4532-B860-E5E925A3BE0D}";
const wchar_t kInterfaceKey[] = L"Interface\\{E9D04E82-C40F-4FF2-8B7C-16B0A6486F32}";
const wchar_t* const kRoots[] = {kProgIdKey, kClassKey, kTypeLibKey, kInterfaceKey};

std::string Narrow(const std::wstring& w) {
  return ToUtf8(ustring(reinterpret_cast<const char16_t*>(w.data()), w.size()));
}

std::wstring Lower(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return towlower(c); });
  return s;
}

// Runs regsvr32 silently on Velmora.dll; its exit code.
DWORD RunRegsvr32(bool unregister) {
  std::wstring command = L"regsvr32.exe /s ";
  if (unregister) command += L"/u ";
  command += L"\"" + BinaryPath(L"Velmora.dll") + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return GetLastError() | 0x80000000u;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Every key under path and every string value in them, one line each:
// "key" for a key, "key|name=value" for a value ("@" names the default).
void ListTree(const std::wstring& path, std::vector<std::wstring>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  out.push_back(path);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_len = 256;
    wchar_t data[1024];
    DWORD data_bytes = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    LONG rc = RegEnumValueW(key, i, name, &name_len, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &data_bytes);
    if (rc != ERROR_SUCCESS) break;
    std::wstring value = type == REG_SZ ? std::wstring(data, data_bytes / sizeof(wchar_t))
                                        : L"<type " + std::to_wstring(type) + L">";
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    out.push_back(path + L"|" + (name_len ? std::wstring(name, name_len) : L"@") + L"=" + value);
  }
  std::vector<std::wstring> children;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_len = 256;
    if (RegEnumKeyExW(key, i, name, &name_len, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    children.emplace_back(name, name_len);
  }
  RegCloseKey(key);
  for (const std::wstring& child : children) ListTree(path + L"\\" + child, out);
}

// The keys the library owns, as registered now, in one sorted list with
// paths compared without regard to case.
std::vector<std::wstring> RegisteredTree() {
  std::vector<std::wstring> lines;
  for (const wchar_t* root : kRoots) ListTree(root, lines);
  for (std::wstring& line : lines) line = Lower(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::wstring> ExpectedTree() {
  const std::wstring dll = BinaryPath(L"Velmora.dll");
  const std::wstring dir = BinaryDir();
  const std::wstring lib = std::wstring(kTypeLibKey) + L"\\1.0";
  const std::wstring platform = sizeof(void*) == 8 ? L"win64" : L"win32";
  const std::wstring automation_marshaler = L"{00020424-0000-0000-C000-000000000046}";
  std::vector<std::wstring> lines = {
      kProgIdKey,
      std::wstring(kProgIdKey) + L"|@=Velmora.Browser",
      std::wstring(kProgIdKey) + L"\\CLSID",
      std::wstring(kProgIdKey) + L"\\CLSID|@={744A22E9-367A-4D88-88F7-23B0ABC821AA}",
      kClassKey,
      std::wstring(kClassKey) + L"|@=Velmora.Browser",
      std::wstring(kClassKey) + L"\\InprocServer32",
      std::wstring(kClassKey) + L"\\InprocServer32|@=" + dll,
      std::wstring(kClassKey) + L"\\InprocServer32|ThreadingModel=Apartment",
      std::wstring(kClassKey) + L"\\ProgID",
      std::wstring(kClassKey) + L"\\ProgID|@=Velmora.Browser",
      std::wstring(kClassKey) + L"\\TypeLib",
      std::wstring(kClassKey) + L"\\TypeLib|@={37F198A4-0F47-4532-B860-E5E925A3BE0D}",
      kTypeLibKey,
      lib,
      lib + L"|@=Velmora",
      lib + L"\\0",
      lib + L"\\0\\" + platform,
      lib + L"\\0\\" + platform + L"|@=" + dll,
      lib + L"\\HELPDIR",
      lib + L"\\HELPDIR|@=" + dir,
      kInterfaceKey,
      std::wstring(kInterfaceKey) + L"|@=_Browser",
      std::wstring(kInterfaceKey) + L"\\ProxyStubClsid",
      std::wstring(kInterfaceKey) + L"\\ProxyStubClsid|@=" + automation_marshaler,
      std::wstring(kInterfaceKey) + L"\\ProxyStubClsid32",
      std::wstring(kInterfaceKey) + L"\\ProxyStubClsid32|@=" + automation_marshaler,
      std::wstring(kInterfaceKey) + L"\\TypeLib",
      std::wstring(kInterfaceKey) + L"\\TypeLib|@={37F198A4-0F47-4532-B860-E5E925A3BE0D}",
      std::wstring(kInterfaceKey) + L"\\TypeLib|Version=1.0",
  };
  for (std::wstring& line : lines) line = Lower(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The library flags are the type library's own (the platform adds its disk
// image flag); only their presence is checked.
std::vector<std::wstring> WithoutFlagsValue(std::vector<std::wstring> lines) {
  const std::wstring flags = Lower(std::wstring(kTypeLibKey) + L"\\1.0\\FLAGS");
  bool found = false;
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [&](const std::wstring& line) {
                               if (line.compare(0, flags.size(), flags) != 0) return false;
                               found = true;
                               return true;
                             }),
              lines.end());
  if (found) lines.push_back(L"<flags>");
  return lines;
}

class Registration : public ::testing::Test {
 protected:
  // Whatever happens in a test, the suite goes on with the library registered.
  void TearDown() override { RunRegsvr32(false); }
};

TEST_F(Registration, UnregisterRemovesEveryKeyAndRegisterWritesExactlyThem) {
  ASSERT_EQ(RunRegsvr32(true), 0u);
  for (const wchar_t* root : kRoots) EXPECT_FALSE(KeyExists(root)) << Narrow(root);

  ASSERT_EQ(RunRegsvr32(false), 0u);
  std::vector<std::wstring> actual = WithoutFlagsValue(RegisteredTree());
  std::vector<std::wstring> expected = ExpectedTree();
  expected.push_back(L"<flags>");
  std::sort(actual.begin(), actual.end());
  std::sort(expected.begin(), expected.end());
  std::string actual_text, expected_text;
  for (const std::wstring& l : actual) actual_text += Narrow(l) + "\n";
  for (const std::wstring& l : expected) expected_text += Narrow(l) + "\n";
  EXPECT_EQ(actual_text, expected_text);
}

TEST_F(Registration, UnregisteringTwiceAndRegisteringTwiceAreHarmless) {
  EXPECT_EQ(RunRegsvr32(true), 0u);
  EXPECT_EQ(RunRegsvr32(true), 0u);
  for (const wchar_t* root : kRoots) EXPECT_FALSE(KeyExists(root)) << Narrow(root);
  EXPECT_EQ(RunRegsvr32(false), 0u);
  std::vector<std::wstring> once = RegisteredTree();
  EXPECT_EQ(RunRegsvr32(false), 0u);
  EXPECT_EQ(RegisteredTree(), once);
}

TEST(VersionBlock, MarksTheLibraryAsSelfRegistering) {
  HMODULE module =
      LoadLibraryExW(BinaryPath(L"Velmora.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const LPCWSTR version_type = MAKEINTRESOURCEW(16);  // RT_VERSION
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), version_type);
  ASSERT_NE(found, nullptr);
  const wchar_t* block = static_cast<const wchar_t*>(LockResource(LoadResource(module, found)));
  DWORD bytes = SizeofResource(module, found);
  ASSERT_NE(block, nullptr);
  // The key is a UTF-16 name inside the StringFileInfo table.
  std::wstring text(block, bytes / sizeof(wchar_t));
  EXPECT_NE(text.find(L"OLESelfRegister"), std::wstring::npos);
  FreeLibrary(module);
}

}  // namespace
}  // namespace wex
