// The response: the head collected and parsed once, the body as chunks.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "tests/support/code_pages.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineResponse = EngineTest;

TEST_F(EngineResponse, TakesTheStatusAndTheRedirectLineFromTheHead) {
  const std::string tooLong = "HTTP/1.0 200 OK\r\nX: " + std::string(65536, 'a') + "\r\n\r\nbody";
  struct Case {
    std::string response;
    int32_t code;
    const char* text;
    std::string body;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nServer: x\r\n\r\nabc", 200, "OK", "abc"},
      {"HTTP/1.0 301 Moved\r\nLocation: /moved/\r\n\r\nbody", 301, "MovedLocation: /moved/",
       "body"},
      {"HTTP/1.0\r\nX: y\r\n\r\nabc", 0, "", "abc"},
      {"HTTP/1.0 200 OK\nServer: x\n\nabc", 0, "", "HTTP/1.0 200 OK\nServer: x\n\nabc"},
      {"no head at all", 0, "", "no head at all"},
      // A head that never completes promises no length either.
      {"HTTP/1.0 200 OK\r\nContent-Length: 80\r\n", 0, "",
       "HTTP/1.0 200 OK\r\nContent-Length: 80\r\n"},
      {tooLong, 0, "", tooLong},  // a head past its bound is body
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.response.substr(0, 40));
    ASSERT_EQ(Request(), 0);
    Receive(c.response);
    PeerCloses();
    EXPECT_EQ(engine->ServerCode(), c.code);
    EXPECT_EQ(ToUtf8(engine->ServerString()), c.text);
    EXPECT_EQ(Body(), c.body);
    EXPECT_EQ(engine->CurSize1(), static_cast<int32_t>(c.body.size()));
    EXPECT_EQ(log.events.back(), "finish " + std::to_string(c.code) + " " + c.text);
  }
}

// Header bytes the code page misreads must not move the body's start.
class EngineResponseUnderCodePages : public EngineTest, public UnderEachCodePage {};

TEST_P(EngineResponseUnderCodePages, TheBodyStartsAtTheHeadsByteOffset) {
  const std::string nineInUtf8 =
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82"
      "\xE5\x90\x8D\xE5\x89\x8D\xE3\x81\xAF";
  struct Case {
    std::string head;
    std::string statusText, location;  // the bytes the engine converts
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nX-Name: " + nineInUtf8 + "\r\n\r\n", "OK", ""},
      {"HTTP/1.0 200 \x93\xFA\x96\x7B\r\nX: \xE6\x97\xA5\r\n\r\n", "\x93\xFA\x96\x7B", ""},
      {"HTTP/1.0 302 Found\r\nX: \x82\r\nLocation: /\xE6\x97\xA5\r\n\r\n", "Found",
       "Location: /\xE6\x97\xA5"},
  };
  const std::string body = "BODY-0123456789";
  for (const Case& c : cases) {
    ASSERT_EQ(Request(), 0);
    Receive(c.head + body);
    PeerCloses();
    EXPECT_EQ(Body(), body) << c.head;
    EXPECT_EQ(engine->ServerString(), AnsiToText(c.statusText) + AnsiToText(c.location)) << c.head;
  }
}

WEX_UNDER_EACH_CODE_PAGE(EngineResponseUnderCodePages);

// The promised length (one byte more than comes) as well as the status and
// the redirect line are read from a head split anywhere.
TEST_F(EngineResponse, AHeadSplitAtAnyByteIsStillTheHead) {
  const std::string response =
      "HTTP/1.0 301 Moved\r\nContent-Length: 5\r\nLocation: /x\r\n\r\nbody";
  for (size_t split = 1; split < response.size(); ++split) {
    ASSERT_EQ(Request(), 0);
    Receive(response.substr(0, split));
    Receive(response.substr(split));
    PeerCloses();
    EXPECT_EQ(engine->ServerCode(), 301) << split;
    EXPECT_EQ(engine->ServerString(), u"MovedLocation: /x") << split;
    EXPECT_EQ(Body(), "body") << split;
    EXPECT_EQ(log.events.back(), "finish -1 10054") << split;
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
  fake->ReceiveData(" Found\r\n\r\ngon");
  fake->ReceiveData("e");  // a block of one byte is data too, not the end
  fake->ReceiveEnd();
  fake->NotifyClose();
  fake->DeliverAll();
  EXPECT_EQ(engine->ServerCode(), 404);
  EXPECT_EQ(Body(), "gone");
  EXPECT_EQ(log.events.back(), "finish 404 Not Found");
}

// A head that fills its block adds no entry.
TEST_F(EngineResponse, BlocksAreStoredAsTheyCame) {
  std::string head = "HTTP/1.0 200 OK\r\nX: ";
  head += std::string(150 - head.size() - 4, 'h') + "\r\n\r\n";
  ASSERT_EQ(Request(), 0);
  Receive(head + std::string(65536 - 150, '1'));
  Receive(std::string(65536, '2'));
  Receive(std::string(400, '3'));
  PeerCloses();
  std::vector<size_t> sizes;
  for (const Chunk& chunk : *engine->CurFileBytes1()) sizes.push_back(chunk.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{65536 - 150, 65536, 400}));
  EXPECT_EQ(engine->CurSize1(), 65536 - 150 + 65536 + 400);
  EXPECT_EQ(fake->CallCount("Receive(" + std::to_string(fake->lastSocket) + ",65536)"), 4);

  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  EXPECT_EQ(engine->CurSize1(), 0);
  Receive("one\n");
  Receive("two\n");
  PeerCloses();
  EXPECT_EQ(engine->CurFileBytes1()->size(), 2u);
  EXPECT_EQ(engine->CurFileString1(), u"one\r\ntwo\r\n");
}

// Even a request its arguments refuse clears the transfer before it, while a
// list handed out keeps its entries.
TEST_F(EngineResponse, AListHandedOutKeepsItsEntriesAcrossAReset) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 404 Not Found\r\n\r\nfirst");
  PeerCloses();
  std::shared_ptr<const ChunkList> earlier = engine->CurFileBytes1();
  EXPECT_EQ(Request("", "/a"), 113);
  ASSERT_EQ(earlier->size(), 1u);
  EXPECT_EQ(std::string(earlier->front().begin(), earlier->front().end()), "first");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  EXPECT_NE(engine->CurFileBytes1().get(), earlier.get());
  EXPECT_EQ(engine->CurFileString1(), u"");
  EXPECT_EQ(engine->CurSize1(), 0);
  EXPECT_EQ(engine->ServerCode(), 0);
  EXPECT_EQ(engine->ServerString(), u"");
}

}  // namespace
}  // namespace wex
