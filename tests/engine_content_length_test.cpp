// The body length a head promises, and the end of a transfer that falls
// short of it.
#include <gtest/gtest.h>

#include "server/engine/content_length.h"
#include "tests/support/engine_fixture.h"

namespace wex {
namespace {

int64_t LengthOf(const std::string& head) {
  return ContentLength(reinterpret_cast<const uint8_t*>(head.data()), head.size());
}

TEST(ContentLength, ReadsOnlyAPlainDecimalValue) {
  struct Case {
    const char* lines;
    int64_t length;
  } cases[] = {
      {"Content-Length: 10\r\n", 10},
      {"content-length:10\r\n", 10},
      {"CONTENT-LENGTH: \t 0 \t\r\n", 0},
      {"Content-Type: text/plain\r\nContent-Length: 1000000\r\n", 1000000},
      {"Content-Length: 4611686018427387904\r\n", int64_t{1} << 62},
      {"", kNoContentLength},
      {"Content-Type: text/plain\r\n", kNoContentLength},
      {"Content-Length:\r\n", kNoContentLength},
      {"Content-Length: -5\r\n", kNoContentLength},
      {"Content-Length: +5\r\n", kNoContentLength},
      {"Content-Length: 5x\r\n", kNoContentLength},
      {"Content-Length: 1 2\r\n", kNoContentLength},
      {"Content-Length: 0x10\r\n", kNoContentLength},
      {"Content-Length: 4611686018427387905\r\n", kNoContentLength},
      {"Content-Length: 99999999999999999999999999\r\n", kNoContentLength},
      {"Content-Length : 5\r\n", kNoContentLength},       // not the header's name
      {"X-Content-Length: 5\r\n", kNoContentLength},      // another header
      {"Content-Length: 5\r\nContent-Length: 5\r\n", 5},  // repeated alike
      {"Content-Length: 5\r\nContent-Length: 6\r\n", kNoContentLength},
      {"Content-Length: 5\nOther: x\n", 5},  // bare line feeds inside the head
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LengthOf(std::string("HTTP/1.0 200 OK\r\n") + c.lines + "\r\n"), c.length) << c.lines;
  }
  // The status line is no header, even when it looks like one.
  EXPECT_EQ(LengthOf("Content-Length: 5\r\n\r\n"), kNoContentLength);
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
