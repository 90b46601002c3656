// The Schannel channel's state machine through scripted security calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/engine/limits.h"
#include "server/engine/platform.h"
#include "server/engine/sspi_channel.h"
#include "tests/support/fake_sspi.h"

namespace wex {
namespace {

using Step = FakeSspi::Step;
const auto Record = FakeSspi::Record;

// Its "length" (bytes 1-2, "TT") runs far past what it sends.
const std::string kPlainReply = "HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n";

TEST(SspiChannel, TheHandshakeIsBoundedByItsTimeAndItsBufferNotByItsReads) {
  // The wire arrives in pieces of `piece` bytes; `end`: the server then closes.
  auto check = [](const char* name, const std::string& wire, size_t piece, bool end,
                  std::vector<Step> steps, int32_t result, std::vector<std::string> sends) {
    FakeSspi fake;
    fake.steps.assign(steps.begin(), steps.end());
    fake.Arrive(wire, piece);
    if (end) fake.ArriveEnd();
    SspiChannel channel(fake);
    EXPECT_EQ(channel.Handshake(30000), result) << name;
    EXPECT_EQ(fake.sends, sends) << name;
    if (result == kWSAETIMEDOUT) {
      EXPECT_EQ(fake.clockMs, 30000u) << name;
    }
  };
  check("a first flight of 1,185 bytes in 4-byte pieces", Record('H', std::string(1182, 'f')), 4,
        false, {}, 0, {"hello"});
  check("two flights in 16-byte pieces, every token sent whole",
        Record('H', std::string(900, 'f')) + Record('H', std::string(60, 'g')), 16, false,
        {{kSecIContinueNeeded, "hello"}, {kSecIContinueNeeded, "key exchange"}, {kSecEOk, ""}}, 0,
        {"hello", "key exchange"});
  check("a plain HTTP server that closes", kPlainReply, 1 << 20, true, {}, kWSAECONNRESET,
        {"hello"});
  check("a plain HTTP server that holds the connection", kPlainReply, 1 << 20, false, {},
        kWSAETIMEDOUT, {"hello"});
  check("a message larger than the buffer", Record('H', std::string(65535, 'f')), 1 << 20, false,
        {}, kSecEIllegalMessage, {"hello"});
  check("a refusal sends its alert", Record('H', "f"), 1 << 20, false,
        {{kSecIContinueNeeded, "hello"}, {kSecEIllegalMessage, "alert"}}, kSecEIllegalMessage,
        {"hello", "alert"});
}

// The body is read 7 bytes at a time after a last flight that came with records.
TEST(SspiChannel, HandshakeMessagesAfterTheHandshakeAreAnsweredAndTheBodyGoesOn) {
  // `wire`: one receive each; `steps`: for the messages after the handshake;
  // `error` 0: the body ends with 0.
  auto check = [](const char* name, std::vector<std::string> wire, bool end,
                  std::vector<Step> steps, const std::string& expected, int32_t error,
                  std::vector<std::string> sends) {
    FakeSspi fake;
    fake.Arrive(Record('H', "server flight") + wire[0]);
    for (size_t i = 1; i < wire.size(); ++i) fake.Arrive(wire[i]);
    if (end) fake.ArriveEnd();
    SspiChannel channel(fake);
    ASSERT_EQ(channel.Handshake(30000), 0) << name;
    fake.sends.clear();
    fake.steps.assign(steps.begin(), steps.end());
    std::string body;
    int32_t n = 0, failure = 0;
    uint8_t buffer[7];
    for (int reads = 0; reads < 100; ++reads) {
      n = channel.Read(buffer, sizeof buffer, failure);
      if (n > 0) body.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
      if (n == 0 || (n < 0 && failure != kWSAEWOULDBLOCK)) break;
    }
    EXPECT_EQ(body, expected) << name;
    EXPECT_EQ(n, error == 0 ? 0 : kSocketError) << name;
    if (error != 0) {
      EXPECT_EQ(failure, error) << name;
      EXPECT_EQ(channel.Read(buffer, sizeof buffer, failure), kSocketError) << name;
      EXPECT_EQ(failure, error) << name;
    }
    EXPECT_EQ(fake.sends, sends) << name;
  };
  const std::string hello = Record('H', "server hello");
  check("a renegotiation mid-body, its flights in 5-byte pieces",
        {Record('D', "first half, ") + Record('R', "hello request"), hello.substr(0, 5),
         hello.substr(5), Record('H', "finished") + Record('D', "second half") + Record('C', "")},
        false,
        {{kSecIContinueNeeded, "client hello"},
         {kSecIContinueNeeded, "client finished"},
         {kSecEOk, ""}},
        "first half, second half", 0, {"client hello", "client finished"});
  check(
      "a key update that asks for one, records after it in the same receive",
      {Record('D', "before") + Record('R', "key update") + Record('D', " after"), Record('C', "")},
      false, {{kSecEOk, "key update"}}, "before after", 0, {"key update"});
  check("a session ticket", {Record('R', "ticket") + Record('D', "body")}, true, {}, "body", 0, {});
  check("a renegotiation the context refuses", {Record('D', "part") + Record('R', "hello request")},
        false, {{kSecEIllegalMessage, "alert"}}, "part", kSecEIllegalMessage, {"alert"});
  check("a server that closes while renegotiating",
        {Record('D', "part") + Record('R', "hello request")}, true,
        {{kSecIContinueNeeded, "client hello"}}, "part", kWSAECONNRESET, {"client hello"});
  check("a stream cut inside the last record",
        {Record('D', "whole"), Record('D', std::string(20, 'x')).substr(0, 13)}, true, {}, "whole",
        kSecEIncompleteMessage, {});
  check("a stream that ends at a record boundary", {Record('D', "whole")}, true, {}, "whole", 0,
        {});
  check("a close-notify", {Record('D', "whole") + Record('C', "")}, false, {}, "whole", 0, {});
  check("a record that fails", {Record('D', "good") + Record('X', "bad")}, false, {}, "good",
        kSecEDecryptFailure, {});
}

// A record's first bytes wait for the socket, which tells of the rest: the
// channel neither reports them as buffered nor hands them to the security
// package, which is handed one whole record at a time.
TEST(SspiChannel, APartialRecordWaitsForTheSocket) {
  const std::string second = Record('D', "cd");
  FakeSspi fake;
  fake.Arrive(Record('H', "server flight"));
  SspiChannel channel(fake);
  ASSERT_EQ(channel.Handshake(30000), 0);
  fake.Arrive(Record('D', "ab") + second.substr(0, 6));
  fake.Arrive(second.substr(6));
  fake.decrypted.clear();
  fake.receiveRoom.clear();
  uint8_t buffer[64];
  int32_t error = 0;
  ASSERT_EQ(channel.Read(buffer, sizeof buffer, error), 2);
  EXPECT_FALSE(channel.HasBuffered());
  ASSERT_EQ(channel.Read(buffer, sizeof buffer, error), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "cd");
  EXPECT_EQ(fake.decrypted, (std::vector<size_t>{7, 7}));  // "ab", then "cd", framed
  // Each receive has as much room beside the partial record as a plain one.
  ASSERT_EQ(fake.receiveRoom.size(), 2u);
  EXPECT_GE(fake.receiveRoom[1], kReceiveBlockBytes);

  // Plain bytes the caller did not take are buffered.
  fake.Arrive(Record('D', "efgh"));
  ASSERT_EQ(channel.Read(buffer, 1, error), 1);
  EXPECT_TRUE(channel.HasBuffered());
}

}  // namespace
}  // namespace wex
