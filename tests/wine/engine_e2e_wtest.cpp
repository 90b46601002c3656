// The engine end to end through the Win32 platform under the message loop of
// the test's thread, against the runner's local HTTP fixture.
// Winsock 2 comes before windows.h, which would bring in the old header.
#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "server/engine/http_uc.h"
#include "server/engine/win32/win32_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

uint16_t FixturePort() {
  wchar_t text[16] = {};
  if (GetEnvironmentVariableW(L"WEX_HTTP_PORT", text, 16) == 0) return 0;
  return static_cast<uint16_t>(_wtoi(text));
}

class EngineUnderWine : public EngineOverPlatform {
 protected:
  EngineUnderWine() : EngineUnderWine(std::make_shared<Win32Platform>()) {}
  explicit EngineUnderWine(std::shared_ptr<Win32Platform> created)
      : EngineOverPlatform(created), platform(std::move(created)) {}
  void SetUp() override {
    if (FixturePort() == 0) GTEST_SKIP() << "WEX_HTTP_PORT is not set (run through tests/wine/run)";
  }

  // Requests a path from the fixture and handles messages until it finished.
  void Download(const char* path, const char* server = "127.0.0.1") {
    ASSERT_EQ(Request(FixturePort(), server, path), 0);
    ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }));
  }

  std::shared_ptr<Win32Platform> platform;
};

std::string Cycling(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i % 256);
  return bytes;
}

TEST_F(EngineUnderWine, DownloadRaisesItsEventsInOrder) {
  Download("/bytes/100000");
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish 200 OK"}));
  EXPECT_EQ(engine->CurSize1(), 100000);
  EXPECT_TRUE(Body() == Cycling(100000));
}

TEST_F(EngineUnderWine, NotFoundAndRedirectStatus) {
  Download("/status/404");
  EXPECT_EQ(events.events.back(), "finish 404 Not Found");
  EXPECT_EQ(Body(), "<html><body>404</body></html>");
  Download("/redirect/302");
  EXPECT_EQ(events.events.back(), "finish 302 FoundLocation: /moved.html");
  EXPECT_EQ(Body(), "moved");
}

TEST_F(EngineUnderWine, TheRequestGoesOutByteForByte) {
  Download("/echo");
  EXPECT_EQ(Body(),
            "GET /echo HTTP/1.0\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
            "http://www.quarnet.example/\r\nHost: 127.0.0.1\r\n\r\n");
}

// The fixture answers on ::1 too: the bracketed literal (kept in the Host
// line) and text whose only address is IPv6 reach it.
TEST_F(EngineUnderWine, TheRequestReachesAServerOnIpv6Loopback) {
  for (const char* server : {"[::1]", "::1"}) {
    Download("/echo", server);
    EXPECT_EQ(events.events.back(), "finish 200 OK") << server;
    EXPECT_NE(Body().find(std::string("\r\nHost: ") + server + "\r\n"), std::string::npos)
        << server;
  }
}

TEST_F(EngineUnderWine, BinaryFileIsSavedByteForByte) {
  Download("/bytes/4194304");
  ASSERT_EQ(engine->CurSize1(), 4194304);
  std::wstring path = ScratchDir() + L"\\engine-e2e-4m.bin";
  EXPECT_EQ(engine->WriteBinaryFile1(ustring(path.begin(), path.end()), true), 0);
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), {});
  in.close();
  EXPECT_EQ(saved.size(), 4194304u);
  EXPECT_TRUE(saved == Cycling(4194304));
  DeleteFileW(path.c_str());
}

TEST_F(EngineUnderWine, RefusedPortIs110With10061) {
  // A port that was just free: bound, then closed.
  SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  std::string message;
  EXPECT_EQ(Request(ntohs(address.sin_port), "127.0.0.1", "/x", &message), 110);
  EXPECT_EQ(message, "Winsock error - Failed to connect to server. Error number:10061");
  EXPECT_TRUE(events.events.empty());
}

TEST_F(EngineUnderWine, UnknownHostIs112) {
  std::string message;
  EXPECT_EQ(Request(80, "no-such-host.invalid", "/x", &message), 112);
  EXPECT_EQ(message, "Failed to resolve server IP address.");
}

}  // namespace
}  // namespace wex
