// The local servers of the native end-to-end tests: the fixtures the Wine
// suite runs too (http_fixture.py, tls_fixture.py) in a child process, and for
// handshake messages halfway through /bytes/<n>, which the fixture's TLS
// library cannot send, an OpenSSL server of its own. Each listens once
// constructed and is stopped by its destructor.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace wex {

class FixtureServer {
 public:
  enum class Kind {
    kHttp,          // http_fixture.py on 127.0.0.1 and ::1, the same port
    kTls,           // tls_fixture.py with `certificate`
    kSilent,        // never answers the handshake
    kPlain,         // plain HTTP on the secure fixture, then closed
    kPlainHolding,  // plain HTTP, then the connection held open
    kRenegotiate,   // TLS 1.2, a renegotiation halfway through the body
    kKeyUpdate,     // TLS 1.3, a key update halfway through the body
  };
  // certificate: a file name in WEX_TLS_DIR ("localhost.pem", "expired.pem", ...).
  explicit FixtureServer(Kind kind, const std::string& certificate = "localhost.pem");
  ~FixtureServer();
  FixtureServer(const FixtureServer&) = delete;
  FixtureServer& operator=(const FixtureServer&) = delete;

  uint16_t Port() const { return port_; }
  // The response to a GET of `path` on a connection of its own (to open a
  // /gate/ of the plain fixture); empty when it could not be asked.
  std::string Get(const std::string& path) const;
  // The test CA, the one root the tests trust.
  static std::string TrustFile();

 private:
  pid_t child_ = -1;
  uint16_t port_ = 0;
};

// A socket listening on 127.0.0.1 (or ::1), its port in `port`; -1 on failure.
int ListenOnLoopback(bool ipv6, uint16_t& port);

// Runs pump(timeoutMs) until done() holds or the limit passes; true if done.
template <typename Pump>
bool PumpUntil(Pump&& pump, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pump(50);
  }
  return true;
}

}  // namespace wex
