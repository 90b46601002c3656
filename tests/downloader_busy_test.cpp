// The busy flag and the end of every transfer when a script does more than
// wait: requests refused or started while one runs, notifications that come
// in during a raise, handlers that start the next request, closes whose
// handlers keep requesting. Every case ends with everything pumped, so a flag
// left set or a finish never raised shows.
#include "tests/support/downloader_fixture.h"

namespace wex {
namespace {

using Events = std::vector<std::string>;

const char kHead[] = "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n";

std::string TextOf(Downloader& d) {
  ustring text;
  EXPECT_EQ(d.CurFileAsString(text), kS_OK);
  return ToUtf8(text);
}

// A request refused at any step, before or while making its connection,
// raises nothing and leaves the running transfer whole: its head, its body so
// far, its socket; its own finish then clears the flag.
TEST_F(DownloaderTest, ARefusedRequestLeavesTheRunningTransferToFinish) {
  struct Case {
    const char* name;
    const char* server;
    const char* path;
    std::function<void(FakePlatform&)> setUp;
    int32_t code;
  } cases[] = {
      {"empty server", "", "/b", nullptr, 113},
      {"empty path", "fileserver", "", nullptr, 114},
      {"only a scheme", "http://", "/b", nullptr, 113},
      {"offline", "fileserver", "/b", [](FakePlatform& f) { f.online = false; }, 106},
      {"proxy", "fileserver", "/b", [](FakePlatform& f) { f.connectionFlags = 0x16; }, 107},
      {"no socket", "fileserver", "/b",
       [](FakePlatform& f) {
         f.createSocketResults.push_back({-1, 10055});
       },
       109},
      {"unknown host", "fileserver", "/b",
       [](FakePlatform& f) { f.resolveResults.push_back(std::nullopt); }, 112},
      {"control character", "file\x01server", "/b", nullptr, 112},
      {"refused", "fileserver", "/b",
       [](FakePlatform& f) {
         f.connectResults.push_back({-1, 10061});
       },
       110},
      {"handshake", "https://fileserver", "/b",
       [](FakePlatform& f) {
         f.handshakeResults.push_back({-1, kCertEUntrustedRoot});
       },
       116},
      {"registration", "fileserver", "/b",
       [](FakePlatform& f) {
         f.asyncSelectResults.push_back({-1, 10022});
       },
       111},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DownloaderLog events;
    auto d = Make(&events);
    StartUp(*d);
    ASSERT_EQ(Request(*d), 0);
    const SocketHandle running = fake->lastSocket;
    fake->ReceiveData(std::string(kHead) + "01234");
    fake->NotifyRead();
    fake->DeliverAll();

    if (c.setUp) c.setUp(*fake);
    EXPECT_EQ(Request(*d, c.server, c.path), c.code);
    fake->online = true;
    fake->connectionFlags = 0x12;
    EXPECT_EQ(events.events, Events{"connect fileserver"});
    EXPECT_TRUE(d->Busy());
    EXPECT_TRUE(fake->IsRegistered(running));
    // Whatever the refused request opened is closed again.
    for (SocketHandle socket = running + 1; socket <= fake->lastSocket; ++socket)
      EXPECT_FALSE(fake->IsRegistered(socket));

    fake->ReceiveData("56789");
    fake->NotifyRead(running);
    fake->ReceiveEnd();
    fake->NotifyClose(running);
    fake->DeliverAll();
    EXPECT_EQ(events.events, (Events{"connect fileserver", "disconnect", "finish 200 OK"}));
    EXPECT_FALSE(d->Busy());
    EXPECT_EQ(TextOf(*d), "0123456789");
  }
}

TEST_F(DownloaderTest, ARefusedRequestWhenIdleStillDiscardsThePreviousDownload) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.0 200 OK\r\n\r\nold");
  EXPECT_EQ(Request(*d, "", "/b"), 113);
  int32_t size = -1;
  d->CurSize(size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(TextOf(*d), "");
}

// A request that connects ends the running transfer with OnDisconnect (it
// never finishes) and the flag now belongs to the new one.
TEST_F(DownloaderTest, ARequestThatConnectsSupersedesTheRunningTransfer) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d, "fileserver", "/first"), 0);
  const SocketHandle first = fake->lastSocket;
  fake->ReceiveData(std::string(kHead) + "old");
  fake->NotifyRead();
  fake->DeliverAll();
  ASSERT_EQ(Request(*d, "fileserver", "/second"), 0);
  EXPECT_FALSE(fake->IsRegistered(first));
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "connect fileserver"}));
  int32_t size = -1;
  d->CurSize(size);
  EXPECT_EQ(size, 0);
  Respond("HTTP/1.0 200 OK\r\n\r\nnew");
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(TextOf(*d), "new");
}

// COM delivers messages while OnConnect is raised to the script: the whole
// response may come in then. It is handled after RequestFile has returned.
TEST_F(DownloaderTest, AResponseArrivingDuringOnConnectFinishesAfterRequestFileReturns) {
  auto d = Make();
  StartUp(*d);
  int32_t eventsDuringRequest = -1;
  log.onConnect = [&] {
    fake->ReceiveData("HTTP/1.0 200 OK\r\n\r\nbody");
    fake->ReceiveEnd();
    fake->NotifyRead();
    fake->NotifyClose();
    fake->DeliverAll();  // the modal loop of the raise
    eventsDuringRequest = static_cast<int32_t>(log.events.size());
  };
  ASSERT_EQ(Request(*d), 0);
  EXPECT_EQ(eventsDuringRequest, 1);
  EXPECT_EQ(log.events, Events{"connect fileserver"});
  EXPECT_TRUE(d->Busy());
  fake->DeliverAll();  // the message loop, after the call
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "finish 200 OK"}));
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(TextOf(*d), "body");
}

// Where the platform cannot post a held notification again it is handled at
// once rather than lost: the transfer still finishes.
TEST_F(DownloaderTest, AHeldNotificationThatCannotBePostedAgainIsNotLost) {
  auto d = Make();
  StartUp(*d);
  fake->postFails = true;
  log.onConnect = [&] {
    fake->ReceiveData("HTTP/1.0 200 OK\r\n\r\nbody");
    fake->ReceiveEnd();
    fake->NotifyClose();
    fake->DeliverAll();
  };
  Request(*d);
  fake->DeliverAll();
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "finish 200 OK"}));
}

// A request started from any handler keeps the flag set until its own
// finish; the finish of the transfer it replaced (if that one still has
// one) clears nothing.
TEST_F(DownloaderTest, ARequestStartedFromAnyHandlerKeepsBusyUntilItsOwnFinish) {
  for (const char* where : {"connect", "disconnect", "finish"}) {
    SCOPED_TRACE(where);
    DownloaderLog events;
    auto d = Make(&events);
    StartUp(*d);
    int32_t nested = -1;
    bool started = false;
    std::function<void()> startNext = [&] {
      if (started) return;
      started = true;
      nested = Request(*d, "fileserver", "/second");
    };
    if (std::string(where) == "connect") events.onConnect = startNext;
    if (std::string(where) == "disconnect") events.onDisconnect = startNext;
    if (std::string(where) == "finish") events.onFinish = startNext;

    int32_t first = Request(*d, "fileserver", "/first");
    // From OnConnect the second request replaced the first one's connection
    // before it could be sent: the first reports 99, the second runs.
    EXPECT_EQ(first, std::string(where) == "connect" ? 99 : 0);
    if (first == 0) Respond("HTTP/1.0 200 OK\r\n\r\nfirst");
    EXPECT_EQ(nested, 0);
    EXPECT_TRUE(d->Busy());
    EXPECT_EQ(TextOf(*d), "");
    Respond("HTTP/1.0 200 OK\r\n\r\nsecond");
    EXPECT_FALSE(d->Busy());
    EXPECT_EQ(TextOf(*d), "second");
    EXPECT_EQ(events.events.back(), "finish 200 OK");
  }
}

// The finish that follows an OnDisconnect whose handler started the next
// request still reports the earlier transfer's own status.
TEST_F(DownloaderTest, TheFinishOfASupersededTransferReportsItsOwnStatus) {
  auto d = Make();
  StartUp(*d);
  bool started = false;
  log.onDisconnect = [&] {
    if (started) return;
    started = true;
    Request(*d, "fileserver", "/second");
  };
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.0 404 Not Found\r\n\r\ngone");
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "connect fileserver",
                                "finish 404 Not Found"}));
  EXPECT_TRUE(d->Busy());
}

// ShutDown closes once: a handler that starts a request from the
// OnDisconnect it raises gets its request, which the library stop then cuts
// off without further events; the library is stopped all the same.
TEST_F(DownloaderTest, ShutDownClosesOnceWhateverTheDisconnectHandlerStarts) {
  auto d = Make();
  StartUp(*d);
  std::vector<int32_t> nested;
  log.onDisconnect = [&] { nested.push_back(Request(*d, "fileserver", "/again")); };
  ASSERT_EQ(Request(*d), 0);
  EXPECT_EQ(d->ShutDown(), kS_OK);
  EXPECT_EQ(nested, std::vector<int32_t>{0});
  EXPECT_EQ(fake->CallCount("Connect("), 2);
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "connect fileserver"}));
  EXPECT_EQ(fake->cleanupCalls, 1);
  EXPECT_FALSE(fake->IsRegistered(fake->lastSocket));
  EXPECT_EQ(fake->closedSockets.size(), 2u);
  fake->DeliverAll();
  EXPECT_EQ(log.events.size(), 3u);
}

// A request that closes the running transfer closes once too: when the
// OnDisconnect handler starts a request of its own, that one stands and the
// outer request gives way, with 109 and 10037 and no event of its own.
TEST_F(DownloaderTest, ARequestWhoseCloseStartsAnotherGivesWayToIt) {
  auto d = Make();
  StartUp(*d);
  ASSERT_EQ(Request(*d, "fileserver", "/first"), 0);
  int32_t nested = -1;
  bool started = false;
  log.onDisconnect = [&] {
    if (started) return;
    started = true;
    nested = Request(*d, "fileserver", "/nested");
  };
  EXPECT_EQ(Request(*d, "fileserver", "/outer"), 109);
  EXPECT_EQ(filePath, "Winsock error - Failed to create socket. Error number:10037");
  EXPECT_EQ(nested, 0);
  // The outer request's own connection stood before it ended the first
  // transfer; it is closed again unused.
  EXPECT_EQ(fake->CallCount("Connect("), 3);
  EXPECT_EQ(fake->sent[fake->lastSocket].substr(0, 12), "GET /nested ");
  EXPECT_TRUE(d->Busy());
  Respond("HTTP/1.0 200 OK\r\n\r\nnested");
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(TextOf(*d), "nested");
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "connect fileserver",
                                "disconnect", "finish 200 OK"}));
}

}  // namespace
}  // namespace wex
