// The response: the head collected until its blank line and parsed once, the
// body as chunks, text and size.
#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineResponse = EngineTest;

TEST_F(EngineResponse, ParsesTheStatusLineAndTheRedirectLine) {
  struct Case {
    const char* response;
    int32_t code;
    const char* text;
    const char* body;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nServer: x\r\nContent-Type: text/plain\r\n\r\nabc", 200, "OK", "abc"},
      {"HTTP/1.1 404 Not Found\r\n\r\n", 404, "Not Found", ""},
      {"HTTP/1.0 301 Moved\r\nLocation: /moved/\r\n\r\nbody", 301, "MovedLocation: /moved/",
       "body"},
      {"HTTP/1.0 302 Found\r\nLocation: /new.html\r\n\r\n", 302, "FoundLocation: /new.html", ""},
      {"HTTP/1.0 303 See Other\r\nX: 1\r\nLocation: http://a/b\r\n\r\n", 303,
       "See OtherLocation: http://a/b", ""},
      {"HTTP/1.0 307 Temporary Redirect\r\nLocation: /t\r\n\r\n", 307, "Temporary Redirect", ""},
      {"HTTP/1.0 304 Not Modified\r\nLocation: /t\r\n\r\n", 304, "Not Modified", ""},
      {"HTTP/1.0 300 Choices\r\nLocation: /t\r\n\r\n", 300, "Choices", ""},
      {"HTTP/1.0 301 Moved\r\nContent-Location: /a\r\nLocation: /b\r\n\r\n", 301,
       "MovedLocation: /a", ""},
      {"HTTP/1.0 302 Found\r\nlocation: /x\r\n\r\n", 302, "Foundlocation: /x", ""},
      {"HTTP/1.0 301 Moved\r\n\r\nLocation: /in-body\r\n", 301, "Moved", "Location: /in-body\r\n"},
      {"HTTP/1.0\r\nX: y\r\n\r\nabc", 0, "", "abc"},   // no blank in the status line
      {"HTTP/1.0 abc Weird\r\n\r\n", 0, "Weird", ""},  // a code that is not numeric
      {"HTTP/1.0 20x Odd\r\n\r\n", 0, "Odd", ""},
      {"HTTP/1.0 200\r\n\r\nx", 200, "", "x"},
      {"HTTP/1.0 200 \r\n\r\nx", 200, "", "x"},
      {"HTTP/1.0 200 OK\nServer: x\n\nabc", 0, "", "HTTP/1.0 200 OK\nServer: x\n\nabc"},
      {"no head at all", 0, "", "no head at all"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Request(), 0);
    Receive(c.response);
    PeerCloses();
    EXPECT_EQ(engine->ServerCode(), c.code) << c.response;
    EXPECT_EQ(ToUtf8(engine->ServerString()), c.text) << c.response;
    EXPECT_EQ(Body(), c.body) << c.response;
    EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(std::string(c.body).size()));
    EXPECT_EQ(log.events.back(), "finish " + std::to_string(c.code) + " " + c.text);
  }
}

TEST_F(EngineResponse, AHeadSplitAtAnyByteIsStillTheHead) {
  const std::string response = "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nbody";
  for (size_t split = 1; split < response.size(); ++split) {
    ASSERT_EQ(Request(), 0);
    Receive(response.substr(0, split));
    Receive(response.substr(split));
    PeerCloses();
    EXPECT_EQ(engine->ServerCode(), 200) << split;
    EXPECT_EQ(engine->ServerString(), u"OK") << split;
    EXPECT_EQ(Body(), "body") << split;
  }
}

TEST_F(EngineResponse, AHeadInManySmallBlocksAndInTheClosePath) {
  ASSERT_EQ(Request(), 0);
  for (char c : std::string("HTTP/1.0 200 OK\r\n\r\nab")) Receive(std::string(1, c));
  PeerCloses();
  EXPECT_EQ(engine->ServerCode(), 200);
  EXPECT_EQ(Body(), "ab");

  // All of it arrives with the close notification.
  ASSERT_EQ(Request(), 0);
  fake->ReceiveData("HTTP/1.0 404 Not");
  fake->ReceiveData(" Found\r\n\r\ngone");
  fake->ReceiveEnd();
  fake->NotifyClose();
  fake->DeliverAll();
  EXPECT_EQ(engine->ServerCode(), 404);
  EXPECT_EQ(Body(), "gone");
  EXPECT_EQ(log.events.back(), "finish 404 Not Found");
}

TEST_F(EngineResponse, AHeadIsLookedForUpTo64KiB) {
  const std::string status = "HTTP/1.0 200 OK\r\n";
  auto headOfLength = [&](size_t length) {
    std::string filler = "X: " + std::string(length - status.size() - 3 - 4, 'a');
    return status + filler + "\r\n\r\n";
  };
  // Ending exactly at the bound: a head.
  ASSERT_EQ(Request(), 0);
  Receive(headOfLength(65536) + "body");
  PeerCloses();
  EXPECT_EQ(engine->ServerCode(), 200);
  EXPECT_EQ(Body(), "body");
  // One byte beyond: everything is body, no status.
  ASSERT_EQ(Request(), 0);
  const std::string longer = headOfLength(65537) + "body";
  Receive(longer);
  PeerCloses();
  EXPECT_EQ(engine->ServerCode(), 0);
  EXPECT_EQ(engine->ServerString(), u"");
  EXPECT_EQ(Body(), longer);
}

TEST_F(EngineResponse, BlocksAreStoredAsTheyCame) {
  // A 150-byte head, then blocks of 65536 (the receive size), 65536 and 400 bytes.
  std::string head = "HTTP/1.0 200 OK\r\nX: ";
  head += std::string(150 - head.size() - 4, 'h') + "\r\n\r\n";
  ASSERT_EQ(head.size(), 150u);
  const std::string first = head + std::string(65536 - 150, '1');
  ASSERT_EQ(Request(), 0);
  Receive(first);
  Receive(std::string(65536, '2'));
  Receive(std::string(400, '3'));
  PeerCloses();
  auto chunks = engine->CurFileBytes1();
  ASSERT_EQ(chunks->size(), 3u);
  EXPECT_EQ((*chunks)[0].size(), 65536u - 150);
  EXPECT_EQ((*chunks)[1].size(), 65536u);
  EXPECT_EQ((*chunks)[2].size(), 400u);
  EXPECT_EQ(engine->CurSize1(), 65536 - 150 + 65536 + 400);
  EXPECT_EQ(fake->CallCount("Receive(" + std::to_string(fake->lastSocket) + ",65536)"), 4);
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"connect fileserver", "disconnect", "finish 200 OK"}));
}

TEST_F(EngineResponse, AHeadThatFillsItsBlockAddsNoEntry) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  EXPECT_EQ(engine->CurSize1(), 0);
  Receive("abc");
  PeerCloses();
  EXPECT_EQ(engine->CurFileBytes1()->size(), 1u);
  EXPECT_EQ(Body(), "abc");
}

TEST_F(EngineResponse, TheTextTurnsEveryLineFeedIntoCrLf) {
  struct Case {
    std::string body;
    ustring text;
  } cases[] = {
      {"a\nb", u"a\r\nb"},
      {"a\r\nb", u"a\r\r\nb"},
      {"a\rb", u"a\rb"},
      {"\n\n", u"\r\n\r\n"},
      {std::string("a\0b", 3), ustring(u"a\0b", 3)},
      {"\x80\xE9", u"\u20AC\u00E9"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Request(), 0);
    Receive("HTTP/1.0 200 OK\r\n\r\n" + c.body);
    PeerCloses();
    EXPECT_EQ(engine->CurFileString1(), c.text) << c.body;
    EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(c.body.size()));
  }
  // Joined across chunks, in order.
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\none\n");
  Receive("two\n");
  PeerCloses();
  EXPECT_EQ(engine->CurFileString1(), u"one\r\ntwo\r\n");
}

TEST_F(EngineResponse, AListHandedOutKeepsItsEntriesAcrossAReset) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\nfirst");
  PeerCloses();
  std::shared_ptr<const ChunkList> earlier = engine->CurFileBytes1();
  ASSERT_EQ(Request(), 0);
  ASSERT_EQ(earlier->size(), 1u);
  EXPECT_EQ(std::string(earlier->front().begin(), earlier->front().end()), "first");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  EXPECT_NE(engine->CurFileBytes1().get(), earlier.get());
  EXPECT_EQ(engine->CurFileString1(), u"");
}

}  // namespace
}  // namespace wex
