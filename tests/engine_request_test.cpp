// The request: scheme, port, the bytes on the wire and handlers acting meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/code_pages.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineRequest = EngineTest;

const std::string kAgent = "Wexlo.EXE v. 1.04 from Quarnet - http://www.quarnet.example/";

// Only a lower-case "https://", after any one other prefix, makes a request secure.
TEST_F(EngineRequest, SchemeAndPrefixesDecideTheChannelAndTheHost) {
  struct Case {
    const char* server;
    bool secure;
    const char* host;  // Host line, OnConnect1 and the name looked up
  } cases[] = {
      {"fileserver", false, "fileserver"},
      {"http://fileserver", false, "fileserver"},
      {"ftp://fileserver", false, "fileserver"},
      {"http://ftp://fileserver", false, "fileserver"},
      {"ftp://http://fileserver", false, "http://fileserver"},
      {"HTTP://fileserver", false, "HTTP://fileserver"},
      {" http://fileserver", false, " http://fileserver"},
      {"fileserver:81", false, "fileserver:81"},
      {"https://fileserver", true, "fileserver"},
      {"http://https://fileserver", true, "fileserver"},
      {"ftp://https://fileserver", true, "fileserver"},
      {"https://http://fileserver", true, "http://fileserver"},
      {"https://https://fileserver", true, "https://fileserver"},
      {"HTTPS://fileserver", false, "HTTPS://fileserver"},
      {" https://fileserver", false, " https://fileserver"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    const size_t handshakes = fake->handshakes.size();
    ASSERT_EQ(Request(c.server, "/feed.xml"), 0);
    EXPECT_EQ(fake->handshakes.size(), handshakes + (c.secure ? 1 : 0));
    if (c.secure) {
      EXPECT_EQ(fake->handshakes.back().hostName, c.host);
    }
    EXPECT_EQ(fake->resolvedNames.back(), c.host);
    EXPECT_EQ(log.events.back(), std::string("connect ") + c.host);
    EXPECT_EQ(RequestBytes(), "GET /feed.xml HTTP/1.0\r\nUser-Agent: " + kAgent +
                                  "\r\nHost: " + c.host + "\r\n\r\n");
  }
  for (const auto& [path, target] : std::map<std::string, std::string>{
           {"a.txt", "/a.txt"}, {"my file.txt", "/my file.txt"}, {"//x", "//x"}}) {
    ASSERT_EQ(Request("fileserver", path), 0);
    EXPECT_EQ(RequestBytes().substr(0, target.size() + 15), "GET " + target + " HTTP/1.0\r\n");
    EXPECT_EQ(file, target);
  }
}

// Once written, even with a default's value, the port serves both schemes.
TEST_F(EngineRequest, ThePort) {
  auto port = [&] {
    const SocketAddress& address = fake->connectAddresses.back();
    EXPECT_TRUE(SameHost(address, LoopbackAddress()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address.port);
    return bytes[0] << 8 | bytes[1];
  };
  ASSERT_EQ(Request("https://fileserver"), 0);
  EXPECT_EQ(port(), 443);
  ASSERT_EQ(Request("fileserver"), 0);
  EXPECT_EQ(port(), 80);
  const std::pair<int32_t, int> cases[] = {
      {80, 80}, {8080, 8080}, {0, 0}, {65536 + 8443, 8443}, {-1, 65535}};
  for (const auto& [written, expected] : cases) {
    engine->Port(written);
    for (const char* server : {"https://fileserver", "fileserver"}) {
      ASSERT_EQ(Request(server), 0);
      EXPECT_EQ(port(), expected) << written << server;
    }
  }
}

// Control characters would inject header lines; short sends must be completed.
TEST_F(EngineRequest, TheBytesOnTheWire) {
  struct Case {
    const char* agent;  // nullptr: the default
    const char* path;
    std::function<void(FakePlatform&)> script;
    std::string bytes;
    int sends, waits;
  } cases[] = {
      {"Fetcher 2", "docs/news.xml", nullptr,
       "GET /docs/news.xml HTTP/1.0\r\nUser-Agent: Fetcher 2\r\nHost: fileserver\r\n\r\n", 1, 0},
      {"", "/", nullptr, "GET / HTTP/1.0\r\nUser-Agent: \r\nHost: fileserver\r\n\r\n", 1, 0},
      {"Agent\r\nX-A: 1", "/a\r\nX-Injected: 1\t\x7f%0D b", nullptr,
       "GET /a%0D%0AX-Injected: 1%09%7F%0D b HTTP/1.0\r\nUser-Agent: Agent%0D%0AX-A: 1\r\n"
       "Host: fileserver\r\n\r\n",
       1, 0},
      {nullptr, "/docs/news.xml",
       [](FakePlatform& f) {
         f.SendAccepts(10);
         f.SendAccepts(1);
       },
       "GET /docs/news.xml HTTP/1.0\r\nUser-Agent: " + kAgent + "\r\nHost: fileserver\r\n\r\n", 3,
       0},
      {"x", "/a",
       [](FakePlatform& f) {
         f.SendAccepts(5);
         f.SendFails(10035);
         f.SendFails(10035);
       },
       "GET /a HTTP/1.0\r\nUser-Agent: x\r\nHost: fileserver\r\n\r\n", 4, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    Fresh(c.script);
    if (c.agent != nullptr) engine->UserAgent1(FromUtf8(c.agent));
    engine->Port(8080);  // never in the Host line
    ASSERT_EQ(Request("http://fileserver", c.path), 0);
    EXPECT_EQ(RequestBytes(), c.bytes);
    EXPECT_EQ(fake->CallCount("Send("), c.sends);
    EXPECT_EQ(fake->CallCount("WaitWritable("), c.waits);
    for (int32_t timeout : fake->waitTimeouts) {
      EXPECT_GT(timeout, 0);
      EXPECT_LE(timeout, 30000);
    }
  }
  ustring server = u"fileserver", path = ustring(u"/a") + char16_t(0) + u"b";
  ASSERT_EQ(engine->RequestFile1(server, path), 0);
  EXPECT_EQ(RequestBytes().substr(0, 18), "GET /a%00b HTTP/1.");
}

// What the code page lacks goes out as percent-encoded UTF-8.
class EngineRequestCodePages : public EngineTest, public UnderEachCodePage {};

TEST_P(EngineRequestCodePages, PathAndHostGoOutInTheCodePage) {
  // One entry per code page, in the order of kAnsiCodePages; none or nullptr:
  // the path or the server goes out as given; an empty host is a name outside
  // the code page, refused with 112.
  using PerCodePage = std::vector<const char*>;
  const size_t page = std::find(std::begin(kAnsiCodePages), std::end(kAnsiCodePages), GetParam()) -
                      std::begin(kAnsiCodePages);
  auto check = [&](const char* server, const char* path, PerCodePage targets, PerCodePage hosts) {
    SCOPED_TRACE(path);
    const std::string target = page < targets.size() && targets[page] ? targets[page] : path;
    const std::string host = page < hosts.size() && hosts[page] ? hosts[page] : server;
    if (host.empty()) {
      EXPECT_EQ(Request(server, path), 112);
      return;
    }
    ASSERT_EQ(Request(server, path), 0);
    const std::string bytes = RequestBytes();
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), "GET " + target + " HTTP/1.0");
    EXPECT_NE(bytes.find("\r\nHost: " + host + "\r\n"), std::string::npos);
    EXPECT_EQ(log.events.back(), std::string("connect ") + server);
  };
  check("fileserver", "/caf\u00e9\u20ac",
        {"/caf\xE9\x80", "/caf%C3%A9%E2%82%AC", "/caf\xA8\xA6\x80", "/caf%C3%A9\xA2\xE6",
         "/caf%C3%A9\xA3\xE1", "/caf\xC3\xA9\xE2\x82\xAC"},
        {});
  check("fileserver", "/\u65e5\u672c.txt",
        {"/%E6%97%A5%E6%9C%AC.txt", "/\x93\xFA\x96\x7B.txt", "/\xC8\xD5\xB1\xBE.txt",
         "/\xEC\xED\xDC\xE2.txt", "/\xA4\xE9\xA5\xBB.txt"},
        {});
  check("fileserver", "/\u0101\U0001F600",
        {"/%C4%81%F0%9F%98%80", "/%C4%81%F0%9F%98%80", "/\xA8\xA1%F0%9F%98%80",
         "/%C4%81%F0%9F%98%80", "/%C4%81%F0%9F%98%80"},
        {});
  // A trail byte that is '\' in ASCII goes out as it is.
  check("fileserver", "/\u8868", {"/%E8%A1%A8", "/\x95\\", "/\xB1\xED", "/\xF8\xFA", "/\xAA\xED"},
        {});
  check("\u65e5\u672c", "/a", {},
        {"", "\x93\xFA\x96\x7B", "\xC8\xD5\xB1\xBE", "\xEC\xED\xDC\xE2", "\xA4\xE9\xA5\xBB"});
}

WEX_UNDER_EACH_CODE_PAGE(EngineRequestCodePages);

TEST_F(EngineRequest, SendFailuresGive99WithTheErrorNumber) {
  struct Case {
    std::function<void(FakePlatform&)> script;
    const char* message;
  } cases[] = {
      {[](FakePlatform& f) { f.SendFails(10054); }, "10054"},
      {[](FakePlatform& f) { f.SendAccepts(3), f.SendFails(10053); }, "10053"},
      {[](FakePlatform& f) {
         f.SendFails(10035), f.waitWritableResults.push_back({0, 10060});
       },
       "10060"},
      {[](FakePlatform& f) {
         f.SendFails(10035), f.waitWritableResults.push_back({0, 10038});
       },
       "10038"},
  };
  for (const Case& c : cases) {
    c.script(*fake);
    EXPECT_EQ(Request(), 99) << c.message;
    EXPECT_EQ(file, c.message);
    // The connection stays open; its close ends it as usual.
    EXPECT_TRUE(fake->IsRegistered(fake->lastSocket)) << c.message;
  }
}

TEST_F(EngineRequest, ARequestWhileConnectedClosesTheEarlierConnection) {
  ASSERT_EQ(Request("one", "/a"), 0);
  SocketHandle first = fake->lastSocket;
  fake->NotifyRead(first);  // posted for the first socket, delivered later
  ASSERT_EQ(Request("two", "/b"), 0);
  EXPECT_NE(fake->lastSocket, first);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect one", "disconnect", "connect two"}));
  EXPECT_EQ(fake->closedSockets, std::vector<SocketHandle>{first});
  EXPECT_FALSE(fake->IsRegistered(first));
  fake->DeliverAll();
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\nnew");
  PeerCloses();
  EXPECT_EQ(Body(), "new");
  EXPECT_EQ(log.events.back(), "finish 200 OK");
}

// A handler may close down, start another request or drop the last owner.
TEST_F(EngineRequest, HandlersThatActFromOnConnect) {
  log.onConnect = [&] {
    fake->NotifyRead();
    fake->DeliverAll();  // held: the engine is inside RequestFile1, then dropped with the socket
    engine->CloseDown();
  };
  EXPECT_EQ(Request(), 99);
  EXPECT_EQ(file, "10038");
  EXPECT_EQ(fake->CallCount("Send("), 0);
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(fake->cleanupCalls, 1);

  Fresh();
  int32_t inner = -1;
  log.onConnect = [&] {
    log.onConnect = nullptr;
    inner = Request("two", "/b");
  };
  EXPECT_EQ(Request("one", "/a"), 99);
  EXPECT_EQ(inner, 0);
  EXPECT_EQ(fake->CallCount("Send("), 1);
  EXPECT_EQ(RequestBytes().substr(0, 7), "GET /b ");

  Fresh();
  log.onConnect = [&] { engine.reset(); };
  ustring server = u"fileserver", path = u"/a";
  httpUC* raw = engine.get();
  EXPECT_EQ(raw->RequestFile1(server, path), 0);
  EXPECT_EQ(engine, nullptr);
  EXPECT_EQ(fake->CallCount("Send("), 1);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(fake->closedSockets.size(), 1u);
}

}  // namespace
}  // namespace wex
