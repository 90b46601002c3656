// The request: argument checks, normalisation, the bytes on the wire and how
// they are sent.
#include <gtest/gtest.h>

#include <map>

#include "server/resources/message_table.h"
#include "tests/support/code_pages.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineRequest = EngineTest;

TEST_F(EngineRequest, TheSeventyTwoByteExample) {
  engine->UserAgent1(u"Fetcher 2");
  ASSERT_EQ(Request("http://fileserver", "docs/news.xml"), 0);
  const std::string expected =
      "GET /docs/news.xml HTTP/1.0\r\n"
      "User-Agent: Fetcher 2\r\n"
      "Host: fileserver\r\n"
      "\r\n";
  ASSERT_EQ(expected.size(), 72u);
  EXPECT_EQ(RequestBytes(), expected);
  EXPECT_EQ(file, "/docs/news.xml");
  EXPECT_EQ(fake->CallCount("Send("), 1);
}

TEST_F(EngineRequest, ArgumentChecksComeFirst) {
  struct Case {
    const char* server;
    const char* path;
    int32_t code;
  } cases[] = {{"", "", 113}, {"", "/a", 113}, {"fileserver", "", 114}};
  for (const Case& c : cases) {
    EXPECT_EQ(Request(c.server, c.path), c.code);
    EXPECT_EQ(file, ToUtf8(MessageText(c.code)));
  }
  EXPECT_EQ(fake->CallCount("ConnectedState("), 0);
}

TEST_F(EngineRequest, PrefixesAndPaths) {
  struct Case {
    const char* server;
    const char* path;
    const char* host;
    const char* requestLine;
  } cases[] = {
      {"http://fileserver", "a.txt", "fileserver", "GET /a.txt HTTP/1.0"},
      {"ftp://fileserver", "/a.txt", "fileserver", "GET /a.txt HTTP/1.0"},
      {"http://ftp://fileserver", "/", "fileserver", "GET / HTTP/1.0"},
      {"ftp://http://fileserver", "/", "http://fileserver", "GET / HTTP/1.0"},
      {"HTTP://fileserver", "/", "HTTP://fileserver", "GET / HTTP/1.0"},
      {" http://fileserver", "/", " http://fileserver", "GET / HTTP/1.0"},
      {"fileserver:81", "/", "fileserver:81", "GET / HTTP/1.0"},
      {"fileserver", "my file.txt", "fileserver", "GET /my file.txt HTTP/1.0"},
      {"fileserver", "//x", "fileserver", "GET //x HTTP/1.0"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Request(c.server, c.path), 0) << c.server;
    const std::string bytes = RequestBytes();
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), c.requestLine) << c.server;
    EXPECT_NE(bytes.find(std::string("\r\nHost: ") + c.host + "\r\n\r\n"), std::string::npos)
        << c.server;
    EXPECT_EQ(log.events.back(), std::string("connect ") + c.host);
  }
}

// The path and the Host line in the code page: what it holds goes out in its
// bytes; any other character of the path as its UTF-8 bytes, percent-encoded
// (UTF-8 holds them all).
class EngineRequestCodePages : public EngineTest, public UnderEachCodePage {};

TEST_P(EngineRequestCodePages, PathAndHostGoOutInTheCodePage) {
  struct Case {
    const char* server;
    const char* path;
    std::map<uint32_t, std::string> target;  // where not given: the path
    // Where not given: the server; empty: a name the code page cannot hold,
    // refused with 112 before any lookup.
    std::map<uint32_t, std::string> host;
  } cases[] = {
      {"fileserver",
       "/caf\u00e9\u20ac",
       {{1252, "/caf\xE9\x80"},
        {932, "/caf%C3%A9%E2%82%AC"},
        {936, "/caf\xA8\xA6\x80"},
        {949, "/caf%C3%A9\xA2\xE6"},
        {950, "/caf%C3%A9\xA3\xE1"},
        {65001, "/caf\xC3\xA9\xE2\x82\xAC"}},
       {}},
      {"fileserver",
       "/\u65e5\u672c.txt",
       {{1252, "/%E6%97%A5%E6%9C%AC.txt"},
        {932, "/\x93\xFA\x96\x7B.txt"},
        {936, "/\xC8\xD5\xB1\xBE.txt"},
        {949, "/\xEC\xED\xDC\xE2.txt"},
        {950, "/\xA4\xE9\xA5\xBB.txt"}},
       {}},
      {"fileserver",
       "/\u0101\U0001F600",
       {{1252, "/%C4%81%F0%9F%98%80"},
        {932, "/%C4%81%F0%9F%98%80"},
        {936, "/\xA8\xA1%F0%9F%98%80"},
        {949, "/%C4%81%F0%9F%98%80"},
        {950, "/%C4%81%F0%9F%98%80"}},
       {}},
      // A trail byte that is '\' in ASCII goes out as it is.
      {"fileserver",
       "/\u8868",
       {{1252, "/%E8%A1%A8"},
        {932, "/\x95\\"},
        {936, "/\xB1\xED"},
        {949, "/\xF8\xFA"},
        {950, "/\xAA\xED"}},
       {}},
      {"\u65e5\u672c",
       "/a",
       {},
       {{1252, ""},
        {932, "\x93\xFA\x96\x7B"},
        {936, "\xC8\xD5\xB1\xBE"},
        {949, "\xEC\xED\xDC\xE2"},
        {950, "\xA4\xE9\xA5\xBB"}}},
  };
  for (const Case& c : cases) {
    const auto target = c.target.find(GetParam());
    const auto host = c.host.find(GetParam());
    if (host != c.host.end() && host->second.empty()) {
      EXPECT_EQ(Request(c.server, c.path), 112) << c.server;
      continue;
    }
    ASSERT_EQ(Request(c.server, c.path), 0) << c.path;
    const std::string bytes = RequestBytes();
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")),
              "GET " + (target != c.target.end() ? target->second : c.path) + " HTTP/1.0")
        << c.path;
    EXPECT_NE(
        bytes.find("\r\nHost: " + (host != c.host.end() ? host->second : c.server) + "\r\n\r\n"),
        std::string::npos)
        << c.server;
    EXPECT_EQ(log.events.back(), std::string("connect ") + c.server);
  }
}

WEX_UNDER_EACH_CODE_PAGE(EngineRequestCodePages);

TEST_F(EngineRequest, EmptyUserAgentStillSendsTheLine) {
  engine->UserAgent1(u"");
  engine->Port(8080);
  ASSERT_EQ(Request("fileserver", "/"), 0);
  EXPECT_EQ(RequestBytes(), "GET / HTTP/1.0\r\nUser-Agent: \r\nHost: fileserver\r\n\r\n");
}

TEST_F(EngineRequest, ControlCharactersArePercentEncoded) {
  engine->UserAgent1(u"Agent\r\nX-A: 1");
  ASSERT_EQ(Request("fileserver", "/a\r\nX-Injected: 1\t\x7f%0D b"), 0);
  EXPECT_EQ(RequestBytes(),
            "GET /a%0D%0AX-Injected: 1%09%7F%0D b HTTP/1.0\r\n"
            "User-Agent: Agent%0D%0AX-A: 1\r\n"
            "Host: fileserver\r\n\r\n");
  // A zero character in the path too.
  ustring server = u"fileserver";
  ustring path = ustring(u"/a") + char16_t(0) + u"b";
  ASSERT_EQ(engine->RequestFile1(server, path), 0);
  EXPECT_EQ(RequestBytes().substr(0, 18), "GET /a%00b HTTP/1.");
}

TEST_F(EngineRequest, ShortSendsAreCompleted) {
  fake->SendAccepts(10);
  fake->SendAccepts(1);
  ASSERT_EQ(Request("fileserver", "/docs/news.xml"), 0);
  EXPECT_EQ(RequestBytes(),
            "GET /docs/news.xml HTTP/1.0\r\nUser-Agent: Wexlo.EXE v. 1.04 from Quarnet - "
            "http://www.quarnet.example/\r\nHost: fileserver\r\n\r\n");
  EXPECT_EQ(fake->CallCount("Send("), 3);
}

TEST_F(EngineRequest, WouldBlockWaitsUntilWritable) {
  fake->SendAccepts(5);
  fake->SendFails(10035);
  fake->SendFails(10035);
  ASSERT_EQ(Request(), 0);
  EXPECT_EQ(RequestBytes().substr(0, 7), "GET /a ");
  EXPECT_EQ(fake->CallCount("WaitWritable("), 2);
  for (int32_t timeout : fake->waitTimeouts) {
    EXPECT_GT(timeout, 0);
    EXPECT_LE(timeout, 30000);
  }
}

TEST_F(EngineRequest, SendFailuresGive99WithTheErrorNumber) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> script;
    const char* message;
  } cases[] = {
      {"reset", [](FakePlatform& f) { f.SendFails(10054); }, "10054"},
      {"reset after part", [](FakePlatform& f) { f.SendAccepts(3), f.SendFails(10053); }, "10053"},
      {"time-out",
       [](FakePlatform& f) {
         f.SendFails(10035);
         f.waitWritableResults.push_back({0, 10060});
       },
       "10060"},
      {"wait fails",
       [](FakePlatform& f) {
         f.SendFails(10035);
         f.waitWritableResults.push_back({0, 10038});
       },
       "10038"},
  };
  for (const Case& c : cases) {
    c.script(*fake);
    EXPECT_EQ(Request(), 99) << c.name;
    EXPECT_EQ(file, c.message) << c.name;
    // The connection stays open; its close ends it as usual.
    EXPECT_TRUE(fake->IsRegistered(fake->lastSocket)) << c.name;
  }
}

TEST_F(EngineRequest, RejectedRequestStillClearsThePreviousTransfer) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 404 Not Found\r\n\r\nmissing");
  PeerCloses();
  ASSERT_EQ(engine->CurSize1(), 7);
  EXPECT_EQ(Request("", "/a"), 113);
  EXPECT_EQ(engine->CurSize1(), 0);
  EXPECT_EQ(engine->ServerCode(), 0);
  EXPECT_EQ(engine->ServerString(), u"");
}

TEST_F(EngineRequest, ARequestWhileConnectedClosesTheEarlierConnection) {
  ASSERT_EQ(Request("one", "/a"), 0);
  SocketHandle first = fake->lastSocket;
  fake->NotifyRead(first);  // posted for the first socket, delivered later
  ASSERT_EQ(Request("two", "/b"), 0);
  SocketHandle second = fake->lastSocket;
  EXPECT_NE(first, second);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect one", "disconnect", "connect two"}));
  EXPECT_EQ(fake->closedSockets, std::vector<SocketHandle>{first});
  EXPECT_FALSE(fake->IsRegistered(first));
  // The first socket's notification is dropped: nothing is received for it.
  fake->DeliverAll();
  EXPECT_EQ(fake->CallCount("Receive("), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\nnew");
  PeerCloses();
  EXPECT_EQ(Body(), "new");
  EXPECT_EQ(log.events.back(), "finish 200 OK");
}

TEST_F(EngineRequest, CloseDownFromOnConnectMakesTheSendFailCleanly) {
  ustring sErr;
  engine->StartUp1(sErr);
  log.onConnect = [&] { engine->CloseDown(); };
  EXPECT_EQ(Request(), 99);
  EXPECT_EQ(file, "10038");
  EXPECT_EQ(fake->CallCount("Send("), 0);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(fake->cleanupCalls, 1);
}

TEST_F(EngineRequest, ARequestFromOnConnectTakesOverTheConnection) {
  bool nested = false;
  int32_t inner = -1;
  log.onConnect = [&] {
    if (nested) return;
    nested = true;
    inner = Request("two", "/b");
  };
  EXPECT_EQ(Request("one", "/a"), 99);
  EXPECT_EQ(inner, 0);
  // Only the inner request went out, on its own socket.
  EXPECT_EQ(fake->CallCount("Send("), 1);
  EXPECT_EQ(RequestBytes().substr(0, 7), "GET /b ");
}

TEST(EngineRequestLifetime, AHandlerMayDropTheEngineInOnConnect) {
  EventLog events;
  auto platform = std::make_shared<FakePlatform>();
  auto uc = StartedEngine(platform);
  uc->Subscribe(&events);
  events.onConnect = [&] { uc.reset(); };
  ustring server = u"fileserver", path = u"/a";
  httpUC* raw = uc.get();
  // The call finishes on the engine it started on; the engine goes when it returns.
  EXPECT_EQ(raw->RequestFile1(server, path), 0);
  EXPECT_EQ(platform->CallCount("Send("), 1);
  EXPECT_EQ(events.events, (std::vector<std::string>{"connect fileserver", "disconnect"}));
  EXPECT_EQ(platform->closedSockets.size(), 1u);
}

}  // namespace
}  // namespace wex
