// Scripted security and socket calls, so that every branch of the Schannel
// state machine runs natively. A record is framed as TLS frames it: a type
// byte, the version 3.3, a big-endian two-byte length and its bytes. Types:
// 'H' handshake, 'D' data, 'C' close-notify, 'R' a handshake message after
// the handshake, 'X' one that fails to decrypt; bytes short of a whole
// record are an incomplete message, as to Schannel.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "server/engine/sspi_channel.h"

namespace wex {

class FakeSspi : public SspiCalls {
 public:
  // InitializeSecurityContext's answer to its next whole message; default:
  // the first call continues with the token "hello", later ones complete.
  struct Step {
    int32_t status;
    std::string token;
  };
  std::deque<Step> steps;
  std::deque<std::string> pieces;  // one receive each; empty: the end; none: would block
  uint64_t clockMs = 0;            // NowMs; a wait for bytes that never come runs it to its end

  static std::string Record(char type, const std::string& payload);
  // Queues `bytes` to arrive in receives of at most `pieceSize` bytes.
  void Arrive(const std::string& bytes, size_t pieceSize = 1 << 20);
  void ArriveEnd() { pieces.emplace_back(); }

  std::vector<std::string> sends;  // every SendAll, whole
  int initializeCalls = 0;
  std::vector<size_t> decrypted;    // the bytes each Decrypt was handed
  std::vector<size_t> receiveRoom;  // the room each Receive was offered

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
