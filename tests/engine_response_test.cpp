// The response: the head collected until its blank line and parsed once, the
// body as chunks, text and size, and a transfer that ends short of the length
// its head promised.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "tests/support/code_pages.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

using EngineResponse = EngineTest;

TEST_F(EngineResponse, TakesTheStatusAndTheRedirectLineFromTheHead) {
  struct Case {
    const char* response;
    int32_t code;
    const char* text;
    const char* body;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nServer: x\r\n\r\nabc", 200, "OK", "abc"},
      {"HTTP/1.0 301 Moved\r\nLocation: /moved/\r\n\r\nbody", 301, "MovedLocation: /moved/",
       "body"},
      {"HTTP/1.0\r\nX: y\r\n\r\nabc", 0, "", "abc"},
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

// Under every code page the body starts at the head's byte offset, whatever
// bytes the other header lines hold, and only the status text and the
// Location line are converted, each alone.
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
    EXPECT_EQ(engine->CurSize1(), 15) << c.head;
    EXPECT_EQ(engine->ServerString(), AnsiToText(c.statusText) + AnsiToText(c.location)) << c.head;
  }
}

WEX_UNDER_EACH_CODE_PAGE(EngineResponseUnderCodePages);

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
  fake->ReceiveData(" Found\r\n\r\ngon");
  fake->ReceiveData("e");  // a block of one byte is data too, not the end
  fake->ReceiveEnd();
  fake->NotifyClose();
  fake->DeliverAll();
  EXPECT_EQ(engine->ServerCode(), 404);
  EXPECT_EQ(Body(), "gone");
  EXPECT_EQ(log.events.back(), "finish 404 Not Found");
}

TEST_F(EngineResponse, AHeadTooLongIsBody) {
  const std::string longer = "HTTP/1.0 200 OK\r\nX: " + std::string(65536, 'a') + "\r\n\r\nbody";
  ASSERT_EQ(Request(), 0);
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

using EngineTruncation = EngineTest;

// How a transfer ends, by what the head promised, what arrived and how the
// connection ended.
TEST_F(EngineTruncation, ABodyShortOfItsContentLengthFailsAsAReset) {
  enum End { kReadEmpty, kClose, kCloseWithError };
  struct Case {
    const char* name;
    std::string head;
    std::string body;
    End end;
    int32_t closeError;
    std::string finish;
  } cases[] = {
      {"complete", "Content-Length: 10\r\n", "0123456789", kClose, 0, "finish 200 OK"},
      {"short, close", "Content-Length: 10\r\n", "0123", kClose, 0, "finish -1 10054"},
      {"short, empty read", "Content-Length: 10\r\n", "0123", kReadEmpty, 0, "finish -1 10054"},
      {"short, nothing", "Content-Length: 10\r\n", "", kClose, 0, "finish -1 10054"},
      {"longer", "Content-Length: 4\r\n", "012345", kClose, 0, "finish 200 OK"},
      {"no length", "", "0123", kClose, 0, "finish 200 OK"},
      {"length not valid", "Content-Length: ten\r\n", "0123", kClose, 0, "finish 200 OK"},
      {"lower case", "content-length: 10\r\n", "0123", kClose, 0, "finish -1 10054"},
      {"no content, 204", "Content-Length: 10\r\n", "", kClose, 0, "finish 204 No Content"},
      {"short, reset", "Content-Length: 10\r\n", "0123", kCloseWithError, 10053, "finish -1 10053"},
      {"no length, reset", "", "0123", kCloseWithError, 10054, "finish -1 10054"},
      {"complete, reset", "Content-Length: 4\r\n", "0123", kCloseWithError, 10054, "finish 200 OK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.events.clear();
    ASSERT_EQ(Request(), 0);
    const std::string status =
        std::string(c.name) == "no content, 204" ? "204 No Content" : "200 OK";
    Receive("HTTP/1.0 " + status + "\r\n" + c.head + "\r\n" + c.body);
    if (c.end == kReadEmpty) {
      fake->ReceiveEnd();
      fake->NotifyRead();
    } else {
      fake->ReceiveEnd();
      fake->NotifyClose(0, c.end == kCloseWithError ? c.closeError : 0);
    }
    fake->DeliverAll();
    EXPECT_EQ(log.events, (std::vector<std::string>{"connect fileserver", "disconnect", c.finish}));
    EXPECT_EQ(Body(), c.body) << "the bytes received are kept";
  }
}

// The head may come in pieces; the promise is read once it is whole, and a
// head that never completes promises nothing.
TEST_F(EngineTruncation, TheLengthIsReadFromAHeadSplitAcrossBlocks) {
  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\nConte");
  Receive("nt-Length: 8\r\n\r");
  Receive("\nabcd");
  PeerCloses();
  EXPECT_EQ(log.events.back(), "finish -1 10054");
  EXPECT_EQ(Body(), "abcd");

  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n");  // no blank line ever
  PeerCloses();
  EXPECT_EQ(log.events.back(), "finish 0 ");
}

}  // namespace
}  // namespace wex
