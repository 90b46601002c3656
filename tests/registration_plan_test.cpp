// The registration plan: for each root, view and file, exactly the keys and
// values written, and which trees unregistration removes; and the file a
// registered server key names, which unregistration compares with its own.
#include "common/registration/component_identities.h"
#include "common/registration/registration_plan.h"
#include "common/registration/server_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wex {
namespace {

// The components' own identities with short GUIDs, so that the expected
// keys below stay readable.
ComponentIdentity Downloader() {
  ComponentIdentity c = DownloaderIdentity();
  c.clsid = u"{C}";
  c.libid = u"{L}";
  c.interfaces[0].iid = u"{I}";
  c.interfaces[1].iid = u"{E}";
  return c;
}

ComponentIdentity Browser() {
  ComponentIdentity c = BrowserIdentity();
  c.clsid = u"{C}";
  c.libid = u"{L}";
  c.interfaces[0].iid = u"{I}";
  return c;
}

// One line per entry, as a .reg file would show it: "key" for a key alone,
// "key|@=data" for the default value, "key|name=data" for a named one.
std::vector<std::string> Lines(const RegistrationPlan& plan) {
  std::vector<std::string> lines;
  for (const RegistryEntry& e : plan.entries) {
    std::string line = ToUtf8(e.key);
    if (e.hasValue)
      line += "|" + (e.name.empty() ? std::string("@") : ToUtf8(e.name)) + "=" + ToUtf8(e.data);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Texts(const std::vector<ustring>& keys) {
  std::vector<std::string> out;
  for (const ustring& k : keys) out.push_back(ToUtf8(k));
  return out;
}

const char kTlm[] = "{00020424-0000-0000-C000-000000000046}";
const char kDsp[] = "{00020420-0000-0000-C000-000000000046}";

std::vector<std::string> DownloaderLines(const std::string& path,
                                         const std::vector<std::string>& platforms) {
  std::vector<std::string> lines = {"Wexlo.Downloader|@=Downloader",
                                    "Wexlo.Downloader\\CLSID|@={C}",
                                    "Wexlo.Downloader\\CurVer|@=Wexlo.Downloader.1",
                                    "Wexlo.Downloader.1|@=Downloader",
                                    "Wexlo.Downloader.1\\CLSID|@={C}",
                                    "CLSID\\{C}|@=Downloader",
                                    "CLSID\\{C}\\LocalServer32|@=\"" + path + "\"",
                                    "CLSID\\{C}\\ProgID|@=Wexlo.Downloader.1",
                                    "CLSID\\{C}\\VersionIndependentProgID|@=Wexlo.Downloader",
                                    "CLSID\\{C}\\TypeLib|@={L}",
                                    "CLSID\\{C}\\Version|@=1.0",
                                    "CLSID\\{C}\\Programmable",
                                    "TypeLib\\{L}\\1.0|@=Wexlo"};
  for (const std::string& p : platforms)
    lines.push_back("TypeLib\\{L}\\1.0\\0\\" + p + "|@=" + path);
  std::vector<std::string> rest = {"TypeLib\\{L}\\1.0\\FLAGS|@=8",
                                   "TypeLib\\{L}\\1.0\\HELPDIR|@=C:\\Program Files (x86)\\Wexlo",
                                   "Interface\\{I}|@=_Downloader",
                                   std::string("Interface\\{I}\\ProxyStubClsid|@=") + kTlm,
                                   std::string("Interface\\{I}\\ProxyStubClsid32|@=") + kTlm,
                                   "Interface\\{I}\\TypeLib|@={L}",
                                   "Interface\\{I}\\TypeLib|Version=1.0",
                                   "Interface\\{E}|@=__Downloader",
                                   std::string("Interface\\{E}\\ProxyStubClsid|@=") + kDsp,
                                   std::string("Interface\\{E}\\ProxyStubClsid32|@=") + kDsp,
                                   "Interface\\{E}\\TypeLib|@={L}",
                                   "Interface\\{E}\\TypeLib|Version=1.0"};
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}

const std::string kExe = "C:\\Program Files (x86)\\Wexlo\\Wexlo.exe";

struct Case {
  const char* name;
  RegistryRoot root;
  RegistryView view;
  bool is64BitFile;
  std::vector<std::string> platforms;  // the type library's file entries
};

// The 32-bit program in its own view names a win32 library; in the 64-bit
// view also a win64 one, for 64-bit clients; the root changes nothing below it.
TEST(RegistrationPlan, DownloaderInEachRootAndView) {
  const Case cases[] = {
      {"machine, 32-bit view", RegistryRoot::kMachine, RegistryView::k32, false, {"win32"}},
      {"machine, 64-bit view",
       RegistryRoot::kMachine,
       RegistryView::k64,
       false,
       {"win32", "win64"}},
      {"user, 32-bit view", RegistryRoot::kUser, RegistryView::k32, false, {"win32"}},
      {"user, 64-bit view", RegistryRoot::kUser, RegistryView::k64, false, {"win32", "win64"}},
      {"64-bit build, own view", RegistryRoot::kMachine, RegistryView::k64, true, {"win64"}},
      {"64-bit build, 32-bit view",
       RegistryRoot::kUser,
       RegistryView::k32,
       true,
       {"win64", "win32"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegistrationPlan plan =
        PlanRegistration(Downloader(), c.root, c.view, {FromUtf8(kExe), c.is64BitFile});
    EXPECT_EQ(plan.root, c.root);
    EXPECT_EQ(plan.view, c.view);
    EXPECT_EQ(Lines(plan), DownloaderLines(kExe, c.platforms));
    std::vector<std::string> own = {"CLSID\\{C}", "Interface\\{I}", "Interface\\{E}"};
    for (const std::string& p : c.platforms) own.push_back("TypeLib\\{L}\\1.0\\0\\" + p);
    EXPECT_EQ(Texts(plan.ownTrees), own);
    EXPECT_EQ(Texts(plan.sharedTrees),
              (std::vector<std::string>{"Wexlo.Downloader", "Wexlo.Downloader.1", "TypeLib\\{L}"}));
    EXPECT_EQ(ToUtf8(plan.classKey), "CLSID\\{C}");
  }
}

TEST(RegistrationPlan, BrowserForEachArchitecture) {
  struct BrowserCase {
    RegistryRoot root;
    RegistryView view;
    bool is64BitFile;
    std::string path;
    std::string platform;
  };
  const BrowserCase cases[] = {
      {RegistryRoot::kMachine, RegistryView::k32, false, "C:\\V\\x86\\Velmora.dll", "win32"},
      {RegistryRoot::kMachine, RegistryView::k64, true, "C:\\V\\x64\\Velmora.dll", "win64"},
      {RegistryRoot::kUser, RegistryView::k32, false, "C:\\V\\x86\\Velmora.dll", "win32"},
      {RegistryRoot::kUser, RegistryView::k64, true, "C:\\V\\x64\\Velmora.dll", "win64"},
  };
  for (const BrowserCase& c : cases) {
    SCOPED_TRACE(c.path);
    RegistrationPlan plan =
        PlanRegistration(Browser(), c.root, c.view, {FromUtf8(c.path), c.is64BitFile});
    std::string folder = c.path.substr(0, c.path.rfind('\\'));
    EXPECT_EQ(
        Lines(plan),
        (std::vector<std::string>{
            "Velmora.Browser|@=Velmora.Browser", "Velmora.Browser\\CLSID|@={C}",
            "CLSID\\{C}|@=Velmora.Browser", "CLSID\\{C}\\ProgID|@=Velmora.Browser",
            "CLSID\\{C}\\InprocServer32|@=" + c.path,
            "CLSID\\{C}\\InprocServer32|ThreadingModel=Apartment", "CLSID\\{C}\\TypeLib|@={L}",
            "TypeLib\\{L}\\1.0|@=Velmora", "TypeLib\\{L}\\1.0\\0\\" + c.platform + "|@=" + c.path,
            "TypeLib\\{L}\\1.0\\FLAGS|@=8", "TypeLib\\{L}\\1.0\\HELPDIR|@=" + folder,
            "Interface\\{I}|@=_Browser", std::string("Interface\\{I}\\ProxyStubClsid|@=") + kTlm,
            std::string("Interface\\{I}\\ProxyStubClsid32|@=") + kTlm,
            "Interface\\{I}\\TypeLib|@={L}", "Interface\\{I}\\TypeLib|Version=1.0"}));
    EXPECT_EQ(Texts(plan.ownTrees),
              (std::vector<std::string>{"CLSID\\{C}", "Interface\\{I}",
                                        "TypeLib\\{L}\\1.0\\0\\" + c.platform}));
    EXPECT_EQ(Texts(plan.sharedTrees),
              (std::vector<std::string>{"Velmora.Browser", "TypeLib\\{L}"}));
  }
}

TEST(RegistrationPlan, FolderOfAPath) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Program Files\\Wexlo\\Wexlo.exe", "C:\\Program Files\\Wexlo"},
      {"C:\\Wexlo.exe", "C:\\"},
      {"\\\\server\\share\\Wexlo.exe", "\\\\server\\share"},
      {"Wexlo.exe", ""},
  };
  for (const auto& [path, folder] : cases)
    EXPECT_EQ(ToUtf8(FolderOf(FromUtf8(path))), folder) << path;
}

// The forms a server key's value takes: COM quotes a program's path and may
// add arguments; some installers write neither quotes nor a bare path.
TEST(ServerFile, PathWithoutQuotesAndArguments) {
  struct FileCase {
    ServerKind kind;
    const char* value;
    const char* file;
  };
  const ServerKind kExe = ServerKind::kLocalServer, kDll = ServerKind::kInprocServer;
  const FileCase cases[] = {
      {kExe, "\"C:\\Program Files\\W\\Wexlo.exe\"", "C:\\Program Files\\W\\Wexlo.exe"},
      {kExe, "  \"C:\\W\\Wexlo.exe\" /Automation ", "C:\\W\\Wexlo.exe"},
      {kExe, "C:\\W\\Wexlo.exe -Embedding", "C:\\W\\Wexlo.exe"},
      {kExe, "C:\\Program Files\\W\\WEXLO.EXE /Automation", "C:\\Program Files\\W\\WEXLO.EXE"},
      {kExe, "C:\\W.exe.d\\Wexlo.exe", "C:\\W.exe.d\\Wexlo.exe"},
      {kExe, "C:\\W\\server /Automation", "C:\\W\\server"},
      {kExe, "\"C:\\W\\Wexlo.exe", "C:\\W\\Wexlo.exe"},
      {kExe, "", ""},
      {kDll, "C:\\Program Files\\V\\x64\\Velmora.dll", "C:\\Program Files\\V\\x64\\Velmora.dll"},
      {kDll, "\"C:\\V\\Velmora.dll\" ", "C:\\V\\Velmora.dll"},
  };
  for (const FileCase& c : cases)
    EXPECT_EQ(ToUtf8(ServerFileOf(FromUtf8(c.value), c.kind)), c.file) << c.value;
}

TEST(RegistrationPlan, RootTextNamesTheClassesKey) {
  EXPECT_EQ(ToUtf8(RootText(RegistryRoot::kMachine)), "HKEY_LOCAL_MACHINE\\Software\\Classes");
  EXPECT_EQ(ToUtf8(RootText(RegistryRoot::kUser)), "HKEY_CURRENT_USER\\Software\\Classes");
}

}  // namespace
}  // namespace wex
