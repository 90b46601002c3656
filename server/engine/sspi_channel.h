// The state machine of a TLS client connection through the Windows security
// support provider interface (Schannel): the token exchange of the handshake
// and of every handshake message after it, the buffering of records, and the
// rules for the end of the stream.
//
// It is portable so that every branch can be driven natively: the calls it
// makes go through SspiCalls, which the Win32 platform adapts to secur32 and
// Winsock (win32/schannel_channel.*) and the tests script
// (tests/support/fake_sspi.*).
//
// Its results keep the seam's meaning: a read that completes no record says
// "would block", the peer's close at a record boundary reads as 0 (with or
// without a close-notify), a close inside a record fails with
// SEC_E_INCOMPLETE_MESSAGE, and every other failure is the SSPI or socket
// error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wex {

// SSPI results the state machine tells apart (the values of the SDK's
// SEC_E_OK and SEC_I_* codes; the failures it reports are in platform.h).
constexpr int32_t kSecEOk = 0;
constexpr int32_t kSecIContinueNeeded = 0x00090312;
constexpr int32_t kSecIContextExpired = 0x00090317;
constexpr int32_t kSecIIncompleteCredentials = 0x00090320;
constexpr int32_t kSecIRenegotiate = 0x00090321;

// The calls of the security package and of the socket beneath it.
class SspiCalls {
 public:
  // What InitializeSecurityContext or DecryptMessage gave back.
  struct Result {
    int32_t status = kSecEOk;
    // The output token to send (InitializeSecurityContext) or the plain
    // bytes (DecryptMessage); valid until the next call.
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    // How many of the last input bytes were not used (SECBUFFER_EXTRA).
    size_t extra = 0;
  };

  // InitializeSecurityContext over `size` raw bytes; the first call, which
  // creates the context, has no input.
  virtual Result Initialize(const uint8_t* input, size_t size) = 0;
  // DecryptMessage of the first record in `input` (decrypted in place).
  virtual Result Decrypt(uint8_t* input, size_t size) = 0;
  // EncryptMessage of `count` plain bytes into one whole record.
  virtual int32_t Encrypt(const uint8_t* bytes, size_t count, std::vector<uint8_t>& record) = 0;
  // QueryContextAttributes(SECPKG_ATTR_STREAM_SIZES): the most plain bytes
  // a record carries and the size of the largest record.
  virtual int32_t StreamSizes(size_t& maxMessage, size_t& maxRecord) = 0;

  // recv(): bytes read, 0 at the end of the stream, -1 with `error`.
  virtual int32_t Receive(uint8_t* buffer, size_t size, int32_t& error) = 0;
  // Waits at most timeoutMs for bytes to read: 0, or the error (WSAETIMEDOUT).
  virtual int32_t WaitReadable(int32_t timeoutMs) = 0;
  // Sends every byte, waiting while the socket would block, for at most
  // timeoutMs: 0, or the socket error.
  virtual int32_t SendAll(const uint8_t* bytes, size_t count, int32_t timeoutMs) = 0;
  // Milliseconds of a clock that only goes forward.
  virtual uint64_t NowMs() = 0;

 protected:
  ~SspiCalls() = default;
};

class SspiChannel {
 public:
  explicit SspiChannel(SspiCalls& calls) : calls_(calls) {}
  SspiChannel(const SspiChannel&) = delete;
  SspiChannel& operator=(const SspiChannel&) = delete;

  // The handshake on the blocking socket, within timeoutMs: 0, or the
  // reason it failed. Later handshake messages get the same time limit.
  int32_t Handshake(int32_t timeoutMs);
  // Plain bytes read (1..length), 0 at the peer's close, or -1 with `error`.
  int32_t Read(uint8_t* buffer, int32_t length, int32_t& error);
  // Plain bytes taken (one record's worth at most), sent whole, or -1 with `error`.
  int32_t Write(const uint8_t* bytes, int32_t count, int32_t& error);
  // Plain bytes, or raw bytes that may hold a record, that the socket will
  // not tell of again. The start of a record only waits for the socket,
  // which tells of the rest when it comes.
  bool HasBuffered() const {
    return plainAt_ < plainSize_ || (rawUsed_ > rawAt_ && !rawIncomplete_);
  }

 private:
  int32_t Negotiate(bool first, uint64_t deadline);
  size_t FirstRecord() const;
  int Decrypt(int32_t& error);
  void KeepExtra(size_t extra);
  void Compact();
  void KeepPlain();
  int32_t MillisecondsLeft(uint64_t deadline);

  SspiCalls& calls_;
  int32_t timeoutMs_ = 0;
  size_t maxMessage_ = 0;
  size_t maxRecord_ = 0;
  std::vector<uint8_t> raw_;  // received; from rawAt_ to rawUsed_ not yet decrypted
  size_t rawAt_ = 0;
  size_t rawUsed_ = 0;
  // The raw bytes not yet decrypted are known to be less than a record: they
  // are not handed to Decrypt again until the socket adds to them.
  bool rawIncomplete_ = false;
  // Decrypted, not yet read: where the calls left them (valid until the next
  // call or receive), or in plain_ when they must outlive that.
  const uint8_t* plainBytes_ = nullptr;
  size_t plainSize_ = 0;
  size_t plainAt_ = 0;
  std::vector<uint8_t> plain_;
  bool ended_ = false;
  int32_t failure_ = 0;  // once the channel failed, every read fails the same way
};

}  // namespace wex
