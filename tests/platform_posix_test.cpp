// The POSIX platform keeps the Winsock meanings the engine relies on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "server/engine/posix/posix_errors.h"
#include "server/engine/posix/posix_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fixture_server.h"

namespace wex {
namespace {

bool Online(uint32_t& flags) {
  flags = 0x02;
  return true;
}

// A listener on 127.0.0.1 and the peer end of the connection made to it.
class Peer {
 public:
  Peer() : listener_(ListenOnLoopback(false, port_)) {}
  ~Peer() {
    if (connection_ >= 0) close(connection_);
    close(listener_);
  }
  SocketAddress Address() const {
    SocketAddress address = LoopbackAddress();
    address.port = htons(port_);
    return address;
  }
  // The connect has completed through the backlog; take it.
  void Accept() { connection_ = accept(listener_, nullptr, nullptr); }
  void Send(size_t count) {
    std::string bytes(count, 'x');
    ASSERT_EQ(::send(connection_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(count));
  }
  void Close() {
    close(connection_);
    connection_ = -1;
  }
  void Reset() {
    linger hard{1, 0};
    setsockopt(connection_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
  }

 private:
  uint16_t port_ = 0;  // before the listener, which sets it
  int listener_;
  int connection_ = -1;
};

struct Recorder : NotificationTarget {
  void OnSocketNotification(SocketHandle socket, int32_t code, int32_t error) override {
    seen.push_back({socket, code});
    errors.push_back(error);
    if (onNotify) onNotify(socket, code);
  }
  std::vector<std::pair<SocketHandle, int32_t>> seen;
  std::vector<int32_t> errors;
  std::function<void(SocketHandle, int32_t)> onNotify;
};

class PosixPlatformTest : public ::testing::Test {
 protected:
  PosixPlatformTest() : platform(&Online) { EXPECT_EQ(platform.Startup(0x0101), 0); }

  SocketHandle Connected(Peer& peer) {
    SocketHandle socket = platform.CreateSocket(2, 1, 0);
    EXPECT_GT(socket, 0);
    EXPECT_EQ(platform.Connect(socket, peer.Address()), 0);
    peer.Accept();
    return socket;
  }
  SocketHandle Registered(Peer& peer) {
    SocketHandle socket = Connected(peer);
    EXPECT_EQ(platform.AsyncSelect(socket, &recorder, kNotifyMessage, kNotifyMask), 0);
    return socket;
  }
  // The codes told by one Pump that waits up to 10 s for something.
  std::vector<int32_t> PumpOnce() {
    recorder.seen.clear();
    platform.Pump(10000);
    std::vector<int32_t> codes;
    for (auto& entry : recorder.seen) codes.push_back(entry.second);
    return codes;
  }
  // How many are told at once, without waiting.
  size_t PumpNow() {
    recorder.seen.clear();
    platform.Pump(0);
    return recorder.seen.size();
  }

  PosixPlatform platform;
  Recorder recorder;
  uint8_t buffer[8192];
};

TEST(PosixErrors, SocketErrorsBecomeWinsockNumbers) {
  struct Case {
    int error;
    int32_t winsock;
  } cases[] = {{ECONNREFUSED, 10061},  {ETIMEDOUT, 10060},   {ECONNRESET, 10054},
               {EHOSTUNREACH, 10065},  {ENETUNREACH, 10051}, {EBADF, 10038},
               {ENOTSOCK, 10038},      {EWOULDBLOCK, 10035}, {EAGAIN, 10035},
               {EADDRNOTAVAIL, 10049}, {EINVAL, 10022},      {EADDRINUSE, 10048},
               {ENOBUFS, 10055},       {ENOTCONN, 10057},    {EPIPE, 10054},
               {EINPROGRESS, 10036},   {EMFILE, 10024},      {ENOENT, 10107}};
  for (const Case& c : cases) EXPECT_EQ(WinsockErrorFromErrno(c.error), c.winsock) << c.error;
}

TEST(PosixPlatformLibrary, SocketsNeedTheLibraryStartedAndAreItsOwn) {
  PosixPlatform platform([](uint32_t& flags) {
    flags = kInternetConnectionProxy;
    return false;
  });
  uint32_t flags = 0;
  EXPECT_FALSE(platform.ConnectedState(flags));
  EXPECT_EQ(flags, kInternetConnectionProxy);
  EXPECT_EQ(platform.CreateSocket(2, 1, 0), kInvalidSocket);
  EXPECT_EQ(platform.LastError(), 10093);
  EXPECT_EQ(platform.Cleanup(), kSocketError);

  // Two starts need two cleanups; the last one closes what is left open.
  ASSERT_EQ(platform.Startup(0x0101), 0);
  ASSERT_EQ(platform.Startup(0x0101), 0);
  EXPECT_EQ(platform.Cleanup(), 0);
  SocketHandle socket = platform.CreateSocket(2, 1, 0);
  EXPECT_GT(socket, 0);
  EXPECT_EQ(platform.Cleanup(), 0);
  EXPECT_EQ(platform.CreateSocket(2, 1, 0), kInvalidSocket);
  EXPECT_EQ(platform.LastError(), 10093);
  ASSERT_EQ(platform.Startup(0x0101), 0);
  // Neither a closed socket, nor descriptors it did not make, are its sockets.
  const int foreign = ::socket(AF_INET, SOCK_STREAM, 0);
  uint8_t buffer[10];
  for (SocketHandle other : {socket, foreign, 0}) {
    EXPECT_EQ(platform.Receive(other, buffer, 10, 0), kSocketError) << other;
    EXPECT_EQ(platform.LastError(), 10038) << other;
  }
  EXPECT_EQ(platform.CloseSocket(socket), kSocketError);
  EXPECT_EQ(platform.LastError(), 10038);
  close(foreign);
}

TEST_F(PosixPlatformTest, ReadIsToldAgainWhileDataRemainsAndCloseAfterIt) {
  Peer peer;
  SocketHandle socket = Registered(peer);
  EXPECT_EQ(platform.Receive(socket, buffer, sizeof buffer, 0), kSocketError);
  EXPECT_EQ(platform.LastError(), 10035);  // non-blocking once registered

  peer.Send(20000);
  EXPECT_EQ(PumpOnce(), std::vector<int32_t>{kNotifyRead});
  EXPECT_EQ(recorder.seen[0].first, socket);
  EXPECT_EQ(PumpNow(), 0u) << "told again without a receive";
  size_t total = 0;
  for (;;) {
    int32_t n = platform.Receive(socket, buffer, sizeof buffer, 0);
    ASSERT_GT(n, 0);
    total += static_cast<size_t>(n);
    if (total == 20000) break;
    EXPECT_EQ(PumpOnce(), std::vector<int32_t>{kNotifyRead});
  }
  EXPECT_EQ(PumpNow(), 0u) << "nothing left to read";

  // A close waits until the data before it is read.
  peer.Send(100);
  peer.Close();
  EXPECT_EQ(PumpOnce(), std::vector<int32_t>{kNotifyRead});
  EXPECT_EQ(platform.Receive(socket, buffer, sizeof buffer, 0), 100);
  EXPECT_EQ(PumpOnce(), std::vector<int32_t>{kNotifyClose});
  EXPECT_EQ(PumpNow(), 0u) << "close is told once";
  EXPECT_EQ(platform.Receive(socket, buffer, sizeof buffer, 0), 0);
  EXPECT_EQ(PumpNow(), 0u);
}

TEST_F(PosixPlatformTest, ConnectedSocketsAreWritableAndAResetIsToldAsClose) {
  Peer peer;
  SocketHandle socket = Registered(peer);
  EXPECT_TRUE(platform.WaitWritable(socket, 1000));
  EXPECT_EQ(platform.Send(socket, reinterpret_cast<const uint8_t*>("GET"), 3, 0), 3);
  peer.Reset();
  EXPECT_EQ(PumpOnce(), std::vector<int32_t>{kNotifyClose});
  EXPECT_EQ(platform.Receive(socket, buffer, sizeof buffer, 0), kSocketError);
  EXPECT_EQ(platform.LastError(), 10054);
}

// A notification posted again comes with the next Pump, not inside the post;
// a cancel drops it and whatever was pending.
TEST_F(PosixPlatformTest, APostedNotificationComesWithTheNextPumpUnlessCancelled) {
  Peer peer;
  SocketHandle socket = Registered(peer);
  ASSERT_TRUE(platform.PostNotification(&recorder, socket, kNotifyClose, 10053));
  EXPECT_TRUE(recorder.seen.empty());
  EXPECT_EQ(PumpNow(), 1u);
  EXPECT_EQ(recorder.seen[0], std::make_pair(socket, kNotifyClose));
  EXPECT_EQ(recorder.errors, std::vector<int32_t>{10053});
  EXPECT_EQ(PumpNow(), 0u) << "delivered once";

  ASSERT_TRUE(platform.PostNotification(&recorder, socket, kNotifyRead, 0));
  peer.Send(10);
  ASSERT_EQ(platform.AsyncSelect(socket, &recorder, 0, 0), 0);
  EXPECT_EQ(PumpNow(), 0u);
  EXPECT_EQ(platform.RegisteredCount(), 0u);
  EXPECT_FALSE(platform.PostNotification(&recorder, socket, kNotifyRead, 0))
      << "no registration to post for";
}

TEST_F(PosixPlatformTest, ATargetMayCloseEverySocketFromInsideADelivery) {
  Peer first, second;
  SocketHandle a = Registered(first), b = Registered(second);
  // The first delivery closes both and registers a new socket, which may get
  // a descriptor number just freed: what was pending for the old ones is dropped.
  SocketHandle fresh = 0;
  recorder.onNotify = [&](SocketHandle, int32_t) {
    platform.CloseSocket(a);
    platform.CloseSocket(b);
    if (fresh == 0) {
      fresh = platform.CreateSocket(2, 1, 0);
      platform.AsyncSelect(fresh, &recorder, kNotifyMessage, kNotifyMask);
    }
  };
  first.Send(10);
  second.Send(10);
  first.Close();
  second.Close();
  platform.Pump(10000);
  EXPECT_EQ(recorder.seen.size(), 1u);
  platform.CloseSocket(fresh);
}

class PosixFilesTest : public PosixPlatformTest {
 protected:
  PosixFilesTest() {
    char pattern[] = "/tmp/wex-files-XXXXXX";
    folder = mkdtemp(pattern);
  }
  ~PosixFilesTest() override { std::filesystem::remove_all(folder); }
  ustring Path(const char* name) { return FromUtf8(folder + "/" + name); }
  std::string Read(const char* name) {
    std::ifstream in(folder + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string folder;
};

// A new file is only ever a new one; a file its owner may not write is
// read-only (even for root); a path holding a NUL would name another file.
TEST_F(PosixFilesTest, WritesReplacesAndDeletes) {
  uint32_t attributes = 0;
  auto attributesOf = [&](const ustring& path) {
    attributes = 0;
    return platform.FileAttributes(path, attributes);
  };
  ASSERT_TRUE(attributesOf(FromUtf8(folder)));
  EXPECT_EQ(attributes & kFileAttributeDirectory, kFileAttributeDirectory);
  ustring cut = Path("a.bin") + u'\0' + u"x";
  for (const ustring& refused : {cut, ustring(), Path("missing/a.bin")}) {
    EXPECT_EQ(platform.CreateOutputFile(refused), nullptr);
  }
  EXPECT_FALSE(attributesOf(Path("a.bin")));

  bool taken = true;
  auto file = platform.CreateNewOutputFile(Path("a.bin"), taken);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(taken);
  const uint8_t bytes[] = {0, 1, 2, 0xFF};
  EXPECT_TRUE(file->Write(bytes, sizeof bytes));
  EXPECT_TRUE(file->Close());
  EXPECT_FALSE(file->Close());
  EXPECT_EQ(platform.CreateNewOutputFile(Path("a.bin"), taken), nullptr);
  EXPECT_TRUE(taken);
  EXPECT_EQ(platform.CreateNewOutputFile(Path("missing/a.bin"), taken), nullptr);
  EXPECT_FALSE(taken);
  EXPECT_EQ(Read("a.bin"), std::string("\0\1\2\xFF", 4));
  ASSERT_TRUE(attributesOf(Path("a.bin")));
  EXPECT_EQ(attributes & (kFileAttributeDirectory | kFileAttributeReadOnly), 0u);
  const std::string native = folder + "/a.bin";
  for (mode_t mode : {0444, 0466}) {  // the second: others may write, the owner not
    ASSERT_EQ(chmod(native.c_str(), mode), 0);
    ASSERT_TRUE(attributesOf(Path("a.bin")));
    EXPECT_EQ(attributes & kFileAttributeReadOnly, kFileAttributeReadOnly) << mode;
  }

  EXPECT_TRUE(platform.ReplaceFile(Path("a.bin"), Path("b.bin")));
  EXPECT_EQ(Read("b.bin"), std::string("\0\1\2\xFF", 4));
  EXPECT_FALSE(platform.RemoveFile(Path("a.bin")));
  EXPECT_TRUE(platform.RemoveFile(Path("b.bin")));
  EXPECT_FALSE(attributesOf(Path("b.bin")));
}

}  // namespace
}  // namespace wex
