// Self-registration of Wexlo.exe, read back from the registry: /RegServer
// writes exactly the class, ProgIDs, type library and interface keys into
// every registry view of the machine, /RegServerPerUser the same for the
// current user only; the /Unreg forms remove all of it; a registration that
// fails half-way leaves nothing behind, exits 1 and says what failed. The
// runner registered the server before this program starts; each test leaves
// it registered.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "tests/wine/support/registry_tree.h"
#include "tests/wine/support/wine_paths.h"
#include "wexlo.h"

namespace wex {
namespace {

std::wstring GuidText(REFGUID guid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(guid, buffer, 40);
  return buffer;
}

struct View {
  REGSAM flag;
  bool is64Bit;
};

// The views of this Windows, the test's own first: a program serves clients
// of both kinds, so it registers in each.
std::vector<View> MachineViews() {
  View view32{KEY_WOW64_32KEY, false}, view64{KEY_WOW64_64KEY, true};
  if (sizeof(void*) == 8) return {view64, view32};
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return {view32, view64};
  return {view32};
}

const std::wstring kClass = L"CLSID\\" + GuidText(CLSID_Downloader);
const std::wstring kLibrary = L"TypeLib\\" + GuidText(LIBID_Wexlo);
const std::wstring kInterface = L"Interface\\" + GuidText(IID__Downloader);
const std::wstring kEvents = L"Interface\\" + GuidText(DIID___Downloader);
const std::vector<std::wstring> kRoots = {
    L"Wexlo.Downloader", L"Wexlo.Downloader.1", kClass, kLibrary, kInterface, kEvents};

std::vector<std::wstring> Registered(HKEY root, REGSAM view) {
  std::vector<std::wstring> lines;
  for (const std::wstring& key : kRoots) {
    std::vector<std::wstring> tree = ClassesTree(root, view, key);
    lines.insert(lines.end(), tree.begin(), tree.end());
  }
  return lines;
}

std::vector<std::wstring> InEveryView(HKEY root) {
  std::vector<std::wstring> lines;
  for (const View& view : MachineViews()) {
    std::vector<std::wstring> tree = Registered(root, view.flag);
    lines.insert(lines.end(), tree.begin(), tree.end());
  }
  return lines;
}

// What one view holds after registration. The type library names the
// program for clients of its own kind and, on 64-bit Windows, also for
// clients of the other kind (the type library key is one for both views
// there, so each view shows both).
std::vector<std::wstring> Expected() {
  const std::wstring exe = BinaryPath(L"Wexlo.exe");
  const std::wstring clsid = GuidText(CLSID_Downloader);
  const std::wstring libid = GuidText(LIBID_Wexlo);
  const std::wstring version = kLibrary + L"\\1.0";
  const std::wstring typeLibMarshaller = L"{00020424-0000-0000-C000-000000000046}";
  const std::wstring dispatchMarshaller = L"{00020420-0000-0000-C000-000000000046}";
  const bool programIs64Bit = sizeof(void*) == 8;
  std::vector<std::wstring> lines = {
      L"Wexlo.Downloader",
      L"Wexlo.Downloader|@=Downloader",
      L"Wexlo.Downloader\\CLSID",
      L"Wexlo.Downloader\\CLSID|@=" + clsid,
      L"Wexlo.Downloader\\CurVer",
      L"Wexlo.Downloader\\CurVer|@=Wexlo.Downloader.1",
      L"Wexlo.Downloader.1",
      L"Wexlo.Downloader.1|@=Downloader",
      L"Wexlo.Downloader.1\\CLSID",
      L"Wexlo.Downloader.1\\CLSID|@=" + clsid,
      kClass,
      kClass + L"|@=Downloader",
      kClass + L"\\LocalServer32",
      kClass + L"\\LocalServer32|@=\"" + exe + L"\"",
      kClass + L"\\ProgID",
      kClass + L"\\ProgID|@=Wexlo.Downloader.1",
      kClass + L"\\VersionIndependentProgID",
      kClass + L"\\VersionIndependentProgID|@=Wexlo.Downloader",
      kClass + L"\\TypeLib",
      kClass + L"\\TypeLib|@=" + libid,
      kClass + L"\\Version",
      kClass + L"\\Version|@=1.0",
      kClass + L"\\Programmable",
      kLibrary,
      version,
      version + L"|@=Wexlo",
      version + L"\\0",
      version + L"\\0\\" + (programIs64Bit ? L"win64" : L"win32"),
      version + L"\\0\\" + (programIs64Bit ? L"win64" : L"win32") + L"|@=" + exe,
      version + L"\\FLAGS",
      version + L"\\FLAGS|@=8",
      version + L"\\HELPDIR",
      version + L"\\HELPDIR|@=" + BinaryDir(),
  };
  if (MachineViews().size() == 2) {
    const std::wstring other = version + L"\\0\\" + (programIs64Bit ? L"win32" : L"win64");
    lines.push_back(other);
    lines.push_back(other + L"|@=" + exe);
  }
  for (const auto& [key, name, marshaller] :
       {std::make_tuple(kInterface, L"_Downloader", typeLibMarshaller),
        std::make_tuple(kEvents, L"__Downloader", dispatchMarshaller)}) {
    std::vector<std::wstring> more = {key,
                                      key + L"|@=" + name,
                                      key + L"\\ProxyStubClsid",
                                      key + L"\\ProxyStubClsid|@=" + marshaller,
                                      key + L"\\ProxyStubClsid32",
                                      key + L"\\ProxyStubClsid32|@=" + marshaller,
                                      key + L"\\TypeLib",
                                      key + L"\\TypeLib|@=" + libid,
                                      key + L"\\TypeLib|version=1.0"};
    lines.insert(lines.end(), more.begin(), more.end());
  }
  for (std::wstring& line : lines) line = Lower(line);
  return lines;
}

long RunServer(const std::wstring& arguments, std::string* output = nullptr) {
  return RunCommand(L"\"" + BinaryPath(L"Wexlo.exe") + L"\" " + arguments, output);
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  // Whatever happened, the suite after this one needs the server registered
  // machine-wide and nothing for the user.
  void TearDown() override {
    RunServer(L"/UnregServerPerUser");
    RunServer(L"/RegServer");
    CoUninitialize();
  }
};

TEST_F(Registration, RegServerWritesTheSameKeysInEveryView) {
  ASSERT_EQ(RunServer(L"/RegServer"), 0);
  for (const View& view : MachineViews()) {
    SCOPED_TRACE(view.is64Bit ? "64-bit view" : "32-bit view");
    EXPECT_EQ(SortedText(Registered(HKEY_LOCAL_MACHINE, view.flag)), SortedText(Expected()));
  }
  EXPECT_EQ(SortedText(InEveryView(HKEY_CURRENT_USER)), "");
}

TEST_F(Registration, UnregServerRemovesEveryKeyAndCreationThenFailsCleanly) {
  ASSERT_EQ(RunServer(L"-unregserver"), 0) << "the dash form, in any letter case";
  EXPECT_EQ(SortedText(InEveryView(HKEY_LOCAL_MACHINE)), "");

  CLSID clsid;
  EXPECT_NE(CLSIDFromProgID(L"Wexlo.Downloader", &clsid), S_OK);
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Downloader, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);

  EXPECT_EQ(RunServer(L"/UnregServer"), 0) << "nothing left to remove is no failure";
  ASSERT_EQ(RunServer(L"-REGSERVER"), 0);
  EXPECT_EQ(CLSIDFromProgID(L"Wexlo.Downloader", &clsid), S_OK);
}

// The registration is this program's whatever spelling of its path runs the
// removal: Windows compares paths without regard to letter case, and a
// short 8.3 name names the same file as the long one.
TEST_F(Registration, UnregServerRecognisesItsOwnPathInAnotherSpelling) {
  // A copy in a folder whose name has a short form, wherever the build is.
  const std::wstring folder = ScratchDir() + L"\\Registered Copy Folder";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring exe = folder + L"\\Wexlo.exe";
  ASSERT_TRUE(CopyFileW(BinaryPath(L"Wexlo.exe").c_str(), exe.c_str(), FALSE));
  std::wstring upper = exe;
  CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(exe.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(Lower(shortPath), Lower(exe)) << "the path has a short form";
  for (const std::wstring& spelling : {upper, std::wstring(shortPath)}) {
    SCOPED_TRACE(std::string(spelling.begin(), spelling.end()));
    ASSERT_EQ(RunCommand(L"\"" + exe + L"\" /RegServer"), 0);
    std::string output;
    EXPECT_EQ(RunCommand(L"\"" + spelling + L"\" /UnregServer", &output), 0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(SortedText(InEveryView(HKEY_LOCAL_MACHINE)), "");
  }
  DeleteFileW(exe.c_str());
  RemoveDirectoryW(folder.c_str());
}

// The per-user forms touch nothing machine-wide, with or without a
// machine-wide registration beside them.
TEST_F(Registration, PerUserFormsWriteAndRemoveTheCurrentUsersKeysOnly) {
  for (bool machineRegistered : {true, false}) {
    SCOPED_TRACE(machineRegistered ? "registered machine-wide too" : "per-user only");
    ASSERT_EQ(RunServer(machineRegistered ? L"/RegServer" : L"/UnregServer"), 0);
    std::string machine = SortedText(InEveryView(HKEY_LOCAL_MACHINE));

    ASSERT_EQ(RunServer(L"/RegServerPerUser"), 0);
    for (const View& view : MachineViews())
      EXPECT_EQ(SortedText(Registered(HKEY_CURRENT_USER, view.flag)), SortedText(Expected()));
    EXPECT_EQ(SortedText(InEveryView(HKEY_LOCAL_MACHINE)), machine);

    ASSERT_EQ(RunServer(L"-unregserverperuser"), 0);
    EXPECT_EQ(SortedText(InEveryView(HKEY_CURRENT_USER)), "");
    EXPECT_EQ(SortedText(InEveryView(HKEY_LOCAL_MACHINE)), machine);
  }
}

// A key the registration cannot write below: a volatile key takes no
// lasting subkeys, so writing the event interface's marshaller fails after
// everything before it (the whole first view, most of the last) was written.
TEST_F(Registration, FailureHalfWayLeavesNothingBehindAndSaysWhat) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const bool machine = root == HKEY_LOCAL_MACHINE;
    SCOPED_TRACE(machine ? "machine-wide" : "per-user");
    ASSERT_EQ(RunServer(L"/UnregServer"), 0);
    const REGSAM lastView = MachineViews().back().flag;
    // Its parents are lasting keys, as a fresh profile may lack them.
    HKEY blocker = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, L"Software\\Classes\\Interface", 0, nullptr, 0,
                              KEY_ALL_ACCESS | lastView, nullptr, &blocker, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(blocker);
    ASSERT_EQ(
        RegCreateKeyExW(root, (L"Software\\Classes\\" + kEvents).c_str(), 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_ALL_ACCESS | lastView, nullptr, &blocker, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(blocker);

    std::string output;
    EXPECT_EQ(RunServer(machine ? L"/RegServer" : L"/RegServerPerUser", &output), 1);
    EXPECT_NE(output.find("could not register Wexlo.Downloader"), std::string::npos) << output;
    EXPECT_NE(output.find(std::string("Interface\\") + "{01B34C61"), std::string::npos) << output;
    EXPECT_NE(output.find("Nothing was registered."), std::string::npos) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;

    // The blocking key is as the test made it, and nothing else is left.
    EXPECT_EQ(SortedText(ClassesTree(root, lastView, kEvents)), SortedText({Lower(kEvents)}));
    EXPECT_EQ(RegDeleteKeyExW(root, (L"Software\\Classes\\" + kEvents).c_str(), lastView, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(SortedText(InEveryView(root)), "");
  }
}

TEST_F(Registration, ConsoleLinesOnlyForFailuresAndWhenAsked) {
  std::string output;
  EXPECT_EQ(RunServer(L"/RegServer", &output), 0);
  EXPECT_EQ(output, "");
  EXPECT_EQ(RunServer(L"/RegServer /Verbose", &output), 0);
  EXPECT_EQ(output, "Wexlo.Downloader registered for all users.\r\n");
  EXPECT_EQ(RunServer(L"/Install", &output), 1);
  EXPECT_NE(output.find("unknown switch"), std::string::npos) << output;
  EXPECT_EQ(RunServer(L"", &output), 0);
  EXPECT_EQ(output, "");
}

}  // namespace
}  // namespace wex
