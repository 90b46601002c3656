// One TLS client connection over a connected socket, with OpenSSL: the
// secure channel beneath the POSIX platform's seam.
//
// Its results keep the seam's meaning: a read that completes no record says
// "would block" (10035), the peer's close at a record boundary reads as 0
// (with or without a close-notify), a close inside a record fails with
// SEC_E_INCOMPLETE_MESSAGE, and every failure is given as the Winsock or Windows
// number the seam names (kCertE*, kSecE*, 10060 for the handshake time-out).
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <string>

namespace wex {

// The client settings every channel of a platform shares: the trusted roots
// (the system's, or only those of one file) and certificate checks always on.
class TlsContext {
 public:
  // trustFile empty: the system's trust store.
  explicit TlsContext(const std::string& trustFile);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* get() const { return context_; }

 private:
  SSL_CTX* context_ = nullptr;
};

class TlsChannel {
 public:
  // Runs the handshake on the blocking socket fd within timeoutMs, with
  // hostName as the server name and the name the certificate must carry.
  // Null on failure, with the reason in `error`.
  static std::unique_ptr<TlsChannel> Establish(const TlsContext& context, int fd,
                                               const std::string& hostName, int timeoutMs,
                                               int32_t& error);
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Plain bytes read (1..length), 0 at the peer's close, or -1 with `error`.
  int32_t Read(uint8_t* buffer, int32_t length, int32_t& error);
  // Plain bytes taken (all of count), or -1 with `error` (10035: offer the
  // same bytes again once the socket is writable).
  int32_t Write(const uint8_t* bytes, int32_t count, int32_t& error);
  // Plain bytes decrypted and not read yet: the socket will not tell of them.
  bool HasBuffered() const;

 private:
  explicit TlsChannel(SSL* ssl) : ssl_(ssl) {}
  int32_t Failure(int result, int32_t& error);

  SSL* ssl_;
};

}  // namespace wex
