// The manifests the deliverables carry: Wexlo.exe runs with the rights of
// whoever starts it and declares Windows 7 to 11 (so Windows virtualizes
// neither its file nor its registry writes); Velmora.dll brings common
// controls 6 for its dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

// The text of manifest resource id of a binary; empty when it has none.
std::string ManifestOf(const std::wstring& file, WORD id) {
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return std::string();
  std::string text;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  if (found != nullptr) {
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    if (data != nullptr) text.assign(data, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

TEST(Manifests, WexloRunsAsInvokerOnWindows7To11) {
  std::string manifest = ManifestOf(BinaryPath(L"Wexlo.exe"), 1);
  ASSERT_FALSE(manifest.empty());
  for (const char* part : {"level=\"asInvoker\"", "name=\"Quarnet.Wexlo\"",
                           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   // Windows 7
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // Windows 8
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // Windows 8.1
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})  // Windows 10 and 11
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

TEST(Manifests, VelmoraBringsCommonControls6ForItsDialogs) {
  std::string manifest = ManifestOf(BinaryPath(L"Velmora.dll"), 2);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos)
      << manifest;
}

}  // namespace
}  // namespace wex
