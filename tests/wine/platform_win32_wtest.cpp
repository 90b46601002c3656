// The Win32 platform delivers Winsock's notifications through its
// message-only window and keeps the numbers the engine relies on; the engine
// runs end to end over it; the server's message loop hands them on first.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/downloader/win32/message_loop.h"
#include "server/engine/http_uc.h"
#include "server/engine/win32/win32_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/support/engine_test_access.h"
#include "tests/wine/support/loopback.h"
#include "tests/wine/support/suite.h"

namespace wex {
namespace {

struct Recorder : NotificationTarget {
  void OnSocketNotification(SocketHandle socket, int32_t code, int32_t error) override {
    seen.push_back({socket, code, error});
  }
  size_t Count(int32_t code) const {
    size_t n = 0;
    for (const Seen& entry : seen) n += entry.code == code;
    return n;
  }
  struct Seen {
    SocketHandle socket;
    int32_t code, error;
  };
  std::vector<Seen> seen;
};

class Win32PlatformTest : public ::testing::Test {
 protected:
  Win32PlatformTest() { EXPECT_EQ(platform.Startup(0x0101), 0); }
  ~Win32PlatformTest() override { platform.Cleanup(); }
  // A socket connected to peer whose notifications go to the recorder.
  SocketHandle Registered(Peer& peer) {
    SocketHandle socket = platform.CreateSocket(2, 1, 0);
    EXPECT_GT(socket, 0);
    SocketAddress address;
    address.port = peer.Address().sin_port;
    std::memcpy(address.address, &peer.Address().sin_addr, 4);
    EXPECT_EQ(platform.Connect(socket, address), 0);
    peer.Accept();
    EXPECT_EQ(platform.AsyncSelect(socket, &recorder, kNotifyMessage, kNotifyMask), 0);
    return socket;
  }
  Win32Platform platform;
  Recorder recorder;
  uint8_t buffer[8192];
};

// Names resolve through the platform's hidden window; a refused connect is
// the scripts' case (110 with 10061).
TEST_F(Win32PlatformTest, NamesThroughAHiddenWindow) {
  ASSERT_NE(platform.Window(), nullptr);
  EXPECT_FALSE(IsWindowVisible(platform.Window()));
  struct Case {
    const char* name;
    int32_t family;
    bool found;
    uint8_t last;  // the address's last byte: 127.0.0.1 and ::1 both end in 1
  } cases[] = {
      {"127.0.0.1", kFamilyInet, true, 1},
      {"::1", kFamilyInet6, true, 1},
      {"::1", kFamilyInet, false, 0},
      {"no-such-host.invalid", kFamilyInet, false, 0},
      {"no-such-host.invalid", kFamilyInet6, false, 0},
  };
  for (const Case& c : cases) {
    std::vector<SocketAddress> addresses;
    ASSERT_EQ(platform.ResolveName(c.name, c.family, addresses), c.found) << c.name;
    if (!c.found) continue;
    EXPECT_EQ(addresses.front().family, c.family) << c.name;
    EXPECT_EQ(addresses.front().address[c.family == kFamilyInet ? 3 : 15], c.last) << c.name;
  }
}

TEST_F(Win32PlatformTest, ReadIsToldAgainAfterAReceiveAndCloseOnce) {
  Peer peer;
  SocketHandle socket = Registered(peer);
  ASSERT_TRUE(peer.Send(std::string(20000, 'x')));
  ASSERT_TRUE(PumpMessagesUntil([&] { return recorder.Count(kNotifyRead) == 1; }));
  EXPECT_EQ(recorder.seen[0].socket, socket);
  size_t total = 0;
  while (total < 20000) {
    size_t told = recorder.Count(kNotifyRead);
    int32_t n = platform.Receive(socket, buffer, sizeof buffer, 0);
    ASSERT_GT(n, 0);
    total += static_cast<size_t>(n);
    if (total < 20000) {
      ASSERT_TRUE(PumpMessagesUntil([&] { return recorder.Count(kNotifyRead) > told; }));
    }
  }
  peer.Close();
  ASSERT_TRUE(PumpMessagesUntil([&] { return recorder.Count(kNotifyClose) == 1; }));
  EXPECT_EQ(platform.Receive(socket, buffer, sizeof buffer, 0), 0);
  PumpQueued();
  EXPECT_EQ(recorder.Count(kNotifyClose), 1u);
  platform.CloseSocket(socket);
}

TEST_F(Win32PlatformTest, AMessagePostedBeforeTheCancelIsDropped) {
  Peer peer;
  SocketHandle socket = Registered(peer);
  ASSERT_TRUE(peer.Send(std::string(100, 'x')));
  // Wait until Winsock has posted the read notification, without handling it.
  MSG queued;
  ASSERT_TRUE(PumpMessagesUntil([&] {
    return PeekMessageW(&queued, platform.Window(), kNotifyMessage, kNotifyMessage, PM_NOREMOVE) !=
           FALSE;
  }));
  ASSERT_EQ(platform.AsyncSelect(socket, &recorder, 0, 0), 0);
  // Taken out of the queue, so that a later socket with the same handle
  // value cannot receive it either.
  EXPECT_FALSE(
      PeekMessageW(&queued, platform.Window(), kNotifyMessage, kNotifyMessage, PM_NOREMOVE));
  PumpQueued();
  EXPECT_TRUE(recorder.seen.empty());
  platform.CloseSocket(socket);
}

// A notification posted again comes from the message loop, unless its socket closed first.
TEST_F(Win32PlatformTest, APostedNotificationComesFromTheMessageLoopUnlessClosed) {
  Peer peer;
  SocketHandle socket = Registered(peer);
  EXPECT_GE(kNotifyMessage, static_cast<uint32_t>(WM_APP));
  ASSERT_TRUE(platform.PostNotification(&recorder, socket, kNotifyClose, 10053));
  EXPECT_TRUE(recorder.seen.empty());
  ASSERT_TRUE(PumpMessagesUntil([&] { return recorder.Count(kNotifyClose) == 1; }));
  EXPECT_EQ(recorder.seen.back().error, 10053);

  ASSERT_TRUE(platform.PostNotification(&recorder, socket, kNotifyClose, 0));
  platform.CloseSocket(socket);
  PumpQueued();
  EXPECT_EQ(recorder.Count(kNotifyClose), 1u);
}

TEST_F(Win32PlatformTest, FilesAreWrittenReplacedAndDeleted) {
  std::wstring folder = ScratchDir();
  ustring a = ustring(folder.begin(), folder.end()) + u"\\platform-a.bin";
  // A name outside every ANSI code page: each operation takes it as given.
  ustring b = ustring(folder.begin(), folder.end()) + u"\\platform-\u65e5\u0e01.bin";
  uint32_t attributes = 0;
  ASSERT_TRUE(platform.FileAttributes(ustring(folder.begin(), folder.end()), attributes));
  EXPECT_EQ(attributes & kFileAttributeDirectory, kFileAttributeDirectory);
  auto file = platform.CreateOutputFile(a);
  ASSERT_NE(file, nullptr);
  const uint8_t bytes[] = {0, 13, 10, 0xFF};
  EXPECT_TRUE(file->Write(bytes, sizeof bytes));
  EXPECT_TRUE(file->Close());
  ASSERT_TRUE(platform.FileAttributes(a, attributes));
  EXPECT_EQ(attributes & kFileAttributeDirectory, 0u);
  EXPECT_TRUE(platform.ReplaceFile(a, b));
  EXPECT_FALSE(platform.FileAttributes(a, attributes));
  EXPECT_TRUE(platform.RemoveFile(b));
  EXPECT_FALSE(platform.FileAttributes(b, attributes));
}

// The engine end to end over the platform, against the runner's HTTP and
// HTTPS fixtures (the prefix trusts the test CA).
std::string Cycling(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

const std::vector<std::string> kFinished = {"connect localhost", "disconnect", "finish 200 OK"};

class EngineUnderWine : public EngineOverPlatform {
 protected:
  EngineUnderWine() : EngineOverPlatform(std::make_shared<Win32Platform>()) {}
  void SetUp() override {
    if (PortOf(L"WEX_HTTP_PORT") == 0) GTEST_SKIP() << "run through tests/wine/run";
  }

  // Requests a path and handles messages until it finished.
  void Download(const std::string& path, const std::string& server = "127.0.0.1",
                const wchar_t* port = L"WEX_HTTP_PORT", DWORD timeoutMs = 30000) {
    ASSERT_EQ(Request(PortOf(port), server, path), 0) << path;
    ASSERT_TRUE(PumpMessagesUntil([&] { return events.finished; }, timeoutMs)) << path;
  }
  void DownloadSecurely(const std::string& path, const wchar_t* port = L"WEX_HTTPS_PORT",
                        DWORD timeoutMs = 30000) {
    Download(path, "https://localhost", port, timeoutMs);
  }
};

// Winsock's IPv6 loopback, through the bracketed literal (kept in the Host
// line) and text whose only address is IPv6.
TEST_F(EngineUnderWine, RequestsReachTheServerOverIpv6) {
  for (const char* server : {"[::1]", "::1"}) {
    Download("/echo", server);
    EXPECT_EQ(events.events.back(), "finish 200 OK") << server;
    EXPECT_NE(Body().find(std::string("\r\nHost: ") + server + "\r\n"), std::string::npos)
        << server;
  }
}

// Over HTTPS, however the records arrive, and a handshake in 4-byte pieces.
TEST_F(EngineUnderWine, SecureBodiesArriveByteForByteHoweverTheRecordsArrive) {
  for (const char* mode : {"", "/split", "/records", "/noclose"}) {
    for (size_t size : {0, 1, 8191, 8192, 8193, 40000}) {
      const std::string path = std::string(mode) + "/bytes/" + std::to_string(size);
      DownloadSecurely(path);
      EXPECT_EQ(events.events, kFinished) << path;
      EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(size)) << path;
      EXPECT_TRUE(Body() == Cycling(size)) << path;
    }
  }
  DownloadSecurely("/bytes/1000", L"WEX_HTTPS_TRICKLE_PORT");
  EXPECT_EQ(events.events, kFinished);
  EXPECT_TRUE(Body() == Cycling(1000));
  const size_t big = 64u << 20;
  DownloadSecurely("/bytes/" + std::to_string(big), L"WEX_HTTPS_PORT", 120000);
  EXPECT_EQ(events.events, kFinished);
  ASSERT_EQ(engine->CurSize1(), static_cast<int32_t>(big));
  EXPECT_TRUE(Body() == Cycling(big));
}

// Without a Content-Length only the secure channel can tell that the last
// record never arrived whole: the transfer fails, the bytes before it kept.
TEST_F(EngineUnderWine, ASecureStreamCutInsideARecordFails) {
  DownloadSecurely("/cut/bytes/300000");
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect localhost", "disconnect", "finish -1 -2146893032"}));
  std::string body = Body();
  EXPECT_LT(body.size(), 300000u);
  EXPECT_TRUE(body == Cycling(body.size()));
}

// Each refusal is 116 with its reason, without an event; the socket is gone
// (a later request on the same engine works). Expired and wrong names are
// wexlo_https.vbs's.
TEST_F(EngineUnderWine, RefusedSecureConnectionsGive116WithTheirNumber) {
  const struct {
    const wchar_t* port;
    const char* number;
  } cases[] = {
      {L"WEX_HTTPS_UNTRUSTED_PORT", "-2146762487"},  // CERT_E_UNTRUSTEDROOT
      {L"WEX_HTTPS_PLAIN_PORT", "10054"},            // not TLS, then closed
      {L"WEX_HTTPS_PLAIN_HOLDING_PORT", "10060"},    // not TLS, then silent
      {L"WEX_HTTPS_SILENT_PORT", "10060"},
  };
  httpUCTestAccess::SetHandshakeTimeout(*engine, 500);
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(Request(PortOf(c.port), "https://localhost", "/bytes/10", &message), 116) << message;
    EXPECT_EQ(message, std::string("Secure connection failed. Error number:") + c.number);
    EXPECT_TRUE(events.events.empty()) << message;
  }
  DownloadSecurely("/bytes/3");
  EXPECT_EQ(events.events, kFinished);
}

// The server's message loop takes socket notifications before the messages
// queued with them, in their own order, and lets the others in after a run.
constexpr UINT kOther = WM_USER + 5;
std::vector<std::string> gSeen;

LRESULT CALLBACK Record(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == kNotifyMessage) gSeen.push_back("n" + std::to_string(w));
  if (message == kOther) gSeen.push_back("other");
  return DefWindowProcW(window, message, w, l);
}

TEST(MessageLoop, NotificationsGoFirstInRuns) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = Record;
  windowClass.lpszClassName = L"WexMessageLoopTest";
  ASSERT_NE(RegisterClassW(&windowClass), 0);
  HWND window = CreateWindowW(L"WexMessageLoopTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(window, nullptr);

  // Two notifications, another message, a run's worth and four more
  // notifications, quit (which a loop that peeks for notifications alone
  // still sees).
  const int last = kNotificationsInARow + 4;
  for (int i = 1; i <= last; ++i) {
    if (i == 3) PostMessageW(window, kOther, 0, 0);
    PostMessageW(window, kNotifyMessage, i, 0);
  }
  PostQuitMessage(0);
  RunMessageLoop();

  std::vector<std::string> expected;
  for (int i = 1; i <= kNotificationsInARow; ++i) expected.push_back("n" + std::to_string(i));
  expected.push_back("other");
  for (int i = kNotificationsInARow + 1; i <= last; ++i)
    expected.push_back("n" + std::to_string(i));
  EXPECT_EQ(gSeen, expected);
  DestroyWindow(window);
}

}  // namespace
}  // namespace wex
