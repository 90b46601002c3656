// The Downloader end to end: its host on the POSIX platform against a local
// scripted server, pumped until Busy turns False.
#include <chrono>

#include "server/engine/posix/posix_platform.h"
#include "tests/support/downloader_fixture.h"
#include "tests/support/scripted_server.h"

namespace wex {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

class DownloaderEndToEnd : public ::testing::Test {
 protected:
  DownloaderLog log;

  DownloaderEndToEnd() {
    // Online and without a proxy whatever this machine's network is.
    Host::SetPlatformFactory([] {
      return std::make_shared<PosixPlatform>([](uint32_t& flags) {
        flags = 0x02;
        return true;
      });
    });
  }
  ~DownloaderEndToEnd() override { Host::SetPlatformFactory(nullptr); }

  std::shared_ptr<Downloader> MakeStarted(uint16_t port) {
    auto d = Downloader::Create();
    d->SetListener(&log);
    Arg err("");
    int32_t result = -1;
    EXPECT_EQ(d->StartUp(err, result), kS_OK);
    EXPECT_EQ(result, 0);
    Arg portNumber(Variant::I4(port));
    d->Port(portNumber);
    return d;
  }

  static int32_t Request(Downloader& d, const char* server, const char* path) {
    Arg s(server);
    Arg f(path);
    int32_t result = -1;
    EXPECT_EQ(d.RequestFile(s, f, result), kS_OK);
    return result;
  }

  static bool WaitWhileBusy(Downloader& d) {
    return Host::Current()->PumpUntil([&] { return !d.Busy(); }, 10s);
  }
};

TEST_F(DownloaderEndToEnd, DownloadsAFileAndReportsTheFinishAfterTheDisconnect) {
  const std::string body(20000, 'x');
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send("HTTP/1.0 200 OK\r\nServer: test\r\n\r\n" + body)});
  auto d = MakeStarted(server.Port());
  ASSERT_EQ(Request(*d, "http://127.0.0.1", "big.txt"), 0);
  ASSERT_TRUE(WaitWhileBusy(*d));
  EXPECT_EQ(log.events, (Events{"connect 127.0.0.1", "disconnect", "finish 200 OK"}));
  int32_t size = 0;
  d->CurSize(size);
  EXPECT_EQ(size, 20000);
  ustring text;
  d->CurFileAsString(text);
  EXPECT_EQ(ToUtf8(text), body);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(0, 27), "GET /big.txt HTTP/1.0\r\nUser");
}

TEST_F(DownloaderEndToEnd, AResetMidBodyFinishesWithTheResetNumber) {
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\npartial"),
                         ScriptedServer::WaitCue(), ScriptedServer::Reset()});
  auto d = MakeStarted(server.Port());
  ASSERT_EQ(Request(*d, "127.0.0.1", "/f"), 0);
  ASSERT_TRUE(Host::Current()->PumpUntil(
      [&] {
        int32_t size = 0;
        d->CurSize(size);
        return size == 7;
      },
      10s));
  server.Cue();
  ASSERT_TRUE(WaitWhileBusy(*d));
  EXPECT_EQ(log.events, (Events{"connect 127.0.0.1", "disconnect", "finish -1 10054"}));
}

TEST_F(DownloaderEndToEnd, ARefusedPortAndAnUnknownHostAreRefusedWithoutEvents) {
  uint16_t closedPort = 0;
  {
    ScriptedServer gone({});
    closedPort = gone.Port();
  }  // nothing listens there any more
  auto d = MakeStarted(closedPort);
  Arg s("127.0.0.1");
  Arg f("/f");
  int32_t result = -1;
  d->RequestFile(s, f, result);
  EXPECT_EQ(result, 110);
  EXPECT_EQ(f.Text(), "Winsock error - Failed to connect to server. Error number:10061");
  Arg unknown("no-such-host.invalid");
  Arg g("/f");
  d->RequestFile(unknown, g, result);
  EXPECT_EQ(result, 112);
  EXPECT_TRUE(log.events.empty());
}

}  // namespace
}  // namespace wex
