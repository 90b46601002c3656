// The Schannel channel's state machine through scripted security calls: a
// handshake in pieces of any size, handshake messages after the handshake
// answered in full, and a stream cut inside a record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/engine/platform.h"
#include "server/engine/sspi_channel.h"
#include "tests/support/fake_sspi.h"

namespace wex {
namespace {

using Step = FakeSspi::Step;
const auto Record = FakeSspi::Record;

// A plain HTTP server's answer on the secure port: its "length" (bytes 1-2,
// "TT") runs far past what it sends.
const std::string kPlainReply = "HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n";

TEST(SspiChannel, TheHandshakeIsBoundedByItsTimeAndItsBufferNotByItsReads) {
  struct Case {
    const char* name;
    std::string wire;
    size_t pieceSize;
    bool end;  // the server closes after the wire
    std::vector<Step> steps;
    int32_t result;
    std::vector<std::string> sends;
  } cases[] = {
      {"a first flight of 1,185 bytes in 4-byte pieces",
       Record('H', std::string(1182, 'f')),
       4,
       false,
       {},
       0,
       {"hello"}},
      {"two flights in 16-byte pieces, every token sent whole",
       Record('H', std::string(900, 'f')) + Record('H', std::string(60, 'g')),
       16,
       false,
       {{kSecIContinueNeeded, "hello"}, {kSecIContinueNeeded, "key exchange"}, {kSecEOk, ""}},
       0,
       {"hello", "key exchange"}},
      {"a plain HTTP server that closes",
       kPlainReply,
       1 << 20,
       true,
       {},
       kWSAECONNRESET,
       {"hello"}},
      {"a plain HTTP server that holds the connection",
       kPlainReply,
       1 << 20,
       false,
       {},
       kWSAETIMEDOUT,
       {"hello"}},
      {"a message larger than the buffer",
       Record('H', std::string(65535, 'f')),
       1 << 20,
       false,
       {},
       kSecEIllegalMessage,
       {"hello"}},
      {"a refusal sends its alert",
       Record('H', "f"),
       1 << 20,
       false,
       {{kSecIContinueNeeded, "hello"}, {kSecEIllegalMessage, "alert"}},
       kSecEIllegalMessage,
       {"hello", "alert"}},
  };
  for (const Case& c : cases) {
    FakeSspi fake;
    fake.steps.assign(c.steps.begin(), c.steps.end());
    fake.Arrive(c.wire, c.pieceSize);
    if (c.end) fake.ArriveEnd();
    SspiChannel channel(fake);
    EXPECT_EQ(channel.Handshake(30000), c.result) << c.name;
    EXPECT_EQ(fake.sends, c.sends) << c.name;
    if (c.result == kWSAETIMEDOUT) {
      EXPECT_EQ(fake.clockMs, 30000u) << c.name;
    }
  }
}

// After a handshake whose last flight arrived with the first records, the
// body is read 7 bytes at a time until the end or a failure.
TEST(SspiChannel, HandshakeMessagesAfterTheHandshakeAreAnsweredAndTheBodyGoesOn) {
  struct Case {
    const char* name;
    std::vector<std::string> wire;  // one receive each
    bool end;
    std::vector<Step> steps;  // for the messages after the handshake
    std::string body;
    int32_t error;  // 0: the body ends with 0
    std::vector<std::string> sends;
  } cases[] = {
      {"a renegotiation mid-body, its flights in 5-byte pieces",
       {Record('D', "first half, ") + Record('R', "hello request"),
        Record('H', "server hello").substr(0, 5), Record('H', "server hello").substr(5),
        Record('H', "finished") + Record('D', "second half") + Record('C', "")},
       false,
       {{kSecIContinueNeeded, "client hello"},
        {kSecIContinueNeeded, "client finished"},
        {kSecEOk, ""}},
       "first half, second half",
       0,
       {"client hello", "client finished"}},
      {"a key update that asks for one, records after it in the same receive",
       {Record('D', "before") + Record('R', "key update") + Record('D', " after"), Record('C', "")},
       false,
       {{kSecEOk, "key update"}},
       "before after",
       0,
       {"key update"}},
      {"a session ticket", {Record('R', "ticket") + Record('D', "body")}, true, {}, "body", 0, {}},
      {"a renegotiation the context refuses",
       {Record('D', "part") + Record('R', "hello request")},
       false,
       {{kSecEIllegalMessage, "alert"}},
       "part",
       kSecEIllegalMessage,
       {"alert"}},
      {"a server that closes while renegotiating",
       {Record('D', "part") + Record('R', "hello request")},
       true,
       {{kSecIContinueNeeded, "client hello"}},
       "part",
       kWSAECONNRESET,
       {"client hello"}},
      {"a stream cut inside the last record",
       {Record('D', "whole"), Record('D', std::string(20, 'x')).substr(0, 13)},
       true,
       {},
       "whole",
       kSecEIncompleteMessage,
       {}},
      {"a stream that ends at a record boundary", {Record('D', "whole")}, true, {}, "whole", 0, {}},
      {"a close-notify", {Record('D', "whole") + Record('C', "")}, false, {}, "whole", 0, {}},
      {"a record that fails",
       {Record('D', "good") + Record('X', "bad")},
       false,
       {},
       "good",
       kSecEDecryptFailure,
       {}},
  };
  for (const Case& c : cases) {
    FakeSspi fake;
    fake.Arrive(Record('H', "server flight") + c.wire[0]);
    for (size_t i = 1; i < c.wire.size(); ++i) fake.Arrive(c.wire[i]);
    if (c.end) fake.ArriveEnd();
    SspiChannel channel(fake);
    ASSERT_EQ(channel.Handshake(30000), 0) << c.name;
    fake.sends.clear();
    fake.steps.assign(c.steps.begin(), c.steps.end());
    std::string body;
    int32_t n = 0, error = 0;
    uint8_t buffer[7];
    for (int reads = 0; reads < 100; ++reads) {
      n = channel.Read(buffer, sizeof buffer, error);
      if (n > 0) body.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
      if (n == 0 || (n < 0 && error != kWSAEWOULDBLOCK)) break;
    }
    EXPECT_EQ(body, c.body) << c.name;
    if (c.error == 0) {
      EXPECT_EQ(n, 0) << c.name;
    } else {
      EXPECT_EQ(n, kSocketError) << c.name;
      EXPECT_EQ(error, c.error) << c.name;
      // A failed channel stays failed.
      EXPECT_EQ(channel.Read(buffer, sizeof buffer, error), kSocketError) << c.name;
      EXPECT_EQ(error, c.error) << c.name;
    }
    EXPECT_EQ(fake.sends, c.sends) << c.name;
  }
}

}  // namespace
}  // namespace wex
