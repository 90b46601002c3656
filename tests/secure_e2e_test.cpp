// Secure requests end to end: the engine on the POSIX platform (OpenSSL)
// against the local HTTPS fixture, with the test CA trusted only through the
// platform's trust file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/engine/http_uc.h"
#include "server/engine/posix/posix_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/support/engine_test_access.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tls_server.h"

namespace wex {
namespace {

bool Online(uint32_t& flags) {
  flags = 0x02;
  return true;
}

std::string CyclingBytes(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

class SecureEndToEnd : public EngineOverPlatform {
 protected:
  SecureEndToEnd() : SecureEndToEnd(TrustingPlatform()) {}
  explicit SecureEndToEnd(std::shared_ptr<PosixPlatform> platform)
      : EngineOverPlatform(platform), posix(std::move(platform)) {}

  static std::shared_ptr<PosixPlatform> TrustingPlatform() {
    auto platform = std::make_shared<PosixPlatform>(&Online);
    platform->TrustOnly(TlsServer::TrustFile());
    return platform;
  }
  bool PumpUntilFinished() {
    return PumpUntil([this](int ms) { posix->Pump(ms); }, [this] { return events.finished; },
                     std::chrono::seconds(60));
  }

  std::shared_ptr<PosixPlatform> posix;
};

const std::vector<std::string> kFinished = {"connect localhost", "disconnect", "finish 200 OK"};

// Every size around the receive buffer, and the three ways the records can
// reach the wire: whole, split into 7-byte pieces, and many in one write; and
// a server that ends the stream without a close-notify.
TEST_F(SecureEndToEnd, BodiesArriveByteForByteHoweverTheRecordsArrive) {
  TlsServer server("localhost.pem");
  ASSERT_NE(server.Port(), 0);
  for (const char* mode : {"", "/split", "/records", "/noclose"}) {
    for (size_t size : {0, 1, 8191, 8192, 8193, 40000}) {
      std::string path = std::string(mode) + "/bytes/" + std::to_string(size);
      ASSERT_EQ(Request(server.Port(), "https://localhost", path), 0) << path;
      ASSERT_TRUE(PumpUntilFinished()) << path;
      EXPECT_EQ(events.events, kFinished) << path;
      EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(size)) << path;
      EXPECT_TRUE(Body() == CyclingBytes(size)) << path;
      EXPECT_EQ(posix->OpenCount(), 0u) << path;
    }
  }
}

// Without a Content-Length only the secure channel can tell that the last
// record never arrived whole: the transfer fails, the bytes before it kept.
TEST_F(SecureEndToEnd, AStreamCutInsideARecordFails) {
  TlsServer server("localhost.pem");
  ASSERT_EQ(Request(server.Port(), "https://localhost", "/cut/bytes/300000"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect localhost", "disconnect", "finish -1 -2146893032"}));
  std::string body = Body();
  EXPECT_LT(body.size(), 300000u);
  EXPECT_TRUE(body == CyclingBytes(body.size()));
}

// A server that renegotiates (TLS 1.2) or asks for a key update (TLS 1.3)
// halfway through the body, and waits for the renegotiation to complete
// before it sends the rest: the channel answers, and the body arrives whole.
TEST_F(SecureEndToEnd, HandshakeMessagesMidBodyAreAnswered) {
  for (TlsServer::Kind kind : {TlsServer::Kind::kRenegotiate, TlsServer::Kind::kKeyUpdate}) {
    TlsServer server("localhost.pem", kind);
    ASSERT_NE(server.Port(), 0);
    for (size_t size : {40000, 3 << 20}) {
      std::string path = "/bytes/" + std::to_string(size);
      ASSERT_EQ(Request(server.Port(), "https://localhost", path), 0) << path;
      ASSERT_TRUE(PumpUntilFinished()) << path;
      EXPECT_EQ(events.events, kFinished) << path;
      EXPECT_TRUE(Body() == CyclingBytes(size)) << path;
    }
  }
}

TEST_F(SecureEndToEnd, SixtyFourMebibytes) {
  TlsServer server("localhost.pem");
  const size_t size = 64u << 20;
  ASSERT_EQ(Request(server.Port(), "https://localhost", "/bytes/" + std::to_string(size)), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events, kFinished);
  ASSERT_EQ(engine->CurSize1(), static_cast<int32_t>(size));
  EXPECT_TRUE(Body() == CyclingBytes(size));
}

TEST_F(SecureEndToEnd, AFeedAndItsHead) {
  TlsServer server("localhost.pem");
  ASSERT_EQ(Request(server.Port(), "https://localhost", "garden.xml"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events, kFinished);
  EXPECT_NE(Body().find("<rss"), std::string::npos);
  ASSERT_EQ(Request(server.Port(), "https://localhost", "/status/404"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events.back(), "finish 404 Not Found");
}

// Each refusal is 116 with its reason, without an event and without a socket.
TEST_F(SecureEndToEnd, RefusedConnectionsGive116WithTheirNumber) {
  struct Case {
    const char* certificate;
    TlsServer::Kind kind;
    const char* number;
  } cases[] = {
      {"untrusted.pem", TlsServer::Kind::kTls, "-2146762487"},     // CERT_E_UNTRUSTEDROOT
      {"expired.pem", TlsServer::Kind::kTls, "-2146762495"},       // CERT_E_EXPIRED
      {"wrongname.pem", TlsServer::Kind::kTls, "-2146762481"},     // CERT_E_CN_NO_MATCH
      {"localhost.pem", TlsServer::Kind::kPlain, "10054"},         // not TLS, then closed
      {"localhost.pem", TlsServer::Kind::kPlainHolding, "10060"},  // not TLS, then silent
      {"localhost.pem", TlsServer::Kind::kSilent, "10060"},        // time-out
  };
  httpUCTestAccess::SetHandshakeTimeout(*engine, 300);
  for (const Case& c : cases) {
    TlsServer server(c.certificate, c.kind);
    std::string message;
    EXPECT_EQ(Request(server.Port(), "https://localhost", "/bytes/10", &message), 116)
        << c.certificate;
    EXPECT_EQ(message, std::string("Secure connection failed. Error number:") + c.number)
        << c.certificate;
    EXPECT_TRUE(events.events.empty()) << c.certificate;
    EXPECT_EQ(posix->OpenCount(), 0u) << c.certificate;
  }
}

// Without the trust file the test CA is trusted by nothing on this machine.
TEST_F(SecureEndToEnd, TheTestAuthorityIsTrustedOnlyThroughTheTrustFile) {
  auto system = std::make_shared<PosixPlatform>(&Online);
  auto uc = httpUC::Create(system);
  ustring error;
  ASSERT_EQ(uc->StartUp1(error), 0);
  TlsServer server("localhost.pem");
  uc->Port(server.Port());
  ustring sServer = u"https://localhost", sFile = u"/bytes/1";
  EXPECT_EQ(uc->RequestFile1(sServer, sFile), 116);
  EXPECT_EQ(ToUtf8(sFile), "Secure connection failed. Error number:-2146762487");
  uc->CloseDown();
}

TEST_F(SecureEndToEnd, TheSchemeInCapitalsIsAName) {
  TlsServer server("localhost.pem");
  std::string message;
  EXPECT_EQ(Request(server.Port(), "HTTPS://localhost", "/bytes/1", &message), 112);
  EXPECT_EQ(message, "Failed to resolve server IP address.");
  EXPECT_TRUE(events.events.empty());
}

}  // namespace
}  // namespace wex
