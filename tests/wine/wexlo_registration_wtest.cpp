// Self-registration of Wexlo.exe: /UnregServer removes every key /RegServer
// writes, creating the object then fails cleanly, and registering again
// restores it. The runner registered the server before this program starts;
// the test leaves it registered.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

std::wstring GuidText(REFGUID guid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(guid, buffer, 40);
  return buffer;
}

// Every key the registration writes, under HKEY_CLASSES_ROOT.
std::vector<std::wstring> RegisteredKeys() {
  std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Downloader);
  return {L"Wexlo.Downloader",
          L"Wexlo.Downloader\\CLSID",
          L"Wexlo.Downloader\\CurVer",
          L"Wexlo.Downloader.1\\CLSID",
          clsid,
          clsid + L"\\LocalServer32",
          clsid + L"\\ProgID",
          clsid + L"\\VersionIndependentProgID",
          clsid + L"\\TypeLib",
          clsid + L"\\Programmable",
          L"TypeLib\\" + GuidText(LIBID_Wexlo),
          L"TypeLib\\" + GuidText(LIBID_Wexlo) + L"\\1.0",
          L"Interface\\" + GuidText(IID__Downloader),
          L"Interface\\" + GuidText(DIID___Downloader)};
}

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

std::wstring DefaultValue(const std::wstring& path) {
  wchar_t buffer[1024] = {};
  DWORD bytes = sizeof buffer - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer,
                   &bytes) != ERROR_SUCCESS)
    return L"<none>";
  return buffer;
}

// Runs Wexlo.exe with the given arguments; its exit code, or -1.
long RunServer(const std::wstring& arguments) {
  std::wstring command = L"\"" + BinaryPath(L"Wexlo.exe") + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  // Whatever happened, the suite after this one needs the server registered.
  void TearDown() override {
    RunServer(L"/RegServer");
    CoUninitialize();
  }
};

TEST_F(Registration, RegServerWritesTheClassProgIdsAndTypeLibrary) {
  ASSERT_EQ(RunServer(L"/RegServer"), 0);
  for (const std::wstring& key : RegisteredKeys()) EXPECT_TRUE(KeyExists(key)) << key;
  std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Downloader);
  std::wstring server = DefaultValue(clsid + L"\\LocalServer32");
  EXPECT_EQ(lstrcmpiW(server.c_str(), (L"\"" + BinaryPath(L"Wexlo.exe") + L"\"").c_str()), 0)
      << server;
  EXPECT_EQ(DefaultValue(L"Wexlo.Downloader\\CLSID"), GuidText(CLSID_Downloader));
  EXPECT_EQ(DefaultValue(clsid + L"\\TypeLib"), GuidText(LIBID_Wexlo));
  EXPECT_EQ(DefaultValue(clsid + L"\\VersionIndependentProgID"), L"Wexlo.Downloader");
}

TEST_F(Registration, UnregServerRemovesEveryKeyAndCreationThenFailsCleanly) {
  ASSERT_EQ(RunServer(L"-unregserver"), 0) << "the dash form, in any letter case";
  for (const std::wstring& key : RegisteredKeys()) EXPECT_FALSE(KeyExists(key)) << key;

  CLSID clsid;
  EXPECT_NE(CLSIDFromProgID(L"Wexlo.Downloader", &clsid), S_OK);
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Downloader, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);

  EXPECT_EQ(RunServer(L"/UnregServer"), 0) << "nothing left to remove is no failure";
  ASSERT_EQ(RunServer(L"-REGSERVER"), 0);
  for (const std::wstring& key : RegisteredKeys()) EXPECT_TRUE(KeyExists(key)) << key;
  EXPECT_EQ(CLSIDFromProgID(L"Wexlo.Downloader", &clsid), S_OK);
}

TEST_F(Registration, UnknownSwitchFailsAndNoSwitchDoesNothing) {
  EXPECT_NE(RunServer(L"/Install"), 0);
  EXPECT_EQ(RunServer(L""), 0);
}

}  // namespace
}  // namespace wex
