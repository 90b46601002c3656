// The local HTTPS fixture (tls_fixture.py) in a child process on 127.0.0.1
// with a test certificate from WEX_TLS_DIR, listening once constructed and
// stopped by the destructor. kRenegotiate and kKeyUpdate are an OpenSSL server
// of its own instead, which sends a handshake message halfway through
// /bytes/<n>, as the fixture's TLS library cannot.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace wex {

class TlsServer {
 public:
  enum class Kind { kTls, kSilent, kPlain, kPlainHolding, kRenegotiate, kKeyUpdate };
  // certificate: a file name in WEX_TLS_DIR ("localhost.pem", "expired.pem", ...).
  explicit TlsServer(const std::string& certificate, Kind kind = Kind::kTls);
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  uint16_t Port() const { return port_; }
  // The test CA, the one root the tests trust.
  static std::string TrustFile();

 private:
  pid_t child_ = -1;
  uint16_t port_ = 0;
};

}  // namespace wex
