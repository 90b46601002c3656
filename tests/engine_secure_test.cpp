// Secure requests on the scripted platform: the scheme and port rules, where
// the handshake runs, and every way it can fail (116 and the reason).
#include <gtest/gtest.h>

#include "server/resources/message_table.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/engine_test_access.h"

namespace wex {
namespace {

using EngineSecure = EngineTest;

uint16_t PortOf(const SocketAddress& address) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&address.port);
  return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

TEST_F(EngineSecure, SchemeRule) {
  struct Case {
    const char* server;
    bool secure;
    const char* host;  // Host line, OnConnect1 and the name looked up
  } cases[] = {
      {"https://fileserver", true, "fileserver"},
      {"http://https://fileserver", true, "fileserver"},
      {"ftp://https://fileserver", true, "fileserver"},
      {"https://http://fileserver", true, "http://fileserver"},
      {"https://https://fileserver", true, "https://fileserver"},
      {"HTTPS://fileserver", false, "HTTPS://fileserver"},
      {"Https://fileserver", false, "Https://fileserver"},
      {" https://fileserver", false, " https://fileserver"},
      {"http://fileserver", false, "fileserver"},
      {"fileserver", false, "fileserver"},
  };
  for (const Case& c : cases) {
    size_t handshakes = fake->handshakes.size();
    ASSERT_EQ(Request(c.server, "/feed.xml"), 0) << c.server;
    EXPECT_EQ(fake->handshakes.size(), handshakes + (c.secure ? 1 : 0)) << c.server;
    if (c.secure) {
      EXPECT_EQ(fake->handshakes.back().hostName, c.host) << c.server;
    }
    EXPECT_EQ(fake->resolvedNames.back(), c.host) << c.server;
    EXPECT_EQ(log.events.back(), std::string("connect ") + c.host) << c.server;
    EXPECT_EQ(RequestBytes(), std::string("GET /feed.xml HTTP/1.0\r\nUser-Agent: ") +
                                  ToUtf8(u"Wexlo.EXE v. 1.04 from Quarnet - "
                                         u"http://www.quarnet.example/") +
                                  "\r\nHost: " + c.host + "\r\n\r\n")
        << c.server;
  }
}

TEST_F(EngineSecure, OnlyTheSchemeLeftIsAServerMissing) {
  EXPECT_EQ(Request("https://", "/a"), 113);
  EXPECT_EQ(file, ToUtf8(MessageText(113)));
  EXPECT_EQ(fake->CallCount("CreateSocket("), 0);
}

TEST_F(EngineSecure, SecureRequestsUse443UntilPortIsWritten) {
  ASSERT_EQ(Request("https://fileserver"), 0);
  EXPECT_EQ(PortOf(fake->connectAddresses.back()), 443);
  ASSERT_EQ(Request("fileserver"), 0);
  EXPECT_EQ(PortOf(fake->connectAddresses.back()), 80);
  // Once written, even with the default's value, the port is the script's.
  engine->Port(80);
  ASSERT_EQ(Request("https://fileserver"), 0);
  EXPECT_EQ(PortOf(fake->connectAddresses.back()), 80);
  engine->Port(8443 + 65536);
  ASSERT_EQ(Request("https://fileserver"), 0);
  EXPECT_EQ(PortOf(fake->connectAddresses.back()), 8443);
  ASSERT_EQ(Request("fileserver"), 0);
  EXPECT_EQ(PortOf(fake->connectAddresses.back()), 8443);
}

TEST_F(EngineSecure, HandshakeRunsAfterTheConnectAndBeforeTheRegistration) {
  log.onConnect = [&] { EXPECT_EQ(fake->CallCount("SecureHandshake("), 1); };
  ASSERT_EQ(Request("https://fileserver", "/a"), 0);
  SocketHandle socket = fake->lastSocket;
  std::vector<std::string> order;
  for (const std::string& call : fake->calls) {
    for (const char* name : {"Connect(", "SecureHandshake(", "AsyncSelect(", "Send("}) {
      if (call.rfind(name, 0) == 0) order.push_back(name);
    }
  }
  EXPECT_EQ(order,
            (std::vector<std::string>{"Connect(", "SecureHandshake(", "AsyncSelect(", "Send("}));
  ASSERT_EQ(fake->handshakes.size(), 1u);
  EXPECT_EQ(fake->handshakes[0].socket, socket);
  EXPECT_EQ(fake->handshakes[0].timeoutMs, 30000);
}

TEST_F(EngineSecure, ATestMayShortenTheHandshakeTimeOut) {
  httpUCTestAccess::SetHandshakeTimeout(*engine, 50);
  fake->handshakeResults.push_back({kSocketError, kWSAETIMEDOUT});
  EXPECT_EQ(Request("https://fileserver"), 116);
  EXPECT_EQ(fake->handshakes.back().timeoutMs, 50);
  EXPECT_EQ(file, ToUtf8(MessageText(116)) + "10060");
}

TEST_F(EngineSecure, EveryHandshakeFailureGives116WithItsNumberAndLeavesNothing) {
  struct Case {
    const char* name;
    int32_t error;
    const char* number;
  } cases[] = {
      {"untrusted root", kCertEUntrustedRoot, "-2146762487"},
      {"expired", kCertEExpired, "-2146762495"},
      {"wrong name", kCertENameMismatch, "-2146762481"},
      {"not a TLS server", kSecEIllegalMessage, "-2146893018"},
      {"time-out", kWSAETIMEDOUT, "10060"},
      {"reset", kWSAECONNRESET, "10054"},
  };
  for (const Case& c : cases) {
    auto platform = std::make_shared<FakePlatform>();
    platform->handshakeResults.push_back({kSocketError, c.error});
    auto uc = StartedEngine(platform);
    EventLog events;
    uc->Subscribe(&events);
    ustring server = u"https://fileserver";
    ustring path = u"/a";
    EXPECT_EQ(uc->RequestFile1(server, path), 116) << c.name;
    EXPECT_EQ(ToUtf8(path), "Secure connection failed. Error number:" + std::string(c.number))
        << c.name;
    EXPECT_EQ(platform->closedSockets, std::vector<SocketHandle>{platform->lastSocket}) << c.name;
    EXPECT_EQ(platform->CallCount("AsyncSelect("), 0) << c.name;
    EXPECT_EQ(platform->CallCount("Send("), 0) << c.name;
    EXPECT_TRUE(events.events.empty()) << c.name;
    uc->Unsubscribe(&events);
  }
}

TEST_F(EngineSecure, EarlierFailuresComeBeforeTheHandshake) {
  fake->connectResults.push_back({-1, 10061});
  EXPECT_EQ(Request("https://fileserver"), 110);
  fake->resolveResults.push_back(std::nullopt);
  EXPECT_EQ(Request("https://fileserver"), 112);
  EXPECT_EQ(fake->CallCount("SecureHandshake("), 0);
  // A registration failure after a good handshake is still 111.
  fake->asyncSelectResults.push_back({-1, 10022});
  EXPECT_EQ(Request("https://fileserver"), 111);
  EXPECT_EQ(fake->CallCount("SecureHandshake("), 1);
}

// The channel beneath the seam turns records into plain bytes; the engine sees
// the same receives as for a plain request: a read whose record is not
// complete yet would block, and a record that fails ends the transfer.
TEST_F(EngineSecure, ReceivingIsThePlainDispatcher) {
  ASSERT_EQ(Request("https://fileserver"), 0);
  fake->NotifyRead();  // raw bytes of an incomplete record: would block
  fake->DeliverAll();
  Receive("HTTP/1.0 200 OK\r\n\r\nsecret");
  PeerCloses();
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"connect fileserver", "disconnect", "finish 200 OK"}));
  EXPECT_EQ(Body(), "secret");

  ASSERT_EQ(Request("https://fileserver"), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\nsec");
  fake->ReceiveError(kSecEDecryptFailure);
  fake->NotifyRead();
  fake->DeliverAll();
  EXPECT_EQ(log.events.back(), "finish -1 -2146893008");
  EXPECT_EQ(Body(), "sec");
}

}  // namespace
}  // namespace wex
