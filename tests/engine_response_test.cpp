// The response: the head parser's fields, then the head collected and parsed
// once by the engine, and the body as chunks.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "server/engine/limits.h"
#include "server/engine/response_head.h"
#include "tests/support/code_pages.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

struct Parsed {
  ResponseHead::Progress progress = ResponseHead::Progress::kIncomplete;
  int32_t code = 0;
  std::string text, location, body;
  int64_t length = kNoContentLength;
};

// Feeds blocks of `block` bytes until the head is complete or too long.
Parsed Parse(const std::string& response, size_t block = std::string::npos) {
  ResponseHead head;
  Parsed parsed;
  size_t at = 0;
  do {
    const std::string piece = response.substr(at, block);
    at += piece.size();
    parsed.progress = head.Add(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
  } while (parsed.progress == ResponseHead::Progress::kIncomplete && at < response.size());
  if (parsed.progress != ResponseHead::Progress::kComplete) return parsed;
  parsed.code = head.StatusCode();
  parsed.text = std::string(head.StatusText());
  parsed.location = std::string(head.Location());
  parsed.length = head.ContentLength();
  const auto& collected = head.Collected();
  parsed.body.assign(collected.begin() + static_cast<std::ptrdiff_t>(head.Length()),
                     collected.end());
  return parsed;
}

TEST(ResponseHead, ReadsTheStatusLineAndTheRedirectLine) {
  struct Case {
    const char* response;
    int32_t code;
    const char* text;
    const char* location;
    const char* body;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nServer: x\r\nContent-Type: text/plain\r\n\r\nabc", 200, "OK", "", "abc"},
      {"HTTP/1.1 404 Not Found\r\n\r\n", 404, "Not Found", "", ""},
      {"HTTP/1.0 301 Moved\r\nLocation: /moved/\r\n\r\nbody", 301, "Moved", "Location: /moved/",
       "body"},
      {"HTTP/1.0 303 See Other\r\nX: 1\r\nLocation: http://a/b\r\n\r\n", 303, "See Other",
       "Location: http://a/b", ""},
      {"HTTP/1.0 304 Not Modified\r\nLocation: /t\r\n\r\n", 304, "Not Modified", "", ""},
      {"HTTP/1.0 300 Choices\r\nLocation: /t\r\n\r\n", 300, "Choices", "", ""},
      {"HTTP/1.0 301 Moved\r\nContent-Location: /a\r\nLocation: /b\r\n\r\n", 301, "Moved",
       "Location: /a", ""},
      {"HTTP/1.0 302 Found\r\nlocation: /x\r\n\r\n", 302, "Found", "location: /x", ""},
      {"HTTP/1.0 301 Moved\r\n\r\nLocation: /in-body\r\n", 301, "Moved", "",
       "Location: /in-body\r\n"},
      {"HTTP/1.0\r\nX: y\r\n\r\nabc", 0, "", "", "abc"},   // no blank in the status line
      {"HTTP/1.0 abc Weird\r\n\r\n", 0, "Weird", "", ""},  // a code that is not numeric
      {"HTTP/1.0 200\r\n\r\nx", 200, "", "", "x"},
      {"HTTP/1.0 200 \r\n\r\nx", 200, "", "", "x"},
      // A header in UTF-8 and a body in another encoding: found in the bytes.
      {"HTTP/1.0 200 OK\r\nX-Name: \xE6\x97\xA5\xE6\x9C\xAC\r\n\r\nBODY-\x82\xA0", 200, "OK", "",
       "BODY-\x82\xA0"},
      {"HTTP/1.0 302 \x93\xFA\x96\x7B\r\nLocation: /\xE6\x97\xA5\r\n\r\n", 302, "\x93\xFA\x96\x7B",
       "Location: /\xE6\x97\xA5", ""},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.response);
    ASSERT_EQ(parsed.progress, ResponseHead::Progress::kComplete) << c.response;
    EXPECT_EQ(parsed.code, c.code) << c.response;
    EXPECT_EQ(parsed.text, c.text) << c.response;
    EXPECT_EQ(parsed.location, c.location) << c.response;
    EXPECT_EQ(parsed.body, c.body) << c.response;
  }
  // Lines that end in a bare LF never end the head.
  EXPECT_EQ(Parse("HTTP/1.0 200 OK\nServer: x\n\nabc").progress,
            ResponseHead::Progress::kIncomplete);
}

TEST(ResponseHead, ReadsOnlyAPlainDecimalLength) {
  struct Case {
    const char* status;
    const char* lines;
    int64_t length;
  } cases[] = {
      {"200 OK", "Content-Length: 10\r\n", 10},
      {"200 OK", "content-length:10\r\n", 10},
      {"200 OK", "CONTENT-LENGTH: \t 0 \t\r\n", 0},
      {"200 OK", "Content-Length: 4611686018427387904\r\n", int64_t{1} << 62},
      {"200 OK", "", kNoContentLength},
      {"200 OK", "Content-Length:\r\n", kNoContentLength},
      {"200 OK", "Content-Length: -5\r\n", kNoContentLength},
      {"200 OK", "Content-Length: +5\r\n", kNoContentLength},
      {"200 OK", "Content-Length: 5x\r\n", kNoContentLength},
      {"200 OK", "Content-Length: 1 2\r\n", kNoContentLength},
      {"200 OK", "Content-Length: 0x10\r\n", kNoContentLength},
      {"200 OK", "Content-Length: 4611686018427387905\r\n", kNoContentLength},
      {"200 OK", "Content-Length : 5\r\n", kNoContentLength},       // not the header's name
      {"200 OK", "X-Content-Length: 5\r\n", kNoContentLength},      // another header
      {"200 OK", "Content-Length: 5\r\nContent-Length: 5\r\n", 5},  // repeated alike
      {"200 OK", "Content-Length: 5\r\nContent-Length: 6\r\n", kNoContentLength},
      {"200 OK", "Content-Length: 5\nOther: x\r\n", 5},  // bare line feeds inside the head
      // Statuses that carry no body promise none.
      {"204 No Content", "Content-Length: 5\r\n", kNoContentLength},
      {"304 Not Modified", "Content-Length: 5\r\n", kNoContentLength},
      {"100 Continue", "Content-Length: 5\r\n", kNoContentLength},
      {"404 Not Found", "Content-Length: 5\r\n", 5},
  };
  for (const Case& c : cases) {
    const std::string response = std::string("HTTP/1.0 ") + c.status + "\r\n" + c.lines + "\r\n";
    EXPECT_EQ(Parse(response).length, c.length) << c.status << " " << c.lines;
  }
  // The status line is no header, even when it looks like one.
  EXPECT_EQ(Parse("Content-Length: 5\r\n\r\n").length, kNoContentLength);
}

TEST(ResponseHead, IsLookedForUpTo64KiB) {
  const std::string status = "HTTP/1.0 200 OK\r\n";
  auto headOfLength = [&](size_t length) {
    return status + "X: " + std::string(length - status.size() - 3 - 4, 'a') + "\r\n\r\n";
  };
  struct Case {
    std::string response;
    size_t block;
    ResponseHead::Progress progress;
  } cases[] = {
      {headOfLength(65536) + "body", std::string::npos, ResponseHead::Progress::kComplete},
      {headOfLength(65537) + "body", std::string::npos, ResponseHead::Progress::kTooLong},
      {headOfLength(65537), 1000, ResponseHead::Progress::kTooLong},
      {std::string(65535, 'x'), std::string::npos, ResponseHead::Progress::kIncomplete},
      {std::string(65536, 'x'), std::string::npos, ResponseHead::Progress::kTooLong},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.response, c.block).progress, c.progress) << c.response.size();
  }
}

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

// All of it arrives with the close notification.
TEST_F(EngineResponse, AHeadInTheClosePath) {
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
  Receive(head + std::string(kReceiveBlockBytes - 150, '1'));
  Receive(std::string(kReceiveBlockBytes, '2'));
  Receive(std::string(400, '3'));
  PeerCloses();
  std::vector<size_t> sizes;
  for (const Chunk& chunk : *engine->CurFileBytes1()) sizes.push_back(chunk.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{kReceiveBlockBytes - 150, kReceiveBlockBytes, 400}));
  EXPECT_EQ(engine->CurSize1(), 2 * kReceiveBlockBytes - 150 + 400);
  EXPECT_EQ(fake->CallCount("Receive(" + std::to_string(fake->lastSocket) + "," +
                            std::to_string(kReceiveBlockBytes) + ")"),
            4);

  ASSERT_EQ(Request(), 0);
  Receive("HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_TRUE(engine->CurFileBytes1()->empty());
  EXPECT_EQ(engine->CurSize1(), 0);
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
