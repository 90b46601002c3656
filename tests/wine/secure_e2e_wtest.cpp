// Secure requests through the Win32 platform (Schannel) under the message
// loop of the test's thread, against the runner's HTTPS fixtures, with the
// test CA trusted by this prefix's Root store.
// Winsock 2 comes before windows.h, which would bring in the old header.
#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "server/engine/http_uc.h"
#include "server/engine/win32/win32_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/support/engine_test_access.h"
#include "tests/wine/support/message_pump.h"

namespace wex {
namespace {

uint16_t PortOf(const wchar_t* variable) {
  wchar_t text[16] = {};
  if (GetEnvironmentVariableW(variable, text, 16) == 0) return 0;
  return static_cast<uint16_t>(_wtoi(text));
}

std::string CyclingBytes(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

class SecureUnderWine : public EngineOverPlatform {
 protected:
  SecureUnderWine() : SecureUnderWine(std::make_shared<Win32Platform>()) {}
  explicit SecureUnderWine(std::shared_ptr<Win32Platform> created)
      : EngineOverPlatform(created), platform(std::move(created)) {}
  void SetUp() override {
    if (PortOf(L"WEX_HTTPS_PORT") == 0) GTEST_SKIP() << "run through tests/wine/run";
  }

  std::shared_ptr<Win32Platform> platform;
};

const std::vector<std::string> kFinished = {"connect localhost", "disconnect", "finish 200 OK"};

TEST_F(SecureUnderWine, BodiesArriveByteForByteHoweverTheRecordsArrive) {
  for (const char* mode : {"", "/split", "/records", "/noclose"}) {
    for (size_t size : {0, 1, 8191, 8192, 8193, 40000}) {
      std::string path = std::string(mode) + "/bytes/" + std::to_string(size);
      ASSERT_EQ(Request(PortOf(L"WEX_HTTPS_PORT"), "https://localhost", path), 0) << path;
      ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, 30000)) << path;
      EXPECT_EQ(events.events, kFinished) << path;
      EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(size)) << path;
      EXPECT_TRUE(Body() == CyclingBytes(size)) << path;
    }
  }
}

// The server's handshake messages in 4-byte pieces: the handshake takes as
// many reads as they need.
TEST_F(SecureUnderWine, AHandshakeInSmallPiecesSucceeds) {
  ASSERT_EQ(Request(PortOf(L"WEX_HTTPS_TRICKLE_PORT"), "https://localhost", "/bytes/1000"), 0);
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, 30000));
  EXPECT_EQ(events.events, kFinished);
  EXPECT_TRUE(Body() == CyclingBytes(1000));
}

// Without a Content-Length only the secure channel can tell that the last
// record never arrived whole: the transfer fails, the bytes before it kept.
TEST_F(SecureUnderWine, AStreamCutInsideARecordFails) {
  ASSERT_EQ(Request(PortOf(L"WEX_HTTPS_PORT"), "https://localhost", "/cut/bytes/300000"), 0);
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, 30000));
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect localhost", "disconnect", "finish -1 -2146893032"}));
  std::string body = Body();
  EXPECT_LT(body.size(), 300000u);
  EXPECT_TRUE(body == CyclingBytes(body.size()));
}

TEST_F(SecureUnderWine, SixtyFourMebibytes) {
  const size_t size = 64u << 20;
  ASSERT_EQ(
      Request(PortOf(L"WEX_HTTPS_PORT"), "https://localhost", "/bytes/" + std::to_string(size)), 0);
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, 120000));
  EXPECT_EQ(events.events, kFinished);
  ASSERT_EQ(engine->CurSize1(), static_cast<int32_t>(size));
  EXPECT_TRUE(Body() == CyclingBytes(size));
}

// Each refusal is 116 with its reason, without an event; the socket is gone
// (a later request on the same engine works).
TEST_F(SecureUnderWine, RefusedConnectionsGive116WithTheirNumber) {
  struct Case {
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
  const std::string prefix = "Secure connection failed. Error number:";
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(Request(PortOf(c.port), "https://localhost", "/bytes/10", &message), 116) << message;
    EXPECT_EQ(message, prefix + c.number);
    EXPECT_TRUE(events.events.empty()) << message;
  }
  ASSERT_EQ(Request(PortOf(L"WEX_HTTPS_PORT"), "https://localhost", "/bytes/3"), 0);
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, 30000));
  EXPECT_EQ(events.events, kFinished);
}

TEST_F(SecureUnderWine, TheSchemeInCapitalsIsAName) {
  std::string message;
  EXPECT_EQ(Request(PortOf(L"WEX_HTTPS_PORT"), "HTTPS://localhost", "/bytes/1", &message), 112);
  EXPECT_EQ(message, "Failed to resolve server IP address.");
}

}  // namespace
}  // namespace wex
