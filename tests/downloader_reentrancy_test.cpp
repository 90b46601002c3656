// Handlers that call back into the object, or release it, while it raises.
#include "tests/support/downloader_fixture.h"

namespace wex {
namespace {

TEST_F(DownloaderTest, ShutDownFromOnConnectEndsTheRequestCleanly) {
  auto d = Make();
  StartUp(*d);
  log.onConnect = [&] { d->ShutDown(); };
  EXPECT_EQ(Request(*d), 99);  // the connection was gone before the request could go out
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_FALSE(d->Busy());
  fake->DeliverAll();
  EXPECT_EQ(log.events.size(), 2u);
}

TEST_F(DownloaderTest, HandlersMayReadMembersDuringEveryEvent) {
  auto d = Make();
  StartUp(*d);
  std::vector<int32_t> sizes;
  auto readAll = [&] {
    int32_t size = -1;
    bool flag = false;
    ustring text;
    d->CurSize(size);
    d->Online(flag);
    d->CurFileAsString(text);
    sizes.push_back(size);
  };
  log.onConnect = readAll;
  log.onDisconnect = readAll;
  log.onFinish = readAll;
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.0 200 OK\r\n\r\n12345");
  EXPECT_EQ(sizes, (std::vector<int32_t>{0, 5, 5}));
}

// The script drops its last reference inside each of the three events in turn.
TEST_F(DownloaderTest, ReleasingTheObjectInsideAnyHandlerIsSafe) {
  for (int which = 0; which < 3; ++which) {
    DownloaderLog local;
    auto d = Make(&local);
    StartUp(*d);
    std::function<void()> release = [&] { d.reset(); };
    if (which == 0) local.onConnect = release;
    if (which == 1) local.onDisconnect = release;
    if (which == 2) local.onFinish = release;
    Arg s("fileserver");
    Arg f("/a");
    int32_t result = -1;
    Downloader* raw = d.get();
    raw->RequestFile(s, f, result);  // the call may outlive the caller's reference
    if (d) Respond("HTTP/1.0 200 OK\r\n\r\nbody");
    EXPECT_EQ(d, nullptr) << which;
    fake->DeliverAll();
  }
}

TEST_F(DownloaderTest, ReleasingAnotherObjectInsideAHandlerUnloadsTheHostSafely) {
  DownloaderLog other;
  auto d = Make();
  auto e = Make(&other);
  StartUp(*d);
  log.onDisconnect = [&] { e.reset(); };  // unloads the host between the two events
  ASSERT_EQ(Request(*d), 0);
  Respond("HTTP/1.0 200 OK\r\n\r\nbody");
  EXPECT_EQ(log.events.back(), "finish 200 OK");  // the raise in progress still completes
  int32_t size = 0;
  EXPECT_TRUE(Failed(d->CurSize(size)));
}

}  // namespace
}  // namespace wex
