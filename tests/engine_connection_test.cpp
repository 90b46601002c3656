// Starting, connecting and the handshake, and what a failure at each leaves.
#include <gtest/gtest.h>

#include "server/resources/message_table.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineConnection = EngineTest;

std::string Message(int32_t number) { return ToUtf8(MessageText(number)); }

TEST(EngineStartup, MapsEveryLibraryStartFailureThenStartsOnceAndStopsOnce) {
  EventLog log;
  auto fake = std::make_shared<FakePlatform>();
  auto engine = httpUC::Create(fake);
  engine->Subscribe(&log);
  engine->CloseDown();  // never started: nothing to clean up
  EXPECT_EQ(engine->ServerCode(), 0);
  EXPECT_EQ(engine->CurFileString1(), u"");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  const std::pair<int32_t, int32_t> cases[] = {{10091, 101}, {10092, 102}, {10036, 103},
                                               {10067, 104}, {10014, 105}, {10093, 115},
                                               {1, 115},     {-1, 115}};
  for (const auto& [startup, message] : cases) {
    fake->startupResults.push_back(startup);
    ustring sErr = u"before";
    EXPECT_EQ(engine->StartUp1(sErr), message) << startup;
    EXPECT_EQ(sErr, MessageText(message)) << startup;
  }
  engine->CloseDown();  // a failed start is never cleaned up
  EXPECT_EQ(fake->cleanupCalls, 0);
  ustring sErr = u"left alone";
  EXPECT_EQ(engine->StartUp1(sErr), 0);
  EXPECT_EQ(engine->StartUp1(sErr), 0);
  EXPECT_EQ(sErr, u"left alone");
  EXPECT_EQ(fake->CallCount("Startup(257)"), 9);  // version 1.1, once when it succeeds
  engine->CloseDown();
  engine->CloseDown();
  EXPECT_EQ(fake->cleanupCalls, 1);
  EXPECT_EQ(engine->StartUp1(sErr), 0);
  engine.reset();
  EXPECT_EQ(fake->cleanupCalls, 2);
  EXPECT_TRUE(log.events.empty());
}

// A failure before a transfer leaves no socket, registration or event behind.
TEST_F(EngineConnection, EveryFailureCodeAndText) {
  const auto noScript = [](FakePlatform&) {};
  const auto handshake = [](int32_t error) {
    return [error](FakePlatform& f) { f.handshakeResults.push_back({kSocketError, error}); };
  };
  struct Case {
    std::function<void(FakePlatform&)> script;
    const char* server;
    const char* path;
    int32_t code;
    std::string text;
    int sockets, queries;
  } cases[] = {
      {noScript, "", "", 113, Message(113), 0, 0},
      {noScript, "", "/a", 113, Message(113), 0, 0},
      {noScript, "fileserver", "", 114, Message(114), 0, 0},
      {[](FakePlatform& f) { f.online = false; }, "fileserver", "/a", 106,
       "No Internet connection active. ", 0, 1},
      {[](FakePlatform& f) { f.connectionFlags = 0x04; }, "fileserver", "/a", 107,
       "Internet connection is via proxy server. ", 0, 1},
      {noScript, "http://", "/a", 113, Message(113), 0, 1},
      {noScript, "https://", "/a", 113, Message(113), 0, 1},
      {[](FakePlatform& f) {
         f.createSocketResults.push_back({-1, 10093});
       },
       "fileserver", "/a", 109, Message(109) + "10093", 1, 1},
      {[](FakePlatform& f) { f.resolveResults.push_back(std::nullopt); }, "fileserver", "/a", 112,
       Message(112), 1, 1},
      {[](FakePlatform& f) { f.resolveResults.push_back({{Ipv4(255, 255, 255, 255)}}); },
       "fileserver", "/a", 112, Message(112), 1, 1},
      {[](FakePlatform& f) {
         f.connectResults.push_back({-1, 10061});
       },
       "fileserver", "/a", 110, Message(110) + "10061", 1, 1},
      {[](FakePlatform& f) {
         f.asyncSelectResults.push_back({-1, 10022});
       },
       "fileserver", "/a", 111, Message(111) + "10022", 1, 1},
      {handshake(kCertEUntrustedRoot), "https://fileserver", "/a", 116,
       "Secure connection failed. Error number:-2146762487", 1, 1},
      {handshake(kWSAETIMEDOUT), "https://fileserver", "/a", 116, Message(116) + "10060", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " " + c.text);
    Fresh(c.script);
    EXPECT_EQ(Request(c.server, c.path), c.code);
    EXPECT_EQ(file, c.text);
    EXPECT_EQ(fake->CallCount("CreateSocket("), c.sockets);
    EXPECT_EQ(fake->CallCount("ConnectedState("), c.queries);
    EXPECT_EQ(fake->closedSockets.size(), fake->lastSocket > 0 ? 1u : 0u);
    EXPECT_FALSE(fake->IsRegistered(fake->lastSocket));
    EXPECT_EQ(fake->CallCount("Send("), 0);
    EXPECT_TRUE(log.events.empty());
  }
}

// Later steps never run after a failure: their scripted failures stay queued.
TEST_F(EngineConnection, EarlierChecksWin) {
  fake->online = false;
  fake->connectionFlags = 0x04;
  EXPECT_EQ(Request("http://", "/a"), 106);
  fake->online = true;
  EXPECT_EQ(Request("http://", "/a"), 107);
  fake->connectionFlags = 0;
  fake->createSocketResults.push_back({-1, 10093});
  fake->resolveResults.push_back(std::nullopt);
  EXPECT_EQ(Request(), 109);
  EXPECT_EQ(fake->resolveResults.size(), 1u);
  fake->connectResults.push_back({-1, 10061});
  EXPECT_EQ(Request("https://fileserver"), 112);
  EXPECT_EQ(fake->connectResults.size(), 1u);
  fake->handshakeResults.push_back({kSocketError, kWSAECONNRESET});
  fake->asyncSelectResults.push_back({-1, 10022});
  EXPECT_EQ(Request("https://fileserver"), 110);
  EXPECT_EQ(fake->CallCount("SecureHandshake("), 0);
  EXPECT_EQ(Request("https://fileserver"), 116);
  EXPECT_EQ(Request("https://fileserver"), 111);
  EXPECT_EQ(fake->CallCount("SecureHandshake("), 2);
}

// Sockets need this engine's own start, not one another part of the process made.
TEST(EngineConnectionStart, ARequestNeedsTheEnginesOwnStart) {
  const std::function<void(httpUC&, FakePlatform&)> cases[] = {
      [](httpUC&, FakePlatform&) {},
      [](httpUC& uc, FakePlatform& f) {
        f.startupResults.push_back(10091);
        ustring error;
        uc.StartUp1(error);
      },
      [](httpUC& uc, FakePlatform&) {
        ustring error;
        uc.StartUp1(error);
        uc.CloseDown();
      },
  };
  for (const auto& before : cases) {
    auto platform = std::make_shared<FakePlatform>();
    auto uc = httpUC::Create(platform);
    before(*uc, *platform);
    ustring server = u"fileserver", path = u"/a";
    EXPECT_EQ(uc->RequestFile1(server, path), 109);
    EXPECT_EQ(ToUtf8(path), Message(109) + "10093");
    EXPECT_EQ(platform->CallCount("CreateSocket("), 0);
  }
}

// The lookup and the certificate check would end a name at a NUL or misread it.
TEST_F(EngineConnection, AServerWithAControlCharacterOrOutsideTheCodePageIsNeverLookedUp) {
  for (char16_t c : {u'\0', u'\x01', u'\n', u'\x1F', u'\x7F'}) {
    ustring server = u"https://localhost" + ustring(1, c) + u".bank.example", path = u"/";
    EXPECT_EQ(engine->RequestFile1(server, path), 112) << int(c);
    EXPECT_EQ(ToUtf8(path), Message(112));
  }
  EXPECT_EQ(Request("https://\u65e5\u672c.example", "/"), 112);
  EXPECT_TRUE(fake->resolvedNames.empty());
  EXPECT_TRUE(fake->handshakes.empty());
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(Request("caf\u00e9.example", "/"), 0);
  EXPECT_EQ(fake->resolvedNames, std::vector<std::string>{"caf\xE9.example"});
}

TEST_F(EngineConnection, ConnectsHandshakesRegistersThenRaisesOnConnect) {
  for (const char* server : {"http://fileserver", "https://fileserver"}) {
    const bool secure = server[4] == 's';
    Fresh();
    log.onConnect = [&] {
      EXPECT_EQ(fake->CallCount("Send("), 0);
      EXPECT_EQ(fake->CallCount("SecureHandshake("), secure ? 1 : 0);
    };
    ASSERT_EQ(Request(server, "docs"), 0);
    std::vector<std::string> order;
    for (const std::string& call : fake->calls) {
      for (const char* name : {"Connect(", "SecureHandshake(", "AsyncSelect(", "Send("})
        if (call.rfind(name, 0) == 0) order.push_back(name);
    }
    std::vector<std::string> expected = {"Connect(", "SecureHandshake(", "AsyncSelect(", "Send("};
    if (!secure) expected.erase(expected.begin() + 1);
    EXPECT_EQ(order, expected);
    ASSERT_EQ(fake->registrations.size(), 1u);
    EXPECT_EQ(fake->registrations[0].socket, fake->lastSocket);
    EXPECT_EQ(fake->registrations[0].message, 0x8001u);
    EXPECT_EQ(fake->registrations[0].mask, 0x21);
    EXPECT_EQ(fake->registrations[0].target, engine.get());
    EXPECT_EQ(log.events, std::vector<std::string>{"connect fileserver"});
    EXPECT_EQ(file, "/docs");
    if (secure) {
      EXPECT_EQ(fake->handshakes[0].socket, fake->lastSocket);
      EXPECT_EQ(fake->handshakes[0].timeoutMs, 30000);
    }
  }
}

// IPv4 addresses in order on fresh sockets, then IPv6; "[::1]" is IPv6 only.
TEST_F(EngineConnection, TriesIpv4AddressesFirstThenIpv6) {
  using Addresses = std::vector<SocketAddress>;
  using Outcomes = std::vector<FakePlatform::Outcome>;
  // `sockets`: the creations after the first; `calls`: the lookups,
  // creations, connects and closes in order.
  auto check = [&](const char* server, std::vector<std::optional<Addresses>> lookups,
                   Outcomes connects, Outcomes sockets, int32_t code, const std::string& text,
                   const std::string& calls) {
    SCOPED_TRACE(calls);
    Fresh([&](FakePlatform& f) {
      f.resolveResults.assign(lookups.begin(), lookups.end());
      f.connectResults.assign(connects.begin(), connects.end());
      f.createSocketResults.push_back({100, 0});
      for (const auto& outcome : sockets) f.createSocketResults.push_back(outcome);
      f.createSocketResults.push_back({101, 0});
    });
    EXPECT_EQ(Request(server), code);
    if (code != 0) {
      EXPECT_EQ(file, text);
    }
    std::string made;
    for (const std::string& call : fake->calls) {
      for (const char* kind : {"CreateSocket(", "ResolveName(", "Connect(", "CloseSocket("})
        if (call.rfind(kind, 0) == 0) made += (made.empty() ? "" : " ") + call;
    }
    EXPECT_EQ(made, calls);
    if (code == 0) {
      EXPECT_NE(fake->sent[101].find("\r\nHost: " + std::string(server) + "\r\n"),
                std::string::npos);
    }
  };
  const SocketAddress a = Ipv4(10, 0, 0, 1), b = Ipv4(10, 0, 0, 2), v6 = Ipv6Loopback();
  check("fileserver", {Addresses{a, b}}, {{-1, 10061}}, {}, 0, "",
        "CreateSocket(2,1,0) ResolveName(fileserver,2) Connect(100) CloseSocket(100) "
        "CreateSocket(2,1,0) Connect(101)");
  check("fileserver", {std::nullopt, Addresses{v6}}, {}, {}, 0, "",
        "CreateSocket(2,1,0) ResolveName(fileserver,2) ResolveName(fileserver,23) "
        "CloseSocket(100) CreateSocket(23,1,0) Connect(101)");
  check("fileserver", {Addresses{a}, Addresses{v6}}, {{-1, 10061}, {-1, 10065}}, {}, 110,
        Message(110) + "10065",
        "CreateSocket(2,1,0) ResolveName(fileserver,2) Connect(100) ResolveName(fileserver,23) "
        "CloseSocket(100) CreateSocket(23,1,0) Connect(101) CloseSocket(101)");
  check("fileserver", {std::nullopt, Addresses{v6}}, {}, {{-1, 10047}}, 110, Message(110) + "10047",
        "CreateSocket(2,1,0) ResolveName(fileserver,2) ResolveName(fileserver,23) "
        "CloseSocket(100) CreateSocket(23,1,0)");
  check("[::1]", {Addresses{v6}}, {}, {}, 0, "",
        "CreateSocket(2,1,0) ResolveName(::1,23) CloseSocket(100) CreateSocket(23,1,0) "
        "Connect(101)");
  check("fileserver", {std::nullopt, std::nullopt}, {}, {}, 112, Message(112),
        "CreateSocket(2,1,0) ResolveName(fileserver,2) ResolveName(fileserver,23) "
        "CloseSocket(100)");
}

TEST_F(EngineConnection, CloseCancelsClosesAndDisconnectsOnce) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n");
  SocketHandle socket = fake->lastSocket;
  log.onDisconnect = [&] { EXPECT_EQ(fake->closedSockets, std::vector<SocketHandle>{socket}); };
  engine->CloseDown();
  ASSERT_EQ(fake->registrations.size(), 2u);
  EXPECT_EQ(fake->CallCount("AsyncSelect(" + std::to_string(socket) + ",0,0)"), 1);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(fake->calls.back(), "Cleanup()");
  // The half head is kept as body; later notifications and a second close do nothing.
  EXPECT_EQ(Body(), "HTTP/1.0 200 OK\r\n");
  PeerCloses();
  engine->CloseDown();
  EXPECT_EQ(log.events.size(), 2u);
  EXPECT_EQ(fake->cleanupCalls, 1);
  // Destroying an engine with an open connection disconnects it too.
  ustring sErr;
  engine->StartUp1(sErr);
  ASSERT_EQ(Request(), 0);
  socket = fake->lastSocket;
  log.onDisconnect = nullptr;
  engine.reset();
  EXPECT_EQ(log.events.back(), "disconnect");
  EXPECT_EQ(fake->closedSockets.back(), socket);
  EXPECT_EQ(fake->cleanupCalls, 2);
}

// Only a direct answer less than a second old is taken again, never by the properties.
TEST_F(EngineConnection, ARecentDirectAnswerIsTakenAgainAndNoOther) {
  struct Case {
    bool online;
    uint32_t flags;
    uint64_t stepMs;       // the clock's advance on each read
    int32_t secondResult;  // of the second request
    int queries;           // connection-state queries for both requests
  } cases[] = {
      {true, 0x12, 400, 0, 1}, {true, 0x12, 1000, 0, 2}, {false, 0x12, 1, 106, 2},
      {true, 0x16, 1, 107, 2}, {false, 0x04, 1, 106, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.flags) + " " + std::to_string(c.stepMs));
    Fresh([&](FakePlatform& f) {
      f.online = c.online;
      f.connectionFlags = c.flags;
      f.clockStepMs = c.stepMs;
    });
    Request("fileserver", "/a");
    EXPECT_EQ(Request("fileserver", "/b"), c.secondResult);
    EXPECT_EQ(fake->CallCount("ConnectedState("), c.queries);
    // The proxy flag counts even when offline.
    EXPECT_EQ(engine->IsOnline(), c.online);
    EXPECT_EQ(engine->IsConnectionProxy(), (c.flags & 0x04) != 0);
    EXPECT_EQ(fake->CallCount("ConnectedState("), c.queries + 2);
  }
}

}  // namespace
}  // namespace wex
