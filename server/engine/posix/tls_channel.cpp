#include "server/engine/posix/tls_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "server/engine/platform.h"
#include "server/engine/posix/posix_errors.h"

namespace wex {
namespace {

// The reason a rejected certificate gives, by OpenSSL's verification result.
int32_t CertificateError(long result) {
  switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kCertEExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return kCertENameMismatch;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_CERT_UNTRUSTED:
      return kCertEUntrustedRoot;
    default:
      return kCertEChaining;
  }
}

// Restores a socket's blocking mode when the handshake is over.
class NonBlockingScope {
 public:
  explicit NonBlockingScope(int fd) : fd_(fd), flags_(fcntl(fd, F_GETFL)) {
    if (flags_ >= 0) fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
  }
  ~NonBlockingScope() {
    if (flags_ >= 0) fcntl(fd_, F_SETFL, flags_);
  }
  NonBlockingScope(const NonBlockingScope&) = delete;
  NonBlockingScope& operator=(const NonBlockingScope&) = delete;

 private:
  int fd_;
  int flags_;
};

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, at least 0.
int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// True when the server's first bytes were no TLS record at all (a plain HTTP
// server's answer, garbage).
bool NotTls(unsigned long failure) {
  return ERR_GET_LIB(failure) == ERR_LIB_SSL &&
         ERR_GET_REASON(failure) == SSL_R_WRONG_VERSION_NUMBER;
}

// Schannel reads the first five bytes of anything as a record header and
// waits for the rest its length claims, which for text runs past whatever a
// server sends: the handshake then ends only with the connection (10054) or
// the time limit (10060). The same here, so that such a server gives the
// same refusal on every platform.
int32_t AwaitEnd(int fd, Clock::time_point deadline) {
  char discard[4096];
  for (;;) {
    int left = MillisecondsLeft(deadline);
    pollfd entry{fd, POLLIN, 0};
    int n = left > 0 ? poll(&entry, 1, left) : 0;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WinsockErrorFromErrno(errno);
    if (n == 0) return kWSAETIMEDOUT;
    ssize_t got = recv(fd, discard, sizeof discard, 0);
    if (got == 0) return kWSAECONNRESET;
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      return WinsockErrorFromErrno(errno);
    }
  }
}

}  // namespace

TlsContext::TlsContext(const std::string& trustFile) {
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) return;
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  // A server that ends the stream without a close-notify ends the body: the
  // end of the connection is the end of the transfer, as for plain requests
  // (unless it ends inside a record: see Read).
  SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // The engine offers the unsent rest of a request again from a new position.
  SSL_CTX_set_mode(context_, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  if (trustFile.empty()) {
    SSL_CTX_set_default_verify_paths(context_);
  } else {
    SSL_CTX_load_verify_locations(context_, trustFile.c_str(), nullptr);
  }
}

TlsContext::~TlsContext() { SSL_CTX_free(context_); }

std::unique_ptr<TlsChannel> TlsChannel::Establish(const TlsContext& context, int fd,
                                                  const std::string& hostName, int timeoutMs,
                                                  int32_t& error) {
  error = kSecEInternalError;
  if (context.get() == nullptr) return nullptr;
  SSL* ssl = SSL_new(context.get());
  if (ssl == nullptr) return nullptr;
  std::unique_ptr<TlsChannel> channel(new TlsChannel(ssl));
  // An address is checked as an address and sent as no server name.
  in6_addr literal{};
  const bool isAddress = inet_pton(AF_INET, hostName.c_str(), &literal) == 1 ||
                         inet_pton(AF_INET6, hostName.c_str(), &literal) == 1;
  if (isAddress) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), hostName.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, hostName.c_str());
    SSL_set1_host(ssl, hostName.c_str());
  }
  if (SSL_set_fd(ssl, fd) != 1) return nullptr;

  NonBlockingScope nonBlocking(fd);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ERR_clear_error();
    int result = SSL_connect(ssl);
    if (result == 1) return channel;
    int reason = SSL_get_error(ssl, result);
    short wanted = reason == SSL_ERROR_WANT_READ    ? POLLIN
                   : reason == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                    : 0;
    if (wanted == 0) {
      long verified = SSL_get_verify_result(ssl);
      if (verified != X509_V_OK) {
        error = CertificateError(verified);
      } else if (reason == SSL_ERROR_SYSCALL) {
        // The peer closed or reset the connection during the handshake.
        error = errno != 0 ? WinsockErrorFromErrno(errno) : kWSAECONNRESET;
      } else if (NotTls(ERR_peek_error())) {
        error = AwaitEnd(fd, deadline);
      } else {
        // A TLS server that refused the handshake.
        error = kSecEIllegalMessage;
      }
      return nullptr;
    }
    int left = MillisecondsLeft(deadline);
    if (left <= 0) {
      error = kWSAETIMEDOUT;
      return nullptr;
    }
    pollfd entry{fd, wanted, 0};
    int n = poll(&entry, 1, left);
    if (n < 0 && errno != EINTR) {
      error = WinsockErrorFromErrno(errno);
      return nullptr;
    }
  }
}

TlsChannel::~TlsChannel() { SSL_free(ssl_); }

int32_t TlsChannel::Failure(int result, int32_t& error) {
  switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      error = kWSAEWOULDBLOCK;
      return kSocketError;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_SYSCALL:
      if (errno == 0) return 0;
      error = WinsockErrorFromErrno(errno);
      return kSocketError;
    default:
      error = kSecEDecryptFailure;
      return kSocketError;
  }
}

int32_t TlsChannel::Read(uint8_t* buffer, int32_t length, int32_t& error) {
  if (length <= 0) return 0;
  ERR_clear_error();
  errno = 0;
  int n = SSL_read(ssl_, buffer, length);
  if (n > 0) return n;
  int32_t result = Failure(n, error);
  // An end of stream taken as the close leaves the bytes of a record begun
  // and never finished in the record layer: the stream was cut inside it.
  if (result == 0 && SSL_has_pending(ssl_) == 1) {
    error = kSecEIncompleteMessage;
    return kSocketError;
  }
  return result;
}

int32_t TlsChannel::Write(const uint8_t* bytes, int32_t count, int32_t& error) {
  if (count <= 0) return 0;
  ERR_clear_error();
  errno = 0;
  int n = SSL_write(ssl_, bytes, count);
  if (n > 0) return n;
  int32_t result = Failure(n, error);
  // A write can never "succeed" with 0: a closed peer is a reset here.
  if (result == 0) {
    error = kWSAECONNRESET;
    return kSocketError;
  }
  return result;
}

bool TlsChannel::HasBuffered() const { return SSL_pending(ssl_) > 0; }

}  // namespace wex
