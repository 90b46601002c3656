// Start and stop of the socket library, the connectivity queries, the
// accessors and the engine's lifetime.
#include <gtest/gtest.h>

#include "server/resources/message_table.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

class EngineStartup : public EngineTest {
 protected:
  EngineStartup() : EngineTest(false) {}
};

TEST_F(EngineStartup, MapsEveryLibraryStartFailure) {
  struct Case {
    int32_t startupResult;
    int32_t message;
  } cases[] = {{10091, 101}, {10092, 102}, {10036, 103}, {10067, 104},
               {10014, 105}, {10093, 115}, {1, 115},     {-1, 115}};
  for (const Case& c : cases) {
    fake->startupResults.push_back(c.startupResult);
    ustring sErr = u"before";
    EXPECT_EQ(engine->StartUp1(sErr), c.message) << c.startupResult;
    EXPECT_EQ(sErr, MessageText(c.message)) << c.startupResult;
  }
  // A failed start is never cleaned up and raises nothing.
  engine->CloseDown();
  EXPECT_EQ(fake->cleanupCalls, 0);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(EngineStartup, StartsOnceAndStopsOnce) {
  ustring sErr = u"left alone";
  EXPECT_EQ(engine->StartUp1(sErr), 0);
  EXPECT_EQ(engine->StartUp1(sErr), 0);
  EXPECT_EQ(sErr, u"left alone");
  EXPECT_EQ(fake->CallCount("Startup(257)"), 1);  // version 1.1
  engine->CloseDown();
  engine->CloseDown();
  EXPECT_EQ(fake->cleanupCalls, 1);
  // Started again after a stop: a second start, a second clean-up.
  EXPECT_EQ(engine->StartUp1(sErr), 0);
  engine.reset();
  EXPECT_EQ(fake->CallCount("Startup("), 2);
  EXPECT_EQ(fake->cleanupCalls, 2);
}

TEST_F(EngineStartup, RetriesAfterAFailedStart) {
  fake->startupResults = {10091, 0};
  ustring first;
  EXPECT_EQ(engine->StartUp1(first), 101);
  ustring second = u"x";
  EXPECT_EQ(engine->StartUp1(second), 0);
  EXPECT_EQ(second, u"x");
  engine->CloseDown();
  EXPECT_EQ(fake->cleanupCalls, 1);
}

TEST_F(EngineStartup, CloseDownWithoutStartDoesNothing) {
  engine->CloseDown();
  EXPECT_EQ(fake->cleanupCalls, 0);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(EngineStartup, CloseDownMidTransferDisconnectsWithoutFinishing) {
  ustring sErr;
  engine->StartUp1(sErr);
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n");
  engine->CloseDown();
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(fake->calls.back(), "Cleanup()");
  EXPECT_FALSE(fake->IsRegistered(fake->lastSocket));
  // The half head received is kept as body; later notifications are dropped.
  EXPECT_EQ(Body(), "HTTP/1.0 200 OK\r\n");
  PeerCloses();
  EXPECT_EQ(log.events.size(), 2u);
}

TEST_F(EngineStartup, DestructionWithAnOpenConnectionDisconnects) {
  ustring sErr;
  engine->StartUp1(sErr);
  ASSERT_EQ(Request(), 0);
  SocketHandle socket = fake->lastSocket;
  engine.reset();
  EXPECT_EQ(log.events.back(), "disconnect");
  EXPECT_EQ(fake->closedSockets, std::vector<SocketHandle>{socket});
  EXPECT_EQ(fake->cleanupCalls, 1);
}

TEST_F(EngineStartup, ConnectivityComesFromTheConnectedState) {
  struct Case {
    bool online;
    uint32_t flags;
    bool isOnline;
    bool isProxy;
  } cases[] = {{true, 0x12, true, false},
               {true, 0x05, true, true},
               {false, 0x04, false, true},  // the proxy flag counts even when offline
               {false, 0, false, false}};
  for (const Case& c : cases) {
    fake->online = c.online;
    fake->connectionFlags = c.flags;
    EXPECT_EQ(engine->IsOnline(), c.isOnline);
    EXPECT_EQ(engine->IsConnectionProxy(), c.isProxy);
  }
}

TEST_F(EngineStartup, AccessorsAndDefaults) {
  EXPECT_EQ(engine->ServerCode(), 0);
  EXPECT_EQ(engine->ServerString(), u"");
  EXPECT_EQ(engine->CurSize1(), 0);
  EXPECT_EQ(engine->CurFileString1(), u"");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  // The default User-Agent goes out with a request.
  ustring error;
  engine->StartUp1(error);
  ASSERT_EQ(Request(), 0);
  EXPECT_NE(RequestBytes().find("\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
                                "http://www.quarnet.example/\r\n"),
            std::string::npos);
}

TEST_F(EngineStartup, PortUsesItsLow16Bits) {
  struct Case {
    int32_t port;
    uint8_t high, low;
  } cases[] = {{80, 0, 80}, {8080, 0x1F, 0x90}, {0, 0, 0}, {65536 + 81, 0, 81}, {-1, 0xFF, 0xFF}};
  ustring error;
  engine->StartUp1(error);
  for (const Case& c : cases) {
    engine->Port(c.port);
    ASSERT_EQ(Request(), 0);
    const SocketAddress& address = fake->connectAddresses.back();
    const uint8_t* port = reinterpret_cast<const uint8_t*>(&address.port);
    EXPECT_EQ(port[0], c.high) << c.port;
    EXPECT_EQ(port[1], c.low) << c.port;
    EXPECT_TRUE(SameHost(address, LoopbackAddress()));
  }
}

}  // namespace
}  // namespace wex
