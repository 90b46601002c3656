// Scripted security and socket calls for the Schannel state machine
// (server/engine/sspi_channel.h), so that its every branch runs natively.
//
// The wire is framed the way Schannel reads it, in miniature: a record is a
// type byte, a two-byte length (big-endian) and that many bytes. 'H' is a
// handshake message, 'D' application data, 'C' the close-notify, 'R' a
// handshake message after the handshake (a renegotiation request, a key
// update, a session ticket) and 'X' a record that fails to decrypt. Bytes
// that do not hold a whole record yet are an incomplete message, as they
// are to Schannel; so is text whose "length" runs past what arrived, as a
// plain HTTP reply does.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "server/engine/sspi_channel.h"

namespace wex {

class FakeSspi : public SspiCalls {
 public:
  // What InitializeSecurityContext answers to its next whole message (or, on
  // the first call, to nothing). Default: the first call continues with the
  // token "hello", every later one completes without a token.
  struct Step {
    int32_t status;
    std::string token;
  };
  // A receive: bytes, the end of the stream (result 0), or a failure.
  struct Piece {
    std::string bytes;
    int32_t result;
    int32_t error;
  };

  std::deque<Step> steps;
  std::deque<Piece> pieces;  // default: would block
  uint64_t clockMs = 0;      // NowMs; a wait for bytes that never come runs it to its end

  static std::string Record(char type, const std::string& payload);
  // Queues `bytes` to arrive in receives of at most `pieceSize` bytes.
  void Arrive(const std::string& bytes, size_t pieceSize = 1 << 20);
  void ArriveEnd() { pieces.push_back({std::string(), 0, 0}); }

  std::vector<std::string> sends;  // every SendAll, whole
  int initializeCalls = 0;

  Result Initialize(const uint8_t* input, size_t size) override;
  Result Decrypt(uint8_t* input, size_t size) override;
  int32_t Encrypt(const uint8_t* bytes, size_t count, std::vector<uint8_t>& record) override;
  int32_t StreamSizes(size_t& maxMessage, size_t& maxRecord) override;
  int32_t Receive(uint8_t* buffer, size_t size, int32_t& error) override;
  int32_t WaitReadable(int32_t timeoutMs) override;
  int32_t SendAll(const uint8_t* bytes, size_t count, int32_t timeoutMs) override;
  uint64_t NowMs() override { return clockMs; }

 private:
  std::string output_;  // the token or plain bytes handed out last
};

}  // namespace wex
