// What Wexlo.exe and Velmora.dll register, read back and compared with the
// registration plan. Each test leaves both registered, as the runner did.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/registration/component_identities.h"
#include "common/ustring.h"
#include "common/win32/registry_key.h"
#include "common/win32/unique_handle.h"
#include "tests/wine/support/automation.h"
#include "tests/wine/support/suite.h"
#include "velmora.h"
#include "wexlo.h"

namespace wex {
namespace {

// "path" or "path|name=value" ("@": the default), below root's classes key,
// in lower case: Wine may spell a path differently from the test.
void ListTree(HKEY root, REGSAM view, const std::wstring& path, std::set<std::wstring>& out) {
  RegistryKey key;
  if (RegOpenKeyExW(root, (L"Software\\Classes\\" + path).c_str(), 0, KEY_READ | view, key.put()) !=
      ERROR_SUCCESS)
    return;
  out.insert(Lower(path));
  wchar_t name[256], data[1024];
  DWORD nameLength = 256, bytes = sizeof data - sizeof(wchar_t), type = 0;
  for (DWORD i = 0; RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data), &bytes) == ERROR_SUCCESS;
       ++i, nameLength = 256, bytes = sizeof data - sizeof(wchar_t)) {
    std::wstring value = type == REG_SZ ? std::wstring(data, bytes / sizeof(wchar_t))
                                        : L"<type " + std::to_wstring(type) + L">";
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    out.insert(
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

// Lines as one text (for a readable comparison in a failure).
std::string Text(const std::set<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += ToUtf8(ustring(line.begin(), line.end())) + "\n";
  return text;
}

// Runs a command line and waits for it; its exit code, or -1. Its standard
// output and error go to *output.
long RunCommand(const std::wstring& command, std::string* output = nullptr) {
  std::string ignored;
  if (output == nullptr) output = &ignored;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return -1;
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = startup.hStdError = writeEnd.get();
  PROCESS_INFORMATION process{};
  std::wstring line = command;
  BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  writeEnd.reset();
  if (!started) return -1;
  UniqueHandle processHandle(process.hProcess), thread(process.hThread);
  // Read to the end before waiting, so that a full pipe cannot stall the child.
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    output->append(buffer, got);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  return static_cast<long>(code);
}

struct View {
  REGSAM flag;
  RegistryView view;
};

// The views of this Windows, the test's own first.
std::vector<View> MachineViews() {
  const View view32{KEY_WOW64_32KEY, RegistryView::k32}, view64{KEY_WOW64_64KEY, RegistryView::k64};
  if (sizeof(void*) == 8) return {view64, view32};
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return {view32, view64};
  return {view32};
}

struct Component {
  const char* name;
  ComponentIdentity identity;
  std::wstring file;
  // A program serves clients of both kinds, so it registers in every view;
  // a library only where programs of its own kind look.
  std::vector<View> views;
  bool library;  // registered by regsvr32
  std::wstring registerMachine, unregisterMachine, registerUser, unregisterUser;
  const CLSID* clsid;
};

const std::vector<Component>& Components() {
  const std::wstring exe = BinaryPath(L"Wexlo.exe"), dll = BinaryPath(L"Velmora.dll");
  static const std::vector<Component> components = {
      {"Wexlo", DownloaderIdentity(), exe, MachineViews(), false, L"-REGSERVER", L"-unregserver",
       L"/RegServerPerUser", L"-unregserverperuser", &CLSID_Downloader},
      {"Velmora", BrowserIdentity(), dll, std::vector<View>{MachineViews().front()}, true, L"",
       L"/u", L"/n /i:user", L"/u /n /i:user", &CLSID_Browser},
  };
  return components;
}

long RunAs(const Component& c, const std::wstring& switches, std::string* output = nullptr) {
  return RunCommand(c.library ? L"regsvr32.exe /s " + switches + L" \"" + c.file + L"\""
                              : L"\"" + c.file + L"\" " + switches,
                    output);
}

// The trees the plan writes below (some within others).
std::vector<std::wstring> Trees(const RegistrationPlan& plan) {
  std::vector<std::wstring> trees;
  for (const ustring& tree : plan.sharedTrees) trees.push_back(Lower(Wide(tree)));
  for (const ustring& tree : plan.ownTrees) trees.push_back(Lower(Wide(tree)));
  return trees;
}

// What each view shows: the plans of all the component's views (64-bit
// Windows shares the type library key between them).
std::set<std::wstring> Expected(const Component& c, RegistryRoot root) {
  std::set<std::wstring> lines;
  for (const View& view : c.views) {
    const RegistrationPlan plan = PlanRegistration(
        c.identity, root, view.view, {ustring(c.file.begin(), c.file.end()), sizeof(void*) == 8});
    const std::vector<std::wstring> trees = Trees(plan);
    for (const RegistryEntry& entry : plan.entries) {
      const std::wstring key = Lower(Wide(entry.key));
      for (size_t end = 0; end != std::wstring::npos;) {
        end = key.find(L'\\', end + 1);
        const std::wstring part = key.substr(0, end);
        for (const std::wstring& t : trees)
          if (part == t || part.rfind(t + L"\\", 0) == 0) lines.insert(part);
      }
      if (entry.hasValue)
        lines.insert(key + L"|" + (entry.name.empty() ? L"@" : Lower(Wide(entry.name))) + L"=" +
                     Lower(Wide(entry.data)));
    }
  }
  return lines;
}

std::string Registered(const Component& c, HKEY root, REGSAM view) {
  std::set<std::wstring> lines;
  const RegistrationPlan plan =
      PlanRegistration(c.identity, RegistryRoot::kMachine, c.views.front().view, {u"x", false});
  for (const std::wstring& key : Trees(plan)) ListTree(root, view, key, lines);
  return Text(lines);
}

// What root holds of the component in every view.
std::string EveryView(const Component& c, HKEY root) {
  std::string text;
  for (const View& view : MachineViews()) text += Registered(c, root, view.flag);
  return text;
}

class Registration : public ComApartment, public ::testing::WithParamInterface<Component> {
 protected:
  void TearDown() override {
    RunAs(GetParam(), GetParam().unregisterUser);
    RunAs(GetParam(), GetParam().registerMachine);
    ComApartment::TearDown();
  }
  void ExpectRegistered(HKEY root) {
    const Component& c = GetParam();
    const std::string expected = Text(
        Expected(c, root == HKEY_LOCAL_MACHINE ? RegistryRoot::kMachine : RegistryRoot::kUser));
    const std::wstring clsid = Lower(Wide(c.identity.clsid));
    ASSERT_NE(expected.find(std::string(clsid.begin(), clsid.end())), std::string::npos);
    for (const View& view : c.views) EXPECT_EQ(Registered(c, root, view.flag), expected);
  }
};

TEST_P(Registration, UnregisterRemovesEverythingAndRegisterWritesThePlanInEachView) {
  const Component& c = GetParam();
  ASSERT_EQ(RunAs(c, c.unregisterMachine), 0);
  EXPECT_EQ(EveryView(c, HKEY_LOCAL_MACHINE), "");
  CLSID clsid;
  EXPECT_NE(CLSIDFromProgID(Wide(c.identity.progId).c_str(), &clsid), S_OK);
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(RunAs(c, c.unregisterMachine), 0) << "nothing left to remove is no failure";

  for (int time = 0; time < 2; ++time) {
    ASSERT_EQ(RunAs(c, c.registerMachine), 0);
    ExpectRegistered(HKEY_LOCAL_MACHINE);
  }
  EXPECT_EQ(EveryView(c, HKEY_CURRENT_USER), "");
  EXPECT_EQ(CLSIDFromProgID(Wide(c.identity.progId).c_str(), &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, *c.clsid)) << "the plan names another class than the binary's";
}

// The per-user forms touch nothing machine-wide, with or without a
// machine-wide registration beside them.
TEST_P(Registration, PerUserFormsWriteAndRemoveTheCurrentUsersKeysOnly) {
  const Component& c = GetParam();
  for (bool machineRegistered : {true, false}) {
    SCOPED_TRACE(machineRegistered ? "registered machine-wide too" : "per-user only");
    ASSERT_EQ(RunAs(c, machineRegistered ? c.registerMachine : c.unregisterMachine), 0);
    const std::string machine = EveryView(c, HKEY_LOCAL_MACHINE);
    ASSERT_EQ(RunAs(c, c.registerUser), 0);
    ExpectRegistered(HKEY_CURRENT_USER);
    EXPECT_EQ(EveryView(c, HKEY_LOCAL_MACHINE), machine);
    ASSERT_EQ(RunAs(c, c.unregisterUser), 0);
    EXPECT_EQ(EveryView(c, HKEY_CURRENT_USER), "");
    EXPECT_EQ(EveryView(c, HKEY_LOCAL_MACHINE), machine);
  }
  if (c.library) {
    EXPECT_NE(RunAs(c, L"/n /i:everyone"), 0) << "an unknown scope is refused";
    EXPECT_EQ(EveryView(c, HKEY_CURRENT_USER), "");
  }
}

// A volatile key takes no lasting subkeys: writing the last interface's
// marshaller fails after nearly everything else was written.
TEST_P(Registration, FailureHalfWayLeavesNothingBehindAndSaysWhat) {
  const Component& c = GetParam();
  const std::wstring blocked = L"Interface\\" + Wide(c.identity.interfaces.back().iid);
  const REGSAM lastView = c.views.back().flag;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const bool machine = root == HKEY_LOCAL_MACHINE;
    SCOPED_TRACE(machine ? "machine-wide" : "per-user");
    ASSERT_EQ(RunAs(c, c.unregisterMachine), 0);
    RegistryKey key;  // its parents are lasting keys, as a fresh profile may lack them
    ASSERT_EQ(RegCreateKeyExW(root, L"Software\\Classes\\Interface", 0, nullptr, 0,
                              KEY_ALL_ACCESS | lastView, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(root, (L"Software\\Classes\\" + blocked).c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS | lastView, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    key.reset();

    std::string output;
    const long code = RunAs(c, machine ? c.registerMachine : c.registerUser, &output);
    EXPECT_NE(code, 0);
    if (!c.library) {
      EXPECT_EQ(code, 1);
      for (std::string part :
           {std::string("could not register Wexlo.Downloader"),
            "Interface\\" + ToUtf8(c.identity.interfaces.back().iid).substr(0, 9),
            std::string("Nothing was registered.")})
        EXPECT_NE(output.find(part), std::string::npos) << output;
      EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
    // The blocking key is as the test made it, and nothing else is left.
    std::set<std::wstring> left;
    ListTree(root, lastView, blocked, left);
    EXPECT_EQ(left, std::set<std::wstring>{Lower(blocked)});
    EXPECT_EQ(RegDeleteKeyExW(root, (L"Software\\Classes\\" + blocked).c_str(), lastView, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(EveryView(c, root), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Components, Registration, ::testing::ValuesIn(Components()),
                         [](const auto& info) { return std::string(info.param.name); });

// The registration is this program's whatever spelling of its path runs the
// removal: another letter case, or the 8.3 short name.
TEST(WexloRegistration, UnregServerRecognisesItsOwnPathInAnotherSpelling) {
  const std::wstring folder = ScratchDir() + L"\\Registered Copy Folder";  // has a short form
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring exe = folder + L"\\Wexlo.exe";
  ASSERT_TRUE(CopyFileW(BinaryPath(L"Wexlo.exe").c_str(), exe.c_str(), FALSE));
  std::wstring upper = exe;
  CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(exe.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(Lower(shortPath), Lower(exe)) << "the path has a short form";
  const Component& wexlo = Components()[0];
  for (const std::wstring& spelling : {upper, std::wstring(shortPath)}) {
    SCOPED_TRACE(std::string(spelling.begin(), spelling.end()));
    ASSERT_EQ(RunCommand(L"\"" + exe + L"\" /RegServer"), 0);
    std::string output;
    EXPECT_EQ(RunCommand(L"\"" + spelling + L"\" /UnregServer", &output), 0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(EveryView(wexlo, HKEY_LOCAL_MACHINE), "");
  }
  DeleteFileW(exe.c_str());
  RemoveDirectoryW(folder.c_str());
  EXPECT_EQ(RunAs(wexlo, L"/RegServer"), 0);
}

TEST(WexloRegistration, ConsoleLinesOnlyForFailuresAndWhenAsked) {
  const Component& wexlo = Components()[0];
  const struct {
    const wchar_t* switches;
    long code;
    const char* output;  // null: contains "unknown switch"
  } cases[] = {{L"/RegServer", 0, ""},
               {L"/RegServer /Verbose", 0, "Wexlo.Downloader registered for all users.\r\n"},
               {L"/Install", 1, nullptr},
               {L"", 0, ""}};
  for (const auto& c : cases) {
    std::string output;
    EXPECT_EQ(RunAs(wexlo, c.switches, &output), c.code) << output;
    if (c.output != nullptr)
      EXPECT_EQ(output, c.output);
    else
      EXPECT_NE(output.find("unknown switch"), std::string::npos) << output;
  }
}

}  // namespace
}  // namespace wex
