// The registration plan: exactly the keys and values written for each view
// and file, which trees unregistration removes, and the file a registered
// server key names.
#include "common/registration/registration_plan.h"
#include "common/registration/component_identities.h"
#include "common/registration/server_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wex {
namespace {

// The components' own identities with short GUIDs, so that the keys stay readable.
ComponentIdentity Shortened(ComponentIdentity c) {
  c.clsid = u"{C}";
  c.libid = u"{L}";
  const char16_t* iids[] = {u"{I}", u"{E}"};
  for (size_t i = 0; i < c.interfaces.size() && i < 2; ++i) c.interfaces[i].iid = iids[i];
  return c;
}

// One line per entry as a .reg file would show it: "key", "key|@=data" or "key|name=data".
std::string Lines(const RegistrationPlan& plan) {
  std::string lines;
  for (const RegistryEntry& e : plan.entries) {
    lines += ToUtf8(e.key);
    if (e.hasValue) lines += "|" + (e.name.empty() ? "@" : ToUtf8(e.name)) + "=" + ToUtf8(e.data);
    lines += "\n";
  }
  return lines;
}

std::string Texts(const std::vector<ustring>& keys) {
  std::string out;
  for (const ustring& k : keys) out += ToUtf8(k) + " ";
  return out;
}

std::string LibraryFiles(const std::vector<std::string>& platforms, const std::string& path) {
  std::string lines;
  for (const std::string& p : platforms)
    lines += "TypeLib\\{L}\\1.0\\0\\" + p + "|@=" + path + "\n";
  return lines;
}

std::string Interface(const char* iid, const char* name, const char* marshaller) {
  const std::string key = std::string("Interface\\") + iid;
  return key + "|@=" + name + "\n" + key + "\\ProxyStubClsid|@=" + marshaller + "\n" + key +
         "\\ProxyStubClsid32|@=" + marshaller + "\n" + key + "\\TypeLib|@={L}\n" + key +
         "\\TypeLib|Version=1.0\n";
}

const char kTlm[] = "{00020424-0000-0000-C000-000000000046}";
const char kDsp[] = "{00020420-0000-0000-C000-000000000046}";

// The 32-bit program in its own view names a win32 library; in the 64-bit
// view also a win64 one, for 64-bit clients; the root changes nothing below it.
TEST(RegistrationPlan, DownloaderInEachView) {
  const std::string exe = "C:\\Program Files (x86)\\Wexlo\\Wexlo.exe";
  const struct {
    RegistryRoot root;
    RegistryView view;
    bool is64BitFile;
    std::vector<std::string> platforms;
  } cases[] = {
      {RegistryRoot::kMachine, RegistryView::k32, false, {"win32"}},
      {RegistryRoot::kUser, RegistryView::k64, false, {"win32", "win64"}},
      {RegistryRoot::kMachine, RegistryView::k64, true, {"win64"}},
      {RegistryRoot::kUser, RegistryView::k32, true, {"win64", "win32"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.platforms.back());
    RegistrationPlan plan = PlanRegistration(Shortened(DownloaderIdentity()), c.root, c.view,
                                             {FromUtf8(exe), c.is64BitFile});
    EXPECT_EQ(plan.root, c.root);
    EXPECT_EQ(plan.view, c.view);
    EXPECT_EQ(Lines(plan), R"(Wexlo.Downloader|@=Downloader
Wexlo.Downloader\CLSID|@={C}
Wexlo.Downloader\CurVer|@=Wexlo.Downloader.1
Wexlo.Downloader.1|@=Downloader
Wexlo.Downloader.1\CLSID|@={C}
CLSID\{C}|@=Downloader
CLSID\{C}\LocalServer32|@=")" + exe +
                               R"("
CLSID\{C}\ProgID|@=Wexlo.Downloader.1
CLSID\{C}\VersionIndependentProgID|@=Wexlo.Downloader
CLSID\{C}\TypeLib|@={L}
CLSID\{C}\Version|@=1.0
CLSID\{C}\Programmable
TypeLib\{L}\1.0|@=Wexlo
)" + LibraryFiles(c.platforms, exe) +
                               R"(TypeLib\{L}\1.0\FLAGS|@=8
TypeLib\{L}\1.0\HELPDIR|@=C:\Program Files (x86)\Wexlo
)" + Interface("{I}", "_Downloader", kTlm) +
                               Interface("{E}", "__Downloader", kDsp));
    std::string own = "CLSID\\{C} Interface\\{I} Interface\\{E} ";
    for (const std::string& p : c.platforms) own += "TypeLib\\{L}\\1.0\\0\\" + p + " ";
    EXPECT_EQ(Texts(plan.ownTrees), own);
    EXPECT_EQ(Texts(plan.sharedTrees), "Wexlo.Downloader Wexlo.Downloader.1 TypeLib\\{L} ");
    EXPECT_EQ(ToUtf8(plan.classKey), "CLSID\\{C}");
  }
}

TEST(RegistrationPlan, BrowserForEachArchitecture) {
  for (const auto& [is64, platform] : {std::pair{false, "win32"}, std::pair{true, "win64"}}) {
    const std::string folder = is64 ? "C:\\V\\x64" : "C:\\V\\x86", path = folder + "\\Velmora.dll";
    RegistrationPlan plan =
        PlanRegistration(Shortened(BrowserIdentity()), RegistryRoot::kUser,
                         is64 ? RegistryView::k64 : RegistryView::k32, {FromUtf8(path), is64});
    EXPECT_EQ(Lines(plan), R"(Velmora.Browser|@=Velmora.Browser
Velmora.Browser\CLSID|@={C}
CLSID\{C}|@=Velmora.Browser
CLSID\{C}\ProgID|@=Velmora.Browser
CLSID\{C}\InprocServer32|@=)" + path +
                               R"(
CLSID\{C}\InprocServer32|ThreadingModel=Apartment
CLSID\{C}\TypeLib|@={L}
TypeLib\{L}\1.0|@=Velmora
)" + LibraryFiles({platform}, path) +
                               R"(TypeLib\{L}\1.0\FLAGS|@=8
TypeLib\{L}\1.0\HELPDIR|@=)" + folder +
                               "\n" + Interface("{I}", "_Browser", kTlm));
    EXPECT_EQ(Texts(plan.ownTrees),
              "CLSID\\{C} Interface\\{I} TypeLib\\{L}\\1.0\\0\\" + std::string(platform) + " ");
    EXPECT_EQ(Texts(plan.sharedTrees), "Velmora.Browser TypeLib\\{L} ");
  }
}

TEST(RegistrationPlan, FolderOfAPathAndRootText) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Program Files\\Wexlo\\Wexlo.exe", "C:\\Program Files\\Wexlo"},
      {"C:\\Wexlo.exe", "C:\\"},
      {"\\\\server\\share\\Wexlo.exe", "\\\\server\\share"},
      {"Wexlo.exe", ""},
  };
  for (const auto& [path, folder] : cases)
    EXPECT_EQ(ToUtf8(FolderOf(FromUtf8(path))), folder) << path;
  EXPECT_EQ(ToUtf8(RootText(RegistryRoot::kMachine)), "HKEY_LOCAL_MACHINE\\Software\\Classes");
  EXPECT_EQ(ToUtf8(RootText(RegistryRoot::kUser)), "HKEY_CURRENT_USER\\Software\\Classes");
}

// COM quotes a program's path and may add arguments; some installers write
// neither quotes nor a bare path.
TEST(ServerFile, PathWithoutQuotesAndArguments) {
  const ServerKind kExe = ServerKind::kLocalServer, kDll = ServerKind::kInprocServer;
  const struct {
    ServerKind kind;
    const char* value;
    const char* file;
  } cases[] = {
      {kExe, "  \"C:\\W\\Wexlo.exe\" /Automation ", "C:\\W\\Wexlo.exe"},
      {kExe, "C:\\Program Files\\W\\WEXLO.EXE /Automation", "C:\\Program Files\\W\\WEXLO.EXE"},
      {kExe, "C:\\W.exe.d\\Wexlo.exe", "C:\\W.exe.d\\Wexlo.exe"},
      {kExe, "C:\\W\\server /Automation", "C:\\W\\server"},
      {kExe, "\"C:\\W\\Wexlo.exe", "C:\\W\\Wexlo.exe"},
      {kExe, "", ""},
      {kDll, "C:\\Program Files\\V\\x64\\Velmora.dll", "C:\\Program Files\\V\\x64\\Velmora.dll"},
      {kDll, "\"C:\\V\\Velmora.dll\" ", "C:\\V\\Velmora.dll"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToUtf8(ServerFileOf(FromUtf8(c.value), c.kind)), c.file) << c.value;
}

}  // namespace
}  // namespace wex
