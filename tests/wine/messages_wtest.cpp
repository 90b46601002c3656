// The string table compiled into Wexlo.exe holds the same texts, number for
// number, as the portable list the native build uses.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/ustring.h"
#include "server/resources/message_table.h"
#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

TEST(MessageTable, ResourceOfWexloExeMatchesThePortableList) {
  std::wstring exe = BinaryPath(L"Wexlo.exe");
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << "cannot load Wexlo.exe as data";
  for (int32_t n = kFirstMessage - 1; n <= kLastMessage + 1; ++n) {
    wchar_t buffer[256] = {};
    int len = LoadStringW(module, static_cast<UINT>(n), buffer, 256);
    ustring resource(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(len));
    EXPECT_EQ(ToUtf8(resource), ToUtf8(PortableMessageText(n))) << "message " << n;
  }
  FreeLibrary(module);
}

TEST(MessageTable, LookupInTheRunningProgramUsesItsStringTable) {
  // Test programs carry the same string table as Wexlo.exe.
  EXPECT_EQ(MessageText(107), u"Internet connection is via proxy server. ");
}

}  // namespace
}  // namespace wex
