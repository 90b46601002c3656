// The body's text and text file under the process's ANSI code page, against
// the platform's converter (drivers/code_pages.sh runs it under each one).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/codepage.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

// Letters of the CJK code pages, a line feed, then every byte value.
std::string SampleBody() {
  const wchar_t kText[] = L"ab\u3042\u3044cd\n\u65e5\u672c\u4e2d\u6587\ud55c\uad6d\r\n";
  char ansi[64] = {};
  int n = WideCharToMultiByte(CP_ACP, 0, kText, -1, ansi, sizeof ansi, nullptr, nullptr);
  std::string body(ansi, n > 0 ? n - 1 : 0);
  for (int b = 0; b < 256; ++b) body += static_cast<char>(b);
  return body;
}

// What the platform makes of the whole body, each LF then as CR LF.
ustring WholeText(const std::string& body) {
  std::wstring wide(body.size() * 2 + 1, L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, body.data(), static_cast<int>(body.size()), &wide[0],
                              static_cast<int>(wide.size()));
  ustring text;
  for (int i = 0; i < n; ++i) {
    if (wide[i] == L'\n') text += u'\r';
    text += static_cast<char16_t>(wide[i]);
  }
  return text;
}

using CodePages = EngineTest;

TEST_F(CodePages, TheProcessHasTheExpectedCodePage) {
  char expected[16] = {};
  if (GetEnvironmentVariableA("WEX_EXPECT_ACP", expected, sizeof expected) == 0) GTEST_SKIP();
  EXPECT_EQ(GetACP(), static_cast<UINT>(atoi(expected)));
}

// Every split of the body into two blocks reads as the whole body does.
TEST_F(CodePages, TheBodyTextIsTheWholeBodyWhereverItIsSplit) {
  const std::string body = SampleBody();
  const ustring expected = WholeText(body);
  for (size_t split = 0; split <= body.size(); ++split) {
    fake = std::make_shared<FakePlatform>();
    engine = StartedEngine(fake);
    ASSERT_EQ(Request(), 0);
    Receive("HTTP/1.0 200 OK\r\n\r\n" + body.substr(0, split));
    Receive(body.substr(split));
    PeerCloses();
    ASSERT_EQ(Body(), body) << split;
    ASSERT_EQ(engine->CurFileString1(), expected) << split;
  }
}

// Text that converts back is saved as its own bytes (LF as CR LF) and sent so in a path.
TEST_F(CodePages, TextGoesBackToTheCodePageWhole) {
  std::string body = SampleBody();
  body = body.substr(0, body.find('\r'));  // the letters and the line feed
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\n" + body.substr(0, 3));
  Receive(body.substr(3));
  PeerCloses();
  ASSERT_EQ(engine->WriteTextFile1(u"saved.txt", true), 0);
  std::string withCrLf;
  for (char c : body) withCrLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(fake->files[u"saved.txt"], withCrLf);

  const std::string path = "/" + body.substr(0, body.find('\n'));
  ustring server = u"fileserver";
  ustring file = AnsiToText(path);
  ASSERT_EQ(engine->RequestFile1(server, file), 0);
  EXPECT_EQ(RequestBytes().substr(0, 4 + path.size() + 1), "GET " + path + " ");

  // A letter no double-byte code page holds goes as its UTF-8 bytes,
  // percent-encoded; UTF-8 holds it and sends those bytes as they are.
  file = u"/\u0e01";
  ASSERT_EQ(engine->RequestFile1(server, file), 0);
  const std::string thai = GetACP() == CP_UTF8 ? "\xE0\xB8\x81" : "%E0%B8%81";
  EXPECT_EQ(RequestBytes().substr(0, 6 + thai.size()), "GET /" + thai + " ");
}

}  // namespace
}  // namespace wex
