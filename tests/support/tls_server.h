// The local HTTPS server of the secure end-to-end tests
// (tests/support/tls_fixture.py) in a child process on 127.0.0.1, with one
// of the test certificates made at build time (WEX_TLS_DIR). Started by the
// constructor, which returns once it listens; stopped by the destructor.
//
// Two kinds send handshake messages in the middle of a body, which the
// fixture's TLS library cannot; a server of OpenSSL's own (tls_server.cpp)
// in the child answers /bytes/<n> with half the body, then a TLS 1.2
// renegotiation that it waits to see completed (kRenegotiate) or a TLS 1.3
// key update that asks for one (kKeyUpdate), then the rest.
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
