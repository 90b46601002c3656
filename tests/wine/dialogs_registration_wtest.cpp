// Registration of Velmora.dll through the platform's regsvr32: registering
// writes exactly the class, ProgID, type library and interface keys in the
// registry view of the library's own kind, machine-wide or (DllInstall, with
// /n /i:user) for the current user only, and unregistering removes all of
// them; a registration that fails half-way leaves nothing behind. The test
// leaves the library registered machine-wide.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/support/registry_tree.h"
#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

const wchar_t kProgIdKey[] = L"Velmora.Browser";
const wchar_t kClassKey[] = L"CLSID\\{744A22E9-367A-4D88-88F7-23B0ABC821AA}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{37F198A4-0F47-4532-B860-E5E925A3BE0D}";
const wchar_t kInterfaceKey[] = L"Interface\\{E9D04E82-C40F-4FF2-8B7C-16B0A6486F32}";
const wchar_t* const kRoots[] = {kProgIdKey, kClassKey, kTypeLibKey, kInterfaceKey};

// The library registers where programs of its own kind look.
const REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// Runs regsvr32 silently on Velmora.dll with the given switches; its exit code.
long RegsvrWith(const std::wstring& switches) {
  return RunCommand(L"regsvr32.exe /s " + switches + L" \"" + BinaryPath(L"Velmora.dll") + L"\"");
}
long RunRegsvr32(bool unregister) { return RegsvrWith(unregister ? L"/u" : L""); }

// The keys the library owns, as registered now under root.
std::vector<std::wstring> RegisteredTree(HKEY root = HKEY_LOCAL_MACHINE) {
  std::vector<std::wstring> lines;
  for (const wchar_t* key : kRoots) {
    std::vector<std::wstring> tree = ClassesTree(root, kOwnView, key);
    lines.insert(lines.end(), tree.begin(), tree.end());
  }
  return lines;
}

bool AnyKeyExists(HKEY root) {
  for (const wchar_t* key : kRoots)
    if (ClassesKeyExists(root, kOwnView, key)) return true;
  return false;
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
      lib + L"\\FLAGS",
      lib + L"\\FLAGS|@=8",
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
  return lines;
}

class Registration : public ::testing::Test {
 protected:
  // Whatever happens in a test, the suite goes on with the library registered.
  void TearDown() override { RunRegsvr32(false); }
};

TEST_F(Registration, UnregisterRemovesEveryKeyAndRegisterWritesExactlyThem) {
  ASSERT_EQ(RunRegsvr32(true), 0);
  EXPECT_FALSE(AnyKeyExists(HKEY_LOCAL_MACHINE));
  ASSERT_EQ(RunRegsvr32(false), 0);
  EXPECT_EQ(SortedText(RegisteredTree()), SortedText(ExpectedTree()));
  EXPECT_FALSE(AnyKeyExists(HKEY_CURRENT_USER));
}

TEST_F(Registration, UnregisteringTwiceAndRegisteringTwiceAreHarmless) {
  EXPECT_EQ(RunRegsvr32(true), 0);
  EXPECT_EQ(RunRegsvr32(true), 0);
  EXPECT_FALSE(AnyKeyExists(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(RunRegsvr32(false), 0);
  std::string once = SortedText(RegisteredTree());
  EXPECT_EQ(RunRegsvr32(false), 0);
  EXPECT_EQ(SortedText(RegisteredTree()), once);
}

// regsvr32 /n /i:user calls only DllInstall, which registers for the current
// user; nothing machine-wide changes, whether or not it is registered there.
TEST_F(Registration, PerUserInstallWritesAndRemovesTheCurrentUsersKeysOnly) {
  for (bool machineRegistered : {true, false}) {
    SCOPED_TRACE(machineRegistered ? "registered machine-wide too" : "per-user only");
    ASSERT_EQ(RunRegsvr32(!machineRegistered), 0);
    std::string machine = SortedText(RegisteredTree());
    ASSERT_EQ(RegsvrWith(L"/n /i:user"), 0);
    EXPECT_EQ(SortedText(RegisteredTree(HKEY_CURRENT_USER)), SortedText(ExpectedTree()));
    EXPECT_EQ(SortedText(RegisteredTree()), machine);
    ASSERT_EQ(RegsvrWith(L"/u /n /i:user"), 0);
    EXPECT_FALSE(AnyKeyExists(HKEY_CURRENT_USER));
    EXPECT_EQ(SortedText(RegisteredTree()), machine);
  }
  EXPECT_NE(RegsvrWith(L"/n /i:everyone"), 0) << "an unknown scope is refused";
  EXPECT_FALSE(AnyKeyExists(HKEY_CURRENT_USER));
}

// A volatile interface key takes no lasting subkeys: the registration fails
// at the interface's marshaller, after the class and the type library were
// written, and takes them back.
TEST_F(Registration, FailureHalfWayLeavesNothingBehind) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    SCOPED_TRACE(root == HKEY_LOCAL_MACHINE ? "machine-wide" : "per-user");
    ASSERT_EQ(RunRegsvr32(true), 0);
    const std::wstring blocked = std::wstring(L"Software\\Classes\\") + kInterfaceKey;
    // Its parents are lasting keys, as a fresh profile may lack them.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, L"Software\\Classes\\Interface", 0, nullptr, 0,
                              KEY_ALL_ACCESS | kOwnView, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(root, blocked.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS | kOwnView, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(RegsvrWith(root == HKEY_LOCAL_MACHINE ? L"" : L"/n /i:user"), 0);
    EXPECT_EQ(SortedText(RegisteredTree(root)), SortedText({Lower(kInterfaceKey)}));
    EXPECT_EQ(RegDeleteKeyExW(root, blocked.c_str(), kOwnView, 0), ERROR_SUCCESS);
  }
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
