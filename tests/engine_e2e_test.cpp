// The engine on the POSIX platform against local plain and HTTPS servers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "server/engine/http_uc.h"
#include "server/engine/posix/posix_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/support/engine_test_access.h"
#include "tests/support/fixture_server.h"

namespace wex {
namespace {

using Server = FixtureServer;

bool Online(uint32_t& flags) {
  flags = 0x02;
  return true;
}

// What the fixtures send for /bytes/<n> and /short/: every byte value in turn.
std::string Bytes(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

std::shared_ptr<PosixPlatform> TrustingPlatform() {
  auto platform = std::make_shared<PosixPlatform>(&Online);
  platform->TrustOnly(Server::TrustFile());
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

// The fixture sends the head with half the body, then the rest once the gate
// opens: the blocks are what each send brought.
TEST_F(EngineEndToEnd, BodyInTheBlocksItCameInThenClose) {
  Server server(Server::Kind::kHttp);
  ASSERT_EQ(Request(server.Port(), "http://127.0.0.1", "gate/g/5000"), 0);
  EXPECT_EQ(events.events, std::vector<std::string>{"connect 127.0.0.1"});
  ASSERT_TRUE(PumpUntilSize(5000));
  EXPECT_NE(server.Get("/release/g").find("released"), std::string::npos);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish 200 OK"}));
  std::vector<size_t> sizes;
  for (const Chunk& chunk : *engine->CurFileBytes1()) sizes.push_back(chunk.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{5000, 5000}));
  EXPECT_EQ(Body(), std::string(10000, 'x'));
  EXPECT_EQ(posix->RegisteredCount(), 0u);
  // The request as it went out: /echo answers with it.
  ASSERT_EQ(Request(server.Port(), "127.0.0.1", "echo"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(Body(),
            "GET /echo HTTP/1.0\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
            "http://www.quarnet.example/\r\nHost: 127.0.0.1\r\n\r\n");
}

// A server that dies mid-body may only close: the promised length tells.
TEST_F(EngineEndToEnd, ACloseShortOfTheLengthIs10054) {
  Server server(Server::Kind::kHttp);
  ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/short/100000/20000"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish -1 10054"}));
  EXPECT_TRUE(Body() == Bytes(20000));
}

// Each failure to reach a server: its code and text, without an event.
TEST_F(EngineEndToEnd, UnreachableServers) {
  uint16_t closedPort = 0;
  close(ListenOnLoopback(false, closedPort));
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
  Server server(Server::Kind::kHttp);
  for (const char* name : {"[::1]", "::1"}) {
    ASSERT_EQ(Request(server.Port(), name, "/echo"), 0) << name;
    ASSERT_TRUE(PumpUntilFinished());
    EXPECT_NE(Body().find("\r\nHost: " + std::string(name) + "\r\n"), std::string::npos);
  }
}

// The second socket may reuse the first's descriptor, and the engine goes mid-delivery.
TEST(EngineEndToEndReentry, NextRequestFromOnFinish1ThenReleaseInsideTheDelivery) {
  Server server(Server::Kind::kHttp);
  auto posix = std::make_shared<PosixPlatform>(&Online);
  struct Chain : httpUCEvents {
    void OnConnect1(const ustring&) override {}
    void OnDisconnect1() override {}
    void OnFinish1(int32_t code, const ustring&) override {
      codes.push_back(code);
      if (codes.size() == 1) {
        ustring sServer = u"127.0.0.1", sFile = u"/echo";
        next = engine->RequestFile1(sServer, sFile);
      } else {
        second = ToUtf8(engine->CurFileString1());
        engine->Unsubscribe(this);
        engine.reset();
      }
    }
    std::shared_ptr<httpUC> engine;
    std::vector<int32_t> codes;
    int32_t next = -1;
    std::string second;
  } chain;
  chain.engine = httpUC::Create(posix);
  chain.engine->Subscribe(&chain);
  ustring error, sServer = u"127.0.0.1", sFile = u"/bytes/10";
  ASSERT_EQ(chain.engine->StartUp1(error), 0);
  chain.engine->Port(server.Port());
  ASSERT_EQ(chain.engine->RequestFile1(sServer, sFile), 0);
  ASSERT_TRUE(PumpUntil([&](int ms) { posix->Pump(ms); }, [&] { return chain.engine == nullptr; }));
  EXPECT_EQ(chain.next, 0);
  EXPECT_EQ(chain.codes, (std::vector<int32_t>{200, 200}));
  EXPECT_EQ(posix->RegisteredCount(), 0u);
  EXPECT_EQ(chain.second.substr(0, 10), "GET /echo ");
}

// Modes: records whole, in 7-byte pieces, many per write, no close-notify.
TEST_F(EngineEndToEnd, SecureBodiesArriveByteForByteHoweverTheRecordsArrive) {
  Server server(Server::Kind::kTls);
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
  Server server(Server::Kind::kTls);
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
  for (Server::Kind kind : {Server::Kind::kRenegotiate, Server::Kind::kKeyUpdate}) {
    Server server(kind);
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
    Server::Kind kind;
    const char* number;
  } cases[] = {
      {"untrusted.pem", Server::Kind::kTls, "-2146762487"},     // CERT_E_UNTRUSTEDROOT
      {"expired.pem", Server::Kind::kTls, "-2146762495"},       // CERT_E_EXPIRED
      {"wrongname.pem", Server::Kind::kTls, "-2146762481"},     // CERT_E_CN_NO_MATCH
      {"localhost.pem", Server::Kind::kPlain, "10054"},         // not TLS, then closed
      {"localhost.pem", Server::Kind::kPlainHolding, "10060"},  // not TLS, then silent
      {"localhost.pem", Server::Kind::kSilent, "10060"},        // time-out
  };
  httpUCTestAccess::SetHandshakeTimeout(*engine, 300);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.certificate);
    Server server(c.kind, c.certificate);
    std::string message;
    EXPECT_EQ(Request(server.Port(), "https://localhost", "/bytes/10", &message), 116);
    EXPECT_EQ(message, std::string("Secure connection failed. Error number:") + c.number);
    EXPECT_TRUE(events.events.empty());
    EXPECT_EQ(posix->OpenCount(), 0u);
  }
  auto uc = httpUC::Create(std::make_shared<PosixPlatform>(&Online));
  ustring error, sServer = u"https://localhost", sFile = u"/bytes/1";
  ASSERT_EQ(uc->StartUp1(error), 0);
  Server server(Server::Kind::kTls);
  uc->Port(server.Port());
  EXPECT_EQ(uc->RequestFile1(sServer, sFile), 116);
  EXPECT_EQ(ToUtf8(sFile), "Secure connection failed. Error number:-2146762487");
  uc->CloseDown();
}

}  // namespace
}  // namespace wex
