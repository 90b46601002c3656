// The engine end to end through the Win32 platform, against the runner's
// HTTP and HTTPS fixtures (the prefix trusts the test CA).
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "server/engine/http_uc.h"
#include "server/engine/win32/win32_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/support/engine_test_access.h"
#include "tests/wine/support/message_pump.h"
#include "tests/wine/support/wine_paths.h"

namespace wex {
namespace {

std::string Cycling(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

const std::vector<std::string> kFinished = {"connect localhost", "disconnect", "finish 200 OK"};

class EngineUnderWine : public EngineOverPlatform {
 protected:
  EngineUnderWine() : EngineOverPlatform(std::make_shared<Win32Platform>()) {}
  void SetUp() override {
    if (PortOf(L"WEX_HTTP_PORT") == 0) GTEST_SKIP() << "run through tests/wine/run";
  }

  // Requests a path and handles messages until it finished.
  void Download(const std::string& path, const std::string& server = "127.0.0.1",
                const wchar_t* port = L"WEX_HTTP_PORT", DWORD timeoutMs = 30000) {
    ASSERT_EQ(Request(PortOf(port), server, path), 0) << path;
    ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, timeoutMs)) << path;
  }
  void DownloadSecurely(const std::string& path, const wchar_t* port = L"WEX_HTTPS_PORT",
                        DWORD timeoutMs = 30000) {
    Download(path, "https://localhost", port, timeoutMs);
  }
};

TEST_F(EngineUnderWine, NotFoundAndRedirectStatus) {
  Download("/status/404");
  EXPECT_EQ(events.events.back(), "finish 404 Not Found");
  EXPECT_EQ(Body(), "<html><body>404</body></html>");
  Download("/redirect/302");
  EXPECT_EQ(events.events.back(), "finish 302 FoundLocation: /moved.html");
  EXPECT_EQ(Body(), "moved");
}

// The request byte for byte; on ::1 too, through the bracketed literal (kept
// in the Host line) and text whose only address is IPv6.
TEST_F(EngineUnderWine, TheRequestGoesOutByteForByteOverIpv4AndIpv6) {
  Download("/echo");
  EXPECT_EQ(Body(),
            "GET /echo HTTP/1.0\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
            "http://www.quarnet.example/\r\nHost: 127.0.0.1\r\n\r\n");
  for (const char* server : {"[::1]", "::1"}) {
    Download("/echo", server);
    EXPECT_EQ(events.events.back(), "finish 200 OK") << server;
    EXPECT_NE(Body().find(std::string("\r\nHost: ") + server + "\r\n"), std::string::npos)
        << server;
  }
}

// Over HTTPS, however the records arrive, and a handshake in 4-byte pieces.
TEST_F(EngineUnderWine, SecureBodiesArriveByteForByteHoweverTheRecordsArrive) {
  for (const char* mode : {"", "/split", "/records", "/noclose"}) {
    for (size_t size : {0, 1, 8191, 8192, 8193, 40000}) {
      const std::string path = std::string(mode) + "/bytes/" + std::to_string(size);
      DownloadSecurely(path);
      EXPECT_EQ(events.events, kFinished) << path;
      EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(size)) << path;
      EXPECT_TRUE(Body() == Cycling(size)) << path;
    }
  }
  DownloadSecurely("/bytes/1000", L"WEX_HTTPS_TRICKLE_PORT");
  EXPECT_EQ(events.events, kFinished);
  EXPECT_TRUE(Body() == Cycling(1000));
  const size_t big = 64u << 20;
  DownloadSecurely("/bytes/" + std::to_string(big), L"WEX_HTTPS_PORT", 120000);
  EXPECT_EQ(events.events, kFinished);
  ASSERT_EQ(engine->CurSize1(), static_cast<int32_t>(big));
  EXPECT_TRUE(Body() == Cycling(big));
}

// Without a Content-Length only the secure channel can tell that the last
// record never arrived whole: the transfer fails, the bytes before it kept.
TEST_F(EngineUnderWine, ASecureStreamCutInsideARecordFails) {
  DownloadSecurely("/cut/bytes/300000");
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect localhost", "disconnect", "finish -1 -2146893032"}));
  std::string body = Body();
  EXPECT_LT(body.size(), 300000u);
  EXPECT_TRUE(body == Cycling(body.size()));
}

// Each refusal is 116 with its reason, without an event; the socket is gone
// (a later request on the same engine works).
TEST_F(EngineUnderWine, RefusedSecureConnectionsGive116WithTheirNumber) {
  const struct {
    const wchar_t* port;
    const char* number;
  } cases[] = {
      {L"WEX_HTTPS_UNTRUSTED_PORT", "-2146762487"},  // CERT_E_UNTRUSTEDROOT
      {L"WEX_HTTPS_EXPIRED_PORT", "-2146762495"},    // CERT_E_EXPIRED
      {L"WEX_HTTPS_WRONGNAME_PORT", "-2146762481"},  // CERT_E_CN_NO_MATCH
      {L"WEX_HTTPS_PLAIN_PORT", "10054"},            // not TLS, then closed
      {L"WEX_HTTPS_PLAIN_HOLDING_PORT", "10060"},    // not TLS, then silent
      {L"WEX_HTTPS_SILENT_PORT", "10060"},
  };
  httpUCTestAccess::SetHandshakeTimeout(*engine, 500);
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(Request(PortOf(c.port), "https://localhost", "/bytes/10", &message), 116) << message;
    EXPECT_EQ(message, std::string("Secure connection failed. Error number:") + c.number);
    EXPECT_TRUE(events.events.empty()) << message;
  }
  DownloadSecurely("/bytes/3");
  EXPECT_EQ(events.events, kFinished);
}

}  // namespace
}  // namespace wex
