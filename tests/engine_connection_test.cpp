// Connecting: the result codes of ConnectToServer as RequestFile1 hands them
// on, their order, and what is left behind.
#include <gtest/gtest.h>

#include "server/resources/message_table.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineConnection = EngineTest;

std::string Message(int32_t number) { return ToUtf8(MessageText(number)); }

TEST_F(EngineConnection, EveryFailureCodeAndText) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> script;
    const char* server;
    int32_t code;
    std::string text;
    int sockets;  // sockets created
  } cases[] = {
      {"offline", [](FakePlatform& f) { f.online = false; }, "fileserver", 106,
       "No Internet connection active. ", 0},
      {"proxy", [](FakePlatform& f) { f.connectionFlags = 0x04; }, "fileserver", 107,
       "Internet connection is via proxy server. ", 0},
      {"empty after prefix", [](FakePlatform&) {}, "http://", 113, Message(113), 0},
      {"no socket",
       [](FakePlatform& f) {
         f.createSocketResults.push_back({-1, 10093});
       },
       "fileserver", 109, Message(109) + "10093", 1},
      {"unknown host", [](FakePlatform& f) { f.resolveResults.push_back(std::nullopt); },
       "fileserver", 112, Message(112), 1},
      {"broadcast address",
       [](FakePlatform& f) { f.resolveResults.push_back({{Ipv4(255, 255, 255, 255)}}); },
       "fileserver", 112, Message(112), 1},
      {"refused",
       [](FakePlatform& f) {
         f.connectResults.push_back({-1, 10061});
       },
       "fileserver", 110, Message(110) + "10061", 1},
      {"registration",
       [](FakePlatform& f) {
         f.asyncSelectResults.push_back({-1, 10022});
       },
       "fileserver", 111, Message(111) + "10022", 1},
  };
  for (const Case& c : cases) {
    auto platform = std::make_shared<FakePlatform>();
    c.script(*platform);
    auto uc = StartedEngine(platform);
    EventLog events;
    uc->Subscribe(&events);
    ustring server = FromUtf8(c.server);
    ustring path = u"/a";
    EXPECT_EQ(uc->RequestFile1(server, path), c.code) << c.name;
    EXPECT_EQ(ToUtf8(path), c.text) << c.name;
    EXPECT_EQ(platform->CallCount("CreateSocket("), c.sockets) << c.name;
    // Online and proxy come from one connection-state query.
    EXPECT_EQ(platform->CallCount("ConnectedState("), 1) << c.name;
    // Whatever was opened is closed again, with no event and no registration left.
    EXPECT_EQ(platform->closedSockets.size(), platform->lastSocket > 0 ? 1u : 0u) << c.name;
    EXPECT_EQ(platform->CallCount("Send("), 0) << c.name;
    EXPECT_TRUE(events.events.empty()) << c.name;
    uc->Unsubscribe(&events);
  }
}

TEST_F(EngineConnection, EarlierChecksWin) {
  // Offline and behind a proxy with an empty server: offline is reported.
  fake->online = false;
  fake->connectionFlags = 0x04;
  EXPECT_EQ(Request("http://", "/a"), 106);
  fake->online = true;
  EXPECT_EQ(Request("http://", "/a"), 107);
  fake->connectionFlags = 0;
  fake->createSocketResults.push_back({-1, 10093});
  fake->resolveResults.push_back(std::nullopt);
  EXPECT_EQ(Request("fileserver", "/a"), 109);
  // The unused lookup failure is still queued: no lookup was made.
  EXPECT_EQ(fake->resolveResults.size(), 1u);
  fake->connectResults.push_back({-1, 10061});
  EXPECT_EQ(Request("fileserver", "/a"), 112);
  EXPECT_EQ(fake->connectResults.size(), 1u);
  fake->asyncSelectResults.push_back({-1, 10022});
  EXPECT_EQ(Request("fileserver", "/a"), 110);
  EXPECT_EQ(Request("fileserver", "/a"), 111);
}

// Only this engine's own start lets a request make a socket: the fake's
// sockets stand for a library that another part of the process started.
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

// The lookup, the secure channel's server name and its certificate check
// would end the name at a NUL; a name with any control character is refused
// before anything is looked up.
TEST_F(EngineConnection, AServerWithAControlCharacterOrOutsideTheCodePageIsNeverLookedUp) {
  for (char16_t c : {u'\0', u'\x01', u'\n', u'\x1F', u'\x7F'}) {
    ustring server = u"https://localhost" + ustring(1, c) + u".bank.example";
    ustring path = u"/";
    EXPECT_EQ(engine->RequestFile1(server, path), 112) << int(c);
    EXPECT_EQ(ToUtf8(path), Message(112));
  }
  // A name the code page cannot hold would reach the lookup with "?" in it.
  EXPECT_EQ(Request("https://\u65e5\u672c.example", "/"), 112);
  EXPECT_TRUE(fake->resolvedNames.empty());
  EXPECT_TRUE(fake->handshakes.empty());
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(Request("caf\u00e9.example", "/"), 0);
  EXPECT_EQ(fake->resolvedNames, std::vector<std::string>{"caf\xE9.example"});
}

TEST_F(EngineConnection, ConnectsThenRegistersThenRaisesOnConnect) {
  log.onConnect = [&] { EXPECT_EQ(fake->CallCount("Send("), 0); };
  ASSERT_EQ(Request("http://fileserver", "docs"), 0);
  SocketHandle socket = fake->lastSocket;
  EXPECT_EQ(fake->resolvedNames, std::vector<std::string>{"fileserver"});
  ASSERT_EQ(fake->registrations.size(), 1u);
  EXPECT_EQ(fake->registrations[0].socket, socket);
  EXPECT_EQ(fake->registrations[0].message, 0x8001u);
  EXPECT_EQ(fake->registrations[0].mask, 0x21);
  EXPECT_EQ(fake->registrations[0].target, engine.get());
  EXPECT_EQ(log.events, std::vector<std::string>{"connect fileserver"});
  EXPECT_EQ(file, "/docs");
}

TEST_F(EngineConnection, ServerTextIsLookedUpUnchanged) {
  for (const char* server : {"fileserver:81", "fileserver/docs", "HTTP://fileserver", "10.1.2.3"}) {
    fake->resolveResults.push_back(std::nullopt);
    EXPECT_EQ(Request(server, "/a"), 112) << server;
    EXPECT_EQ(fake->resolvedNames.back(), server);
  }
}

// Every IPv4 address in the resolver's order, each on a fresh socket, then
// the IPv6 ones only when none connected; a bracketed literal is IPv6 only
// and keeps its brackets in the Host line.
TEST_F(EngineConnection, TriesIpv4AddressesFirstThenIpv6) {
  using Addresses = std::vector<SocketAddress>;
  const SocketAddress a = Ipv4(10, 0, 0, 1), b = Ipv4(10, 0, 0, 2), v6 = Ipv6Loopback();
  struct Case {
    const char* name;
    const char* server;
    std::vector<std::optional<Addresses>> lookups;
    std::vector<FakePlatform::Outcome> connects;
    std::vector<FakePlatform::Outcome> sockets;  // creations after the first
    int32_t code;
    std::string text;
    std::vector<std::string> calls;  // lookups, creations, connects and closes in order
  } cases[] = {
      {"second IPv4 address",
       "fileserver",
       {Addresses{a, b}},
       {{-1, 10061}},
       {},
       0,
       "",
       {"CreateSocket(2,1,0)", "ResolveName(fileserver,2)", "Connect(100)", "CloseSocket(100)",
        "CreateSocket(2,1,0)", "Connect(101)"}},
      {"IPv6 only",
       "fileserver",
       {std::nullopt, Addresses{v6}},
       {},
       {},
       0,
       "",
       {"CreateSocket(2,1,0)", "ResolveName(fileserver,2)", "ResolveName(fileserver,23)",
        "CloseSocket(100)", "CreateSocket(23,1,0)", "Connect(101)"}},
      {"every address refuses",
       "fileserver",
       {Addresses{a}, Addresses{v6}},
       {{-1, 10061}, {-1, 10065}},
       {},
       110,
       Message(110) + "10065",
       {"CreateSocket(2,1,0)", "ResolveName(fileserver,2)", "Connect(100)",
        "ResolveName(fileserver,23)", "CloseSocket(100)", "CreateSocket(23,1,0)", "Connect(101)",
        "CloseSocket(101)"}},
      {"no IPv6 socket",
       "fileserver",
       {std::nullopt, Addresses{v6}},
       {},
       {{-1, 10047}},
       110,
       Message(110) + "10047",
       {"CreateSocket(2,1,0)", "ResolveName(fileserver,2)", "ResolveName(fileserver,23)",
        "CloseSocket(100)", "CreateSocket(23,1,0)"}},
      {"bracketed literal",
       "[::1]",
       {Addresses{v6}},
       {},
       {},
       0,
       "",
       {"CreateSocket(2,1,0)", "ResolveName(::1,23)", "CloseSocket(100)", "CreateSocket(23,1,0)",
        "Connect(101)"}},
      {"no address at all",
       "fileserver",
       {std::nullopt, std::nullopt},
       {},
       {},
       112,
       Message(112),
       {"CreateSocket(2,1,0)", "ResolveName(fileserver,2)", "ResolveName(fileserver,23)",
        "CloseSocket(100)"}},
  };
  for (const Case& c : cases) {
    auto platform = std::make_shared<FakePlatform>();
    platform->resolveResults.assign(c.lookups.begin(), c.lookups.end());
    platform->connectResults.assign(c.connects.begin(), c.connects.end());
    platform->createSocketResults.push_back({100, 0});
    for (const auto& outcome : c.sockets) platform->createSocketResults.push_back(outcome);
    platform->createSocketResults.push_back({101, 0});
    auto uc = StartedEngine(platform);
    ustring server = FromUtf8(c.server), path = u"/a";
    EXPECT_EQ(uc->RequestFile1(server, path), c.code) << c.name;
    if (c.code != 0) EXPECT_EQ(ToUtf8(path), c.text) << c.name;
    std::vector<std::string> calls;
    for (const std::string& call : platform->calls) {
      for (const char* kind : {"CreateSocket(", "ResolveName(", "Connect(", "CloseSocket("})
        if (call.rfind(kind, 0) == 0) calls.push_back(call);
    }
    EXPECT_EQ(calls, c.calls) << c.name;
    if (c.code == 0) {
      EXPECT_EQ(platform->sent[101].find("\r\nHost: " + std::string(c.server) + "\r\n") !=
                    std::string::npos,
                true)
          << c.name;
    }
  }
}

TEST_F(EngineConnection, CloseCancelsClosesAndDisconnectsOnce) {
  ustring sErr;
  engine->StartUp1(sErr);
  ASSERT_EQ(Request(), 0);
  SocketHandle socket = fake->lastSocket;
  log.onDisconnect = [&] {
    // The socket is already gone when the handler runs.
    EXPECT_EQ(fake->closedSockets, std::vector<SocketHandle>{socket});
  };
  engine->CloseDown();
  ASSERT_EQ(fake->registrations.size(), 2u);
  EXPECT_EQ(fake->registrations[1].message, 0u);
  EXPECT_EQ(fake->registrations[1].mask, 0);
  EXPECT_EQ(fake->CallCount("AsyncSelect(" + std::to_string(socket) + ",0,0)"), 1);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  engine->CloseDown();
  EXPECT_EQ(log.events.size(), 2u);
}

// A request soon after one that found the machine online and direct takes
// that answer again; an answer that refused a request, an answer a second
// old, and the two properties always ask afresh.
TEST_F(EngineConnection, ARecentDirectAnswerIsTakenAgainAndNoOther) {
  struct Case {
    const char* name;
    bool online;
    uint32_t flags;
    uint64_t stepMs;       // the clock's advance on each read
    int32_t secondResult;  // of the second request
    int queries;           // connection-state queries for both requests
  };
  const Case cases[] = {
      {"direct, within the second", true, 0x12, 400, 0, 1},
      {"direct, a second later", true, 0x12, 1000, 0, 2},
      {"offline", false, 0x12, 1, 106, 2},
      {"through a proxy", true, 0x16, 1, 107, 2},
  };
  for (const Case& c : cases) {
    auto platform = std::make_shared<FakePlatform>();
    platform->online = c.online;
    platform->connectionFlags = c.flags;
    platform->clockStepMs = c.stepMs;
    auto uc = StartedEngine(platform);
    ustring server = u"fileserver", path = u"/a";
    uc->RequestFile1(server, path);
    server = u"fileserver";
    path = u"/b";
    EXPECT_EQ(uc->RequestFile1(server, path), c.secondResult) << c.name;
    EXPECT_EQ(platform->CallCount("ConnectedState("), c.queries) << c.name;
    // The properties answer from a query of their own every time.
    EXPECT_EQ(uc->IsOnline(), c.online) << c.name;
    EXPECT_EQ(uc->IsConnectionProxy(), (c.flags & 0x04) != 0) << c.name;
    EXPECT_EQ(platform->CallCount("ConnectedState("), c.queries + 2) << c.name;
  }
}

}  // namespace
}  // namespace wex
