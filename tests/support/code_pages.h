// The ANSI code pages the native build converts, and what runs a test under
// each of them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/codepage.h"

namespace wex {

// windows-1252, the double-byte code pages, UTF-8.
constexpr uint32_t kAnsiCodePages[] = {1252, 932, 936, 949, 950, 65001};

// Sets the code page for its lifetime and then restores the one before, so
// that no other test runs under it.
class CodePageScope {
 public:
  explicit CodePageScope(uint32_t codePage) : previous_(AnsiCodePage()) {
    EXPECT_TRUE(SetAnsiCodePage(codePage)) << "code page " << codePage;
  }
  ~CodePageScope() { SetAnsiCodePage(previous_); }
  CodePageScope(const CodePageScope&) = delete;
  CodePageScope& operator=(const CodePageScope&) = delete;

 private:
  const uint32_t previous_;
};

// A test parametrized by the code page runs under it.
class UnderEachCodePage : public ::testing::WithParamInterface<uint32_t> {
 protected:
  CodePageScope codePage_{GetParam()};
};

inline std::string CodePageName(const ::testing::TestParamInfo<uint32_t>& info) {
  return "cp" + std::to_string(info.param);
}

}  // namespace wex

// Instantiates a suite of UnderEachCodePage tests for every code page.
#define WEX_UNDER_EACH_CODE_PAGE(suite)                                                  \
  INSTANTIATE_TEST_SUITE_P(CodePages, suite, ::testing::ValuesIn(::wex::kAnsiCodePages), \
                           ::wex::CodePageName)
