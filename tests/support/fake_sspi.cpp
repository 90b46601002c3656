#include "tests/support/fake_sspi.h"

#include <algorithm>
#include <cstring>

#include "server/engine/platform.h"

namespace wex {
namespace {

constexpr size_t kHeader = 5;
constexpr size_t kMaxMessage = 16384;

// The size of the whole first record in `input`, or 0 when it has not all arrived.
size_t WholeRecord(const uint8_t* input, size_t size) {
  if (size < kHeader) return 0;
  size_t record = kHeader + (static_cast<size_t>(input[3]) << 8 | input[4]);
  return record <= size ? record : 0;
}

}  // namespace

std::string FakeSspi::Record(char type, const std::string& payload) {
  std::string record{type, 3, 3, static_cast<char>(payload.size() >> 8),
                     static_cast<char>(payload.size() & 0xFF)};
  return record + payload;
}

void FakeSspi::Arrive(const std::string& bytes, size_t pieceSize) {
  for (size_t at = 0; at < bytes.size(); at += pieceSize) {
    pieces.push_back(bytes.substr(at, pieceSize));
  }
}

SspiCalls::Result FakeSspi::Initialize(const uint8_t* input, size_t size) {
  Result result;
  if (initializeCalls++ > 0) {
    size_t record = WholeRecord(input, size);
    if (record == 0 || (input[0] != 'H' && input[0] != 'R')) {
      result.status = record == 0 ? kSecEIncompleteMessage : kSecEIllegalMessage;
      return result;
    }
    result.extra = size - record;
  }
  Step step = initializeCalls == 1 ? Step{kSecIContinueNeeded, "hello"} : Step{kSecEOk, ""};
  if (!steps.empty()) {
    step = steps.front();
    steps.pop_front();
  }
  output_ = step.token;
  result.status = step.status;
  result.bytes = reinterpret_cast<const uint8_t*>(output_.data());
  result.size = output_.size();
  return result;
}

SspiCalls::Result FakeSspi::Decrypt(uint8_t* input, size_t size) {
  decrypted.push_back(size);
  Result result;
  size_t record = WholeRecord(input, size);
  if (record == 0) {
    result.status = kSecEIncompleteMessage;
    return result;
  }
  result.extra = size - record;
  switch (input[0]) {
    case 'D':
      output_.assign(reinterpret_cast<const char*>(input) + kHeader, record - kHeader);
      result.bytes = reinterpret_cast<const uint8_t*>(output_.data());
      result.size = output_.size();
      break;
    case 'C':
      result.status = kSecIContextExpired;
      break;
    case 'R':
      // The handshake message comes back whole, with what follows it.
      result.status = kSecIRenegotiate;
      result.extra = size;
      break;
    default:
      result.status = kSecEDecryptFailure;
  }
  return result;
}

int32_t FakeSspi::Encrypt(const uint8_t* bytes, size_t count, std::vector<uint8_t>& record) {
  std::string text = Record('D', std::string(reinterpret_cast<const char*>(bytes), count));
  record.assign(text.begin(), text.end());
  return kSecEOk;
}

int32_t FakeSspi::StreamSizes(size_t& maxMessage, size_t& maxRecord) {
  maxMessage = kMaxMessage;
  maxRecord = kHeader + kMaxMessage;
  return kSecEOk;
}

int32_t FakeSspi::Receive(uint8_t* buffer, size_t size, int32_t& error) {
  receiveRoom.push_back(size);
  if (pieces.empty()) {
    error = kWSAEWOULDBLOCK;
    return kSocketError;
  }
  std::string& piece = pieces.front();
  if (piece.empty()) return 0;  // the end stays the end
  size_t n = std::min(size, piece.size());
  std::memcpy(buffer, piece.data(), n);
  piece.erase(0, n);
  if (piece.empty()) pieces.pop_front();
  return static_cast<int32_t>(n);
}

int32_t FakeSspi::WaitReadable(int32_t timeoutMs) {
  if (!pieces.empty()) return 0;
  clockMs += static_cast<uint64_t>(timeoutMs);
  return kWSAETIMEDOUT;
}

int32_t FakeSspi::SendAll(const uint8_t* bytes, size_t count, int32_t timeoutMs) {
  (void)timeoutMs;
  sends.emplace_back(reinterpret_cast<const char*>(bytes), count);
  return 0;
}

}  // namespace wex
