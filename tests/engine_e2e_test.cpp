// The engine on the POSIX platform against local plain and HTTPS servers.
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

using Server = ScriptedServer;

bool Online(uint32_t& flags) {
  flags = 0x02;
  return true;
}

// `drift` tells apart blocks moved by a multiple of 256 bytes.
std::string Bytes(size_t count, bool drift = false) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<char>(drift ? (i * 7 + i / 251) & 0xFF : i & 0xFF);
  }
  return bytes;
}

std::shared_ptr<PosixPlatform> TrustingPlatform() {
  auto platform = std::make_shared<PosixPlatform>(&Online);
  platform->TrustOnly(TlsServer::TrustFile());
  return platform;
}

class EngineEndToEnd : public EngineOverPlatform {
 protected:
  EngineEndToEnd() : EngineEndToEnd(TrustingPlatform()) {}
  explicit EngineEndToEnd(std::shared_ptr<PosixPlatform> platform)
      : EngineOverPlatform(platform), posix(std::move(platform)) {}

  bool Pump(const std::function<bool()>& done) {
    return PumpUntil([this](int ms) { posix->Pump(ms); }, done, std::chrono::seconds(60));
  }
  bool PumpUntilFinished() {
    return Pump([this] { return events.finished; });
  }
  bool PumpUntilSize(int32_t size) {
    return Pump([this, size] { return engine->CurSize1() >= size; });
  }

  std::shared_ptr<PosixPlatform> posix;
};

const std::vector<std::string> kSecureFinished = {"connect localhost", "disconnect",
                                                  "finish 200 OK"};

// Each segment is taken in before the next is sent, so the blocks are the segments.
TEST_F(EngineEndToEnd, BodyOverThreeBlocksThenClose) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nX-Pad: ";
  head += std::string(150 - head.size() - 4, 'p') + "\r\n\r\n";
  const std::string body = Bytes(8192 - 150 + 8192 + 400, true), all = head + body;
  Server server({Server::CaptureRequest(), Server::Send(all.substr(0, 8192)), Server::WaitCue(),
                 Server::Send(all.substr(8192, 8192)), Server::WaitCue(),
                 Server::Send(all.substr(16384)), Server::Close()});

  ASSERT_EQ(Request(server.Port(), "http://127.0.0.1", "file.bin"), 0);
  EXPECT_EQ(events.events, std::vector<std::string>{"connect 127.0.0.1"});
  ASSERT_TRUE(PumpUntilSize(8192 - 150));
  server.Cue();
  ASSERT_TRUE(PumpUntilSize(8192 - 150 + 8192));
  server.Cue();
  ASSERT_TRUE(PumpUntilFinished());

  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish 200 OK"}));
  std::vector<size_t> sizes;
  for (const Chunk& chunk : *engine->CurFileBytes1()) sizes.push_back(chunk.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{8192 - 150, 8192, 400}));
  EXPECT_TRUE(Body() == body);
  EXPECT_EQ(posix->RegisteredCount(), 0u);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /file.bin HTTP/1.0\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
            "http://www.quarnet.example/\r\nHost: 127.0.0.1\r\n\r\n");
}

// A server that dies mid-body may only close: the promised length tells.
TEST_F(EngineEndToEnd, ACloseShortOfTheLengthIs10054) {
  const std::string body = Bytes(20000, true);
  Server server({Server::CaptureRequest(),
                 Server::Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + body),
                 Server::Close()});
  ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/x"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish -1 10054"}));
  EXPECT_TRUE(Body() == body);
}

// Each failure to reach a server: its code and text, without an event.
TEST_F(EngineEndToEnd, UnreachableServers) {
  uint16_t closedPort;
  {
    Server gone({});
    closedPort = gone.Port();
  }
  std::string message;
  EXPECT_EQ(Request(closedPort, "127.0.0.1", "/x", &message), 110);
  EXPECT_EQ(message, "Winsock error - Failed to connect to server. Error number:10061");
  EXPECT_TRUE(events.events.empty());
  EXPECT_EQ(Request(80, "no-such-host.invalid", "/x", &message), 112);
  EXPECT_EQ(message, "Failed to resolve server IP address.");
  EXPECT_TRUE(events.events.empty());
}

// Both the bracketed literal and a name with only IPv6 addresses reach ::1.
TEST_F(EngineEndToEnd, AServerOnIpv6Loopback) {
  for (const char* name : {"[::1]", "::1"}) {
    Server server({Server::CaptureRequest(), Server::Send("HTTP/1.0 200 OK\r\n\r\nsix")},
                  Server::Loopback::kIpv6);
    ASSERT_EQ(Request(server.Port(), name, "/six"), 0) << name;
    ASSERT_TRUE(PumpUntilFinished());
    EXPECT_EQ(Body(), "six");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(server.Requests()[0].find("\r\nHost: " + std::string(name) + "\r\n"),
              std::string::npos);
  }
}

// The second socket may reuse the first's descriptor, and the engine goes mid-delivery.
TEST(EngineEndToEndReentry, NextRequestFromOnFinish1ThenReleaseInsideTheDelivery) {
  Server server({Server::CaptureRequest(), Server::Send("HTTP/1.0 200 OK\r\n\r\nbody")});
  auto posix = std::make_shared<PosixPlatform>(&Online);
  struct Chain : httpUCEvents {
    void OnConnect1(const ustring&) override {}
    void OnDisconnect1() override {}
    void OnFinish1(int32_t code, const ustring&) override {
      codes.push_back(code);
      if (codes.size() == 1) {
        ustring sServer = u"127.0.0.1", sFile = u"/second";
        next = engine->RequestFile1(sServer, sFile);
      } else {
        engine->Unsubscribe(this);
        engine.reset();
      }
    }
    std::shared_ptr<httpUC> engine;
    std::vector<int32_t> codes;
    int32_t next = -1;
  } chain;
  chain.engine = httpUC::Create(posix);
  chain.engine->Subscribe(&chain);
  ustring error, sServer = u"127.0.0.1", sFile = u"/first";
  ASSERT_EQ(chain.engine->StartUp1(error), 0);
  chain.engine->Port(server.Port());
  ASSERT_EQ(chain.engine->RequestFile1(sServer, sFile), 0);
  ASSERT_TRUE(PumpUntil([&](int ms) { posix->Pump(ms); }, [&] { return chain.engine == nullptr; }));
  EXPECT_EQ(chain.next, 0);
  EXPECT_EQ(chain.codes, (std::vector<int32_t>{200, 200}));
  EXPECT_EQ(posix->RegisteredCount(), 0u);
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 24), "GET /second HTTP/1.0\r\nUs");
}

// Modes: records whole, in 7-byte pieces, many per write, no close-notify.
TEST_F(EngineEndToEnd, SecureBodiesArriveByteForByteHoweverTheRecordsArrive) {
  TlsServer server("localhost.pem");
  ASSERT_NE(server.Port(), 0);
  for (const char* mode : {"", "/split", "/records", "/noclose"}) {
    for (size_t size : {0, 1, 8191, 8192, 8193, 40000}) {
      std::string path = std::string(mode) + "/bytes/" + std::to_string(size);
      SCOPED_TRACE(path);
      ASSERT_EQ(Request(server.Port(), "https://localhost", path), 0);
      ASSERT_TRUE(PumpUntilFinished());
      EXPECT_EQ(events.events, kSecureFinished);
      EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(size));
      EXPECT_TRUE(Body() == Bytes(size));
      EXPECT_EQ(posix->OpenCount(), 0u);
    }
  }
  ASSERT_EQ(Request(server.Port(), "https://localhost", "/bytes/" + std::to_string(64 << 20)), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events, kSecureFinished);
  EXPECT_TRUE(Body() == Bytes(64 << 20));
}

// Without a length only the channel can tell that the last record was cut.
TEST_F(EngineEndToEnd, ASecureStreamCutInsideARecordFails) {
  TlsServer server("localhost.pem");
  ASSERT_EQ(Request(server.Port(), "https://localhost", "/cut/bytes/300000"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect localhost", "disconnect", "finish -1 -2146893032"}));
  const std::string body = Body();
  EXPECT_LT(body.size(), 300000u);
  EXPECT_TRUE(body == Bytes(body.size()));
}

// The server waits for the answer to its renegotiation or key update.
TEST_F(EngineEndToEnd, HandshakeMessagesMidBodyAreAnswered) {
  for (TlsServer::Kind kind : {TlsServer::Kind::kRenegotiate, TlsServer::Kind::kKeyUpdate}) {
    TlsServer server("localhost.pem", kind);
    ASSERT_NE(server.Port(), 0);
    for (size_t size : {40000, 3 << 20}) {
      std::string path = "/bytes/" + std::to_string(size);
      SCOPED_TRACE(path);
      ASSERT_EQ(Request(server.Port(), "https://localhost", path), 0);
      ASSERT_TRUE(PumpUntilFinished());
      EXPECT_EQ(events.events, kSecureFinished);
      EXPECT_TRUE(Body() == Bytes(size));
    }
  }
}

// Without the trust file nothing on this machine trusts the test CA.
TEST_F(EngineEndToEnd, RefusedSecureConnectionsGive116WithTheirNumber) {
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
    SCOPED_TRACE(c.certificate);
    TlsServer server(c.certificate, c.kind);
    std::string message;
    EXPECT_EQ(Request(server.Port(), "https://localhost", "/bytes/10", &message), 116);
    EXPECT_EQ(message, std::string("Secure connection failed. Error number:") + c.number);
    EXPECT_TRUE(events.events.empty());
    EXPECT_EQ(posix->OpenCount(), 0u);
  }
  auto uc = httpUC::Create(std::make_shared<PosixPlatform>(&Online));
  ustring error, sServer = u"https://localhost", sFile = u"/bytes/1";
  ASSERT_EQ(uc->StartUp1(error), 0);
  TlsServer server("localhost.pem");
  uc->Port(server.Port());
  EXPECT_EQ(uc->RequestFile1(sServer, sFile), 116);
  EXPECT_EQ(ToUtf8(sFile), "Secure connection failed. Error number:-2146762487");
  uc->CloseDown();
}

}  // namespace
}  // namespace wex
