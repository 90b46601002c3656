// The string table, manifests and version block the deliverables carry
// (Windows must not virtualize Wexlo's writes; Velmora's dialogs need common
// controls 6).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ustring.h"
#include "server/resources/message_table.h"
#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

TEST(MessageTable, ResourceOfWexloExeMatchesThePortableList) {
  HMODULE module =
      LoadLibraryExW(BinaryPath(L"Wexlo.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << "cannot load Wexlo.exe as data";
  for (int32_t n = kFirstMessage - 1; n <= kLastMessage + 1; ++n) {
    wchar_t buffer[256] = {};
    int len = LoadStringW(module, static_cast<UINT>(n), buffer, 256);
    ustring resource(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(len));
    EXPECT_EQ(ToUtf8(resource), ToUtf8(PortableMessageText(n))) << "message " << n;
  }
  FreeLibrary(module);
  // Test programs carry the same string table as Wexlo.exe.
  EXPECT_EQ(MessageText(107), u"Internet connection is via proxy server. ");
}

// Each manifest, and the version block that marks Velmora.dll as
// self-registering (regsvr32 looks for that, a UTF-16 name in its table).
TEST(Manifests, EachDeliverableDeclaresWhatItNeeds) {
  const struct {
    const wchar_t* file;
    WORD type, id;
    std::vector<std::string> parts;
  } cases[] = {
      {L"Wexlo.exe",
       24,
       1,
       {"level=\"asInvoker\"", "name=\"Quarnet.Wexlo\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}},  // Windows 10 and 11
      {L"Velmora.dll", 24, 2, {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""}},
      {L"Velmora.dll",
       16,
       VS_VERSION_INFO,
       {std::string(reinterpret_cast<const char*>(L"OLESelfRegister"), 30)}},
  };
  for (const auto& c : cases) {
    HMODULE module = LoadLibraryExW(BinaryPath(c.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    std::string resource;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(c.id), MAKEINTRESOURCEW(c.type));
    if (found != nullptr)
      resource.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                      SizeofResource(module, found));
    FreeLibrary(module);
    for (const std::string& part : c.parts)
      EXPECT_NE(resource.find(part), std::string::npos) << c.type << " of " << c.id;
  }
}

}  // namespace
}  // namespace wex
