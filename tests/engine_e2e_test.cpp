// The engine end to end through the POSIX platform against a scripted local
// server: real sockets, real notifications, real files.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/codepage.h"
#include "server/engine/http_uc.h"
#include "server/engine/posix/posix_platform.h"
#include "tests/support/engine_over_platform.h"
#include "tests/support/scripted_server.h"

namespace wex {
namespace {

using Step = ScriptedServer::Step;

bool Online(uint32_t& flags) {
  flags = 0x02;
  return true;
}

// Forwards to the POSIX platform and counts the bytes the engine received,
// so that a test knows when a segment has been taken in before it cues the
// next one (the body may not grow while a head is still being collected).
class CountingPlatform final : public Platform {
 public:
  explicit CountingPlatform(std::shared_ptr<PosixPlatform> real) : real_(std::move(real)) {}
  size_t received = 0;

  int32_t Startup(uint16_t version) override { return real_->Startup(version); }
  int32_t Cleanup() override { return real_->Cleanup(); }
  bool ConnectedState(uint32_t& flags) override { return real_->ConnectedState(flags); }
  uint64_t MonotonicMs() override { return real_->MonotonicMs(); }
  SocketHandle CreateSocket(int32_t family, int32_t type, int32_t protocol) override {
    return real_->CreateSocket(family, type, protocol);
  }
  bool ResolveName(const std::string& name, int32_t family,
                   std::vector<SocketAddress>& addresses) override {
    return real_->ResolveName(name, family, addresses);
  }
  int32_t Connect(SocketHandle socket, const SocketAddress& address) override {
    return real_->Connect(socket, address);
  }
  int32_t AsyncSelect(SocketHandle socket, NotificationTarget* target, uint32_t message,
                      int32_t mask) override {
    return real_->AsyncSelect(socket, target, message, mask);
  }
  int32_t Receive(SocketHandle socket, uint8_t* buffer, int32_t length, int32_t flags) override {
    int32_t n = real_->Receive(socket, buffer, length, flags);
    if (n > 0) received += static_cast<size_t>(n);
    return n;
  }
  int32_t Send(SocketHandle socket, const uint8_t* bytes, int32_t count, int32_t flags) override {
    return real_->Send(socket, bytes, count, flags);
  }
  bool WaitWritable(SocketHandle socket, int32_t timeoutMs) override {
    return real_->WaitWritable(socket, timeoutMs);
  }
  int32_t CloseSocket(SocketHandle socket) override { return real_->CloseSocket(socket); }
  int32_t SecureHandshake(SocketHandle socket, const std::string& hostName,
                          int32_t timeoutMs) override {
    return real_->SecureHandshake(socket, hostName, timeoutMs);
  }
  int32_t LastError() override { return real_->LastError(); }
  bool PostNotification(NotificationTarget* target, SocketHandle socket, int32_t code,
                        int32_t error) override {
    return real_->PostNotification(target, socket, code, error);
  }
  bool FileAttributes(const ustring& path, uint32_t& attributes) override {
    return real_->FileAttributes(path, attributes);
  }
  bool RemoveFile(const ustring& path) override { return real_->RemoveFile(path); }
  std::unique_ptr<OutputFile> CreateOutputFile(const ustring& path) override {
    return real_->CreateOutputFile(path);
  }
  bool ReplaceFile(const ustring& from, const ustring& to) override {
    return real_->ReplaceFile(from, to);
  }

 private:
  std::shared_ptr<PosixPlatform> real_;
};

std::string Pattern(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class EngineEndToEnd : public EngineOverPlatform {
 protected:
  EngineEndToEnd() : EngineEndToEnd(std::make_shared<PosixPlatform>(&Online)) {}
  explicit EngineEndToEnd(std::shared_ptr<PosixPlatform> real)
      : EngineEndToEnd(real, std::make_shared<CountingPlatform>(real)) {}
  EngineEndToEnd(std::shared_ptr<PosixPlatform> real, std::shared_ptr<CountingPlatform> counter)
      : EngineOverPlatform(counter), posix(std::move(real)), counting(std::move(counter)) {}

  // A request that counts its received bytes from 0.
  int32_t Request(uint16_t port, const std::string& server, const std::string& path,
                  std::string* message = nullptr) {
    counting->received = 0;
    return EngineOverPlatform::Request(port, server, path, message);
  }
  bool Pump(const std::function<bool()>& done) {
    return PumpUntil([this](int ms) { posix->Pump(ms); }, done);
  }
  bool PumpUntilReceived(size_t count) {
    return Pump([&] { return counting->received >= count; });
  }
  bool PumpUntilFinished() {
    return Pump([&] { return events.finished; });
  }

  std::shared_ptr<PosixPlatform> posix;
  std::shared_ptr<CountingPlatform> counting;
};

TEST_F(EngineEndToEnd, BodyOverThreeBlocksThenClose) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nX-Pad: ";
  head += std::string(150 - head.size() - 4, 'p') + "\r\n\r\n";
  ASSERT_EQ(head.size(), 150u);
  std::string body = Pattern(8192 - 150 + 8192 + 400);
  std::string all = head + body;
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send(all.substr(0, 8192)), ScriptedServer::WaitCue(),
                         ScriptedServer::Send(all.substr(8192, 8192)), ScriptedServer::WaitCue(),
                         ScriptedServer::Send(all.substr(16384)), ScriptedServer::Close()});

  ASSERT_EQ(Request(server.Port(), "http://127.0.0.1", "file.bin"), 0);
  EXPECT_EQ(events.events, std::vector<std::string>{"connect 127.0.0.1"});
  ASSERT_TRUE(PumpUntilReceived(8192));
  EXPECT_EQ(engine->CurSize1(), 8192 - 150);
  server.Cue();
  ASSERT_TRUE(PumpUntilReceived(16384));
  server.Cue();
  ASSERT_TRUE(PumpUntilFinished());

  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish 200 OK"}));
  std::vector<size_t> sizes;
  for (const Chunk& chunk : *engine->CurFileBytes1()) sizes.push_back(chunk.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{8192 - 150, 8192, 400}));
  EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(body.size()));
  EXPECT_TRUE(Body() == body);
  EXPECT_EQ(posix->RegisteredCount(), 0u);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /file.bin HTTP/1.0\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
            "http://www.quarnet.example/\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST_F(EngineEndToEnd, HeadSplitAtEveryOffset) {
  const std::string response =
      "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nX-Long-Header: "
      "0123456789\r\n\r\nhello\nworld";
  for (size_t split = 1; split < response.size(); ++split) {
    SCOPED_TRACE("split at " + std::to_string(split));
    ScriptedServer server({ScriptedServer::CaptureRequest(),
                           ScriptedServer::Send(response.substr(0, split)),
                           ScriptedServer::WaitCue(), ScriptedServer::Send(response.substr(split)),
                           ScriptedServer::Close()});
    ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/t.txt"), 0);
    ASSERT_TRUE(PumpUntilReceived(split));
    server.Cue();
    ASSERT_TRUE(PumpUntilFinished());
    EXPECT_EQ(events.events.back(), "finish 200 OK");
    EXPECT_EQ(Body(), "hello\nworld");
    EXPECT_EQ(ToUtf8(engine->CurFileString1()), "hello\r\nworld");
  }
}

TEST_F(EngineEndToEnd, StatusLinesReachOnFinish1) {
  struct Case {
    std::string response;
    std::string finish;
    std::string body;
  } cases[] = {
      {"HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>missing</html>",
       "finish 404 Not Found", "<html>missing</html>"},
      {"HTTP/1.0 301 Moved Permanently\r\nLocation: http://127.0.0.1/moved.html\r\n\r\nmoved",
       "finish 301 Moved PermanentlyLocation: http://127.0.0.1/moved.html", "moved"},
      // No head at all: everything is body and there is no status.
      {"just bytes, no status line and no blank line, well over fifty bytes long", "finish 0 ",
       "just bytes, no status line and no blank line, well over fifty bytes long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.finish);
    ScriptedServer server({ScriptedServer::CaptureRequest(), ScriptedServer::Send(c.response),
                           ScriptedServer::Close()});
    ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/x"), 0);
    ASSERT_TRUE(PumpUntilFinished());
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"connect 127.0.0.1", "disconnect", c.finish}));
    EXPECT_EQ(Body(), c.body);
  }
}

TEST_F(EngineEndToEnd, ResetMidBodyFinishesWith10054) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n";
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send(head + Pattern(1000)), ScriptedServer::WaitCue(),
                         ScriptedServer::Reset()});
  ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/big"), 0);
  ASSERT_TRUE(PumpUntilReceived(head.size() + 1000));
  server.Cue();
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish -1 10054"}));
  EXPECT_EQ(engine->CurSize1(), 1000);
}

// A server that dies mid-body leaves an ordinary close; the length its head
// promised tells the truncation.
TEST_F(EngineEndToEnd, AnOrdinaryCloseShortOfTheLengthFinishesWith10054) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n";
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send(head + Pattern(20000)), ScriptedServer::Close()});
  ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/big"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"connect 127.0.0.1", "disconnect", "finish -1 10054"}));
  EXPECT_EQ(engine->CurSize1(), 20000);
}

TEST_F(EngineEndToEnd, SixteenMebibytesSavedByteForByte) {
  std::string body = Pattern(16 << 20);
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\n" + body),
                         ScriptedServer::Close()});
  ASSERT_EQ(Request(server.Port(), "127.0.0.1", "/16m.bin"), 0);
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(events.events.back(), "finish 200 OK");
  ASSERT_EQ(engine->CurSize1(), static_cast<int32_t>(body.size()));

  char pattern[] = "/tmp/wex-e2e-XXXXXX";
  std::string folder = mkdtemp(pattern);
  std::string path = folder + "/16m.bin";
  EXPECT_EQ(engine->WriteBinaryFile1(FromUtf8(path), true), 0);
  std::ifstream in(path, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(saved.size(), body.size());
  EXPECT_TRUE(saved == body);
  std::remove(path.c_str());
  rmdir(folder.c_str());
}

TEST_F(EngineEndToEnd, RefusedPortIs110WithTheErrorNumber) {
  uint16_t closedPort;
  {
    ScriptedServer gone({});
    closedPort = gone.Port();
  }
  std::string text;
  EXPECT_EQ(Request(closedPort, "127.0.0.1", "/x", &text), 110);
  EXPECT_EQ(text, "Winsock error - Failed to connect to server. Error number:10061");
  EXPECT_TRUE(events.events.empty());
}

// A server only on ::1: reached through the bracketed literal (kept in the
// Host line) and through text whose only addresses are IPv6.
TEST_F(EngineEndToEnd, AServerOnIpv6Loopback) {
  for (const char* name : {"[::1]", "::1"}) {
    ScriptedServer server(
        {ScriptedServer::CaptureRequest(), ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nsix"),
         ScriptedServer::Close()},
        ScriptedServer::Loopback::kIpv6);
    ASSERT_EQ(Request(server.Port(), name, "/six"), 0) << name;
    ASSERT_TRUE(PumpUntilFinished());
    EXPECT_EQ(events.events.back(), "finish 200 OK");
    EXPECT_EQ(Body(), "six");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(server.Requests()[0].find("\r\nHost: " + std::string(name) + "\r\n"),
              std::string::npos);
  }
}

TEST_F(EngineEndToEnd, UnknownHostIs112) {
  std::string message;
  EXPECT_EQ(Request(80, "no-such-host.invalid", "/x", &message), 112);
  EXPECT_EQ(message, "Failed to resolve server IP address.");
  EXPECT_TRUE(events.events.empty());
}

// A handler starts the next request from OnFinish1 (the new socket may reuse
// the old descriptor number), and the second finish drops the last owner of
// the engine from inside the platform's delivery.
TEST(EngineEndToEndReentry, NextRequestFromOnFinish1ThenReleaseInsideTheDelivery) {
  ScriptedServer server({ScriptedServer::CaptureRequest(),
                         ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nbody"),
                         ScriptedServer::Close()});
  auto posix = std::make_shared<PosixPlatform>(&Online);
  struct Chain : httpUCEvents {
    void OnConnect1(const ustring&) override {}
    void OnDisconnect1() override {}
    void OnFinish1(int32_t code, const ustring&) override {
      codes.push_back(code);
      if (codes.size() == 1) {
        ustring sServer = u"127.0.0.1", sFile = u"/second";
        next = engine->RequestFile1(sServer, sFile);
      } else {
        engine->Unsubscribe(this);
        engine.reset();
      }
    }
    std::shared_ptr<httpUC> engine;
    std::vector<int32_t> codes;
    int32_t next = -1;
  } chain;
  chain.engine = httpUC::Create(posix);
  chain.engine->Subscribe(&chain);
  ustring error, sServer = u"127.0.0.1", sFile = u"/first";
  ASSERT_EQ(chain.engine->StartUp1(error), 0);
  chain.engine->Port(server.Port());
  ASSERT_EQ(chain.engine->RequestFile1(sServer, sFile), 0);
  ASSERT_TRUE(PumpUntil([&](int ms) { posix->Pump(ms); }, [&] { return chain.engine == nullptr; }));
  EXPECT_EQ(chain.next, 0);
  EXPECT_EQ(chain.codes, (std::vector<int32_t>{200, 200}));
  EXPECT_EQ(posix->RegisteredCount(), 0u);
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 24), "GET /second HTTP/1.0\r\nUs");
}

}  // namespace
}  // namespace wex
