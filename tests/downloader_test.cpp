// The Downloader: its members, events and busy flag over the fake platform,
// also when handlers call back into the object or release it, and end to end
// on the POSIX platform against a local scripted server.
#include <chrono>
#include <utility>

#include "server/downloader/member_errors.h"
#include "server/engine/posix/posix_platform.h"
#include "server/resources/message_table.h"
#include "tests/support/downloader_fixture.h"
#include "tests/support/fixture_server.h"

namespace wex {
namespace {

using Events = std::vector<std::string>;
const Events kDone{"connect fileserver", "disconnect", "finish 200 OK"};

std::string TextOf(Downloader& d) {
  ustring text = u"x";
  EXPECT_EQ(d.CurFileAsString(text), kS_OK);
  return ToUtf8(text);
}

int32_t SizeOf(Downloader& d) {
  int32_t size = -1;
  EXPECT_EQ(d.CurSize(size), kS_OK);
  return size;
}

// One object, started.
class Downloading : public DownloaderTest {
 protected:
  Downloading() { StartUp(*d); }
  std::shared_ptr<Downloader> d = Make();
};

TEST_F(DownloaderTest, LibraryMembers) {
  auto d = Make();
  fake->startupResults.push_back(10091);
  Arg err("left over");
  int32_t result = -1;
  EXPECT_EQ(d->StartUp(err, result), kS_OK);
  EXPECT_EQ(result, 101);
  EXPECT_EQ(err.Text(), "System not ready for network communication.");
  EXPECT_EQ(d->StartUp(err, result), kS_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(err.Text(), "");

  // In order on one object: a value that is not numeric leaves the port as it was.
  const std::pair<Variant, uint16_t> ports[] = {
      {Variant::String(u"81"), 81},
      {Variant::String(u"abc"), 81},
      {Variant::R8(1e20), 0},
      {Variant::R8(81.5), 82},
  };
  for (const auto& [value, port] : ports) {
    Arg arg(value);
    d->Port(arg);
    ASSERT_EQ(Request(*d), 0);
    EXPECT_EQ(fake->connectAddresses.back().port, static_cast<uint16_t>(port >> 8 | port << 8));
  }

  bool value = false;
  fake->online = false;
  fake->connectionFlags = 0x04;
  EXPECT_EQ(d->Online(value), kS_OK);
  EXPECT_FALSE(value);
  EXPECT_EQ(d->ProxyConnection(value), kS_OK);
  EXPECT_TRUE(value);
}

TEST_F(Downloading, ArgumentsThatDoNotConvertAreAnAutomationErrorAndNothingElse) {
  Arg server(Variant::Null()), path("/a"), server2("fileserver"), path2(Variant::Array());
  int32_t result = 12345;
  EXPECT_EQ(d->RequestFile(server, path, result), kDISP_E_TYPEMISMATCH);
  EXPECT_TRUE(Failed(d->RequestFile(server2, path2, result)));
  EXPECT_EQ(result, 12345);
  EXPECT_EQ(fake->CallCount("CreateSocket("), 0);
  EXPECT_TRUE(log.events.empty());
  EXPECT_FALSE(d->Busy());
}

TEST_F(Downloading, ASuccessfulTransferRaisesConnectDisconnectFinishInOrder) {
  EXPECT_FALSE(d->Busy());
  ASSERT_EQ(Request(*d, "http://fileserver", "docs/a.txt"), 0);
  EXPECT_EQ(filePath, "docs/a.txt");  // FilePath keeps what the script passed
  EXPECT_EQ(log.events, Events{"connect fileserver"});
  EXPECT_TRUE(d->Busy());
  EXPECT_EQ(TextOf(*d), "");
  Respond("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nab\ncd");
  EXPECT_EQ(log.events, kDone);
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(SizeOf(*d), 5);
  EXPECT_EQ(TextOf(*d), "ab\r\ncd");
  // A refused request when idle still discards the download.
  EXPECT_EQ(Request(*d, "fileserver", ""), 114);
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(SizeOf(*d), 0);
  EXPECT_EQ(TextOf(*d), "");
}

// Inside the finish handler Busy is still True: only the text is withheld,
// and the output members fall back when their arguments do not convert.
TEST_F(Downloading, InsideTheFinishHandlerOnlyTheTextIsWithheld) {
  ASSERT_EQ(Request(*d), 0);
  const std::string body = "<title>T</title><item><title>I</title></item>";
  bool ran = false;
  log.onFinish = [&] {
    ran = true;
    EXPECT_TRUE(d->Busy());
    EXPECT_EQ(TextOf(*d), "");
    EXPECT_EQ(SizeOf(*d), static_cast<int32_t>(body.size()));
    Arg items("many"), withDescription(Variant::Null());  // no items, False
    EXPECT_EQ(d->FormatCurRSS(items, withDescription), u"<H2>T</H2>");
    Arg nullPath(Variant::Null()), replace(Variant::Boolean(true));  // the empty path
    fake->uncreatable.insert(u"");
    EXPECT_EQ(d->WriteTextFile(nullPath, replace), 3);
    Arg path("/out/a.txt"), keep(Variant::String(u"maybe"));  // False
    EXPECT_EQ(d->WriteBinaryFile(path, keep), 0);
    EXPECT_EQ(d->WriteBinaryFile(path, keep), 1);
  };
  Respond("HTTP/1.0 200 OK\r\n\r\n" + body);
  EXPECT_TRUE(ran);
  EXPECT_EQ(fake->files[u"/out/a.txt"], body);
  EXPECT_FALSE(d->Busy());
}

// A refusal at any step raises nothing, writes its message into FilePath and
// leaves a running transfer whole, to be cleared by its own finish.
TEST_F(DownloaderTest, ARefusedRequestLeavesTheRunningTransferToFinish) {
  using Queue = std::deque<FakePlatform::Outcome> FakePlatform::*;
  const struct {
    const char* server;
    Queue failing;
    int32_t error;
    int32_t code;
  } cases[] = {
      {"", nullptr, 0, 113},
      {"fileserver", &FakePlatform::createSocketResults, 10055, 109},
      {"fileserver", &FakePlatform::connectResults, 10061, 110},
      {"https://fileserver", &FakePlatform::handshakeResults, kCertEUntrustedRoot, 116},
      {"fileserver", &FakePlatform::asyncSelectResults, 10022, 111},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    DownloaderLog events;
    auto d = Make(&events);
    StartUp(*d);
    ASSERT_EQ(Request(*d), 0);
    const SocketHandle running = fake->lastSocket;
    fake->ReceiveData("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n01234");
    fake->NotifyRead();
    fake->DeliverAll();

    if (c.failing) ((*fake).*c.failing).push_back({-1, c.error});
    EXPECT_EQ(Request(*d, c.server, "/b"), c.code);
    EXPECT_EQ(filePath, ToUtf8(MessageText(c.code)) + (c.error ? std::to_string(c.error) : ""));
    EXPECT_EQ(events.events, Events{"connect fileserver"});
    EXPECT_TRUE(d->Busy());
    EXPECT_TRUE(fake->IsRegistered(running));
    for (SocketHandle socket = running + 1; socket <= fake->lastSocket; ++socket)
      EXPECT_FALSE(fake->IsRegistered(socket));

    fake->ReceiveData("56789");
    fake->NotifyRead(running);
    fake->ReceiveEnd();
    fake->NotifyClose(running);
    fake->DeliverAll();
    EXPECT_EQ(events.events, kDone);
    EXPECT_FALSE(d->Busy());
    EXPECT_EQ(TextOf(*d), "0123456789");
  }
}

// COM delivers messages while OnConnect is raised: the whole response may come
// in then; a notification that cannot be posted again is handled at once,
// inside the raise, and the transfer still finishes.
TEST_F(DownloaderTest, AResponseArrivingDuringOnConnectFinishesAfterRequestFileReturns) {
  for (bool postFails : {false, true}) {
    SCOPED_TRACE(postFails);
    DownloaderLog events;
    auto d = Make(&events);
    StartUp(*d);
    fake->postFails = postFails;
    events.onConnect = [&] {
      fake->ReceiveData("HTTP/1.0 200 OK\r\n\r\nbody");
      fake->ReceiveEnd();
      fake->NotifyRead();
      fake->NotifyClose();
      fake->DeliverAll();  // the modal loop of the raise
      if (!postFails) {
        EXPECT_EQ(events.events.size(), 1u);
      }
    };
    ASSERT_EQ(Request(*d), 0);
    fake->DeliverAll();
    EXPECT_EQ(events.events, kDone);
    if (postFails) continue;
    EXPECT_FALSE(d->Busy());
    EXPECT_EQ(TextOf(*d), "body");
  }
}

// A request started from any handler keeps the flag set until its own finish;
// the finish of the transfer it replaced clears nothing.
TEST_F(DownloaderTest, ARequestStartedFromAnyHandlerKeepsBusyUntilItsOwnFinish) {
  for (const std::string where : {"connect", "disconnect", "finish"}) {
    SCOPED_TRACE(where);
    DownloaderLog events;
    auto d = Make(&events);
    StartUp(*d);
    int32_t nested = -1;
    bool started = false;
    (where == "connect"      ? events.onConnect
     : where == "disconnect" ? events.onDisconnect
                             : events.onFinish) = [&] {
      if (!std::exchange(started, true)) nested = Request(*d, "fileserver", "/second");
    };
    // From OnConnect the second request replaced the first one's connection
    // before it was sent.
    const int32_t first = Request(*d, "fileserver", "/first");
    EXPECT_EQ(first, where == "connect" ? 99 : 0);
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

TEST_F(Downloading, ShutDownMidTransferDisconnectsAtOnceAndLeavesBusySet) {
  ASSERT_EQ(Request(*d), 0);
  EXPECT_EQ(d->ShutDown(), kS_OK);
  EXPECT_TRUE(d->Busy());
  fake->NotifyClose(fake->lastSocket);  // posted before the cancel
  fake->DeliverAll();
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect"}));
}

// ShutDown closes once: the request an OnDisconnect handler starts is cut off
// by the library stop without further events.
TEST_F(Downloading, ShutDownClosesOnceWhateverTheDisconnectHandlerStarts) {
  std::vector<int32_t> nested;
  log.onDisconnect = [&] { nested.push_back(Request(*d, "fileserver", "/again")); };
  ASSERT_EQ(Request(*d), 0);
  EXPECT_EQ(d->ShutDown(), kS_OK);
  EXPECT_EQ(nested, std::vector<int32_t>{0});
  EXPECT_EQ(fake->cleanupCalls, 1);
  EXPECT_EQ(fake->closedSockets.size(), 2u);
  fake->DeliverAll();
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "connect fileserver"}));
}

// A request closes the running transfer first; when that close's OnDisconnect
// handler starts a request of its own, that one stands and the outer request
// gives way with 109 and 10037.
TEST_F(Downloading, ARequestWhoseCloseStartsAnotherGivesWayToIt) {
  ASSERT_EQ(Request(*d, "fileserver", "/first"), 0);
  int32_t nested = -1;
  bool started = false;
  log.onDisconnect = [&] {
    if (!std::exchange(started, true)) nested = Request(*d, "fileserver", "/nested");
  };
  EXPECT_EQ(Request(*d, "fileserver", "/outer"), 109);
  EXPECT_EQ(filePath, "Winsock error - Failed to create socket. Error number:10037");
  EXPECT_EQ(nested, 0);
  EXPECT_EQ(fake->sent[fake->lastSocket].substr(0, 12), "GET /nested ");
  Respond("HTTP/1.0 200 OK\r\n\r\nnested");
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(TextOf(*d), "nested");
  EXPECT_EQ(log.events, (Events{"connect fileserver", "disconnect", "connect fileserver",
                                "disconnect", "finish 200 OK"}));
}

// The script drops its last reference inside each of the three events in turn.
TEST_F(DownloaderTest, ReleasingTheObjectInsideAnyHandlerIsSafe) {
  for (int which = 0; which < 3; ++which) {
    DownloaderLog local;
    auto d = Make(&local);
    StartUp(*d);
    (which == 0   ? local.onConnect
     : which == 1 ? local.onDisconnect
                  : local.onFinish) = [&] { d.reset(); };
    Arg s("fileserver"), f("/a");
    int32_t result = -1;
    Downloader* raw = d.get();
    raw->RequestFile(s, f, result);  // the call may outlive the caller's reference
    if (d) Respond("HTTP/1.0 200 OK\r\n\r\nbody");
    EXPECT_EQ(d, nullptr) << which;
    fake->DeliverAll();
  }
}

// Every object of the process hears the one engine's events. Another object's
// destruction unloads the shared host, here between two events: the raise in
// progress completes and members then fail harmlessly.
TEST_F(Downloading, AnotherObjectHearsTheEventsAndItsDestructionUnloadsTheHost) {
  DownloaderLog second;
  auto other = Make(&second);
  auto first = Host::Current();
  log.onDisconnect = [&] { other.reset(); };
  ASSERT_EQ(Request(*d), 0);
  EXPECT_FALSE(other->Busy());
  Respond("HTTP/1.0 200 OK\r\n\r\nbody");
  EXPECT_EQ(second.events, Events{"connect fileserver"});
  EXPECT_EQ(log.events, kDone);
  EXPECT_EQ(Host::Current(), nullptr);

  bool flag = false;
  int32_t number = 0;
  ustring text;
  Arg err(""), s("fileserver"), f("/a"), port(Variant::I4(81)), path("/out/x"),
      replace(Variant::Boolean(true));
  EXPECT_EQ(d->Online(flag), kObjectNotSet);
  EXPECT_EQ(d->ProxyConnection(flag), kObjectNotSet);
  EXPECT_EQ(d->CurSize(number), kObjectNotSet);
  EXPECT_EQ(d->CurFileAsString(text), kObjectNotSet);
  EXPECT_EQ(d->StartUp(err, number), kObjectNotSet);
  EXPECT_EQ(d->ShutDown(), kObjectNotSet);
  EXPECT_EQ(d->RequestFile(s, f, number), kObjectNotSet);
  EXPECT_FALSE(d->Busy());
  d->Port(port);
  EXPECT_EQ(d->WriteBinaryFile(path, replace), 0);
  EXPECT_EQ(d->FormatCurRSS(port, replace), u"");

  auto next = Make();  // a new construction creates a fresh host
  EXPECT_NE(Host::Current(), first);
  EXPECT_EQ(StartUp(*next), 0);
}

// End to end: the host on the POSIX platform, online and without a proxy
// whatever this machine's network is, pumped until Busy turns False.
TEST_F(DownloaderTest, DownloadsAFileEndToEnd) {
  Host::SetPlatformFactory([] {
    return std::make_shared<PosixPlatform>([](uint32_t& flags) {
      flags = 0x02;
      return true;
    });
  });
  FixtureServer server(FixtureServer::Kind::kHttp);
  auto d = Make();
  ASSERT_EQ(StartUp(*d), 0);
  Arg port(Variant::I4(server.Port()));
  d->Port(port);
  ASSERT_EQ(Request(*d, "http://127.0.0.1", "lines.txt"), 0);
  ASSERT_TRUE(Host::Current()->PumpUntil([&] { return !d->Busy(); }, std::chrono::seconds(10)));
  EXPECT_EQ(log.events, (Events{"connect 127.0.0.1", "disconnect", "finish 200 OK"}));
  EXPECT_EQ(TextOf(*d), "first line\r\nsecond line\r\n\r\nlast line\r\n");
}

}  // namespace
}  // namespace wex
