#include "tests/support/fixture_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace wex {
namespace {

// Writes every byte; false when the connection failed.
bool WriteAll(SSL* ssl, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    int n = SSL_write(ssl, bytes.data() + at, static_cast<int>(bytes.size() - at));
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

// Runs the server's reads until the renegotiation it asked for has
// completed: the client must answer the request with a whole new handshake.
// The socket does not block meanwhile, so that no read waits for data the
// client will never send; a client that does not answer within 10 s fails.
bool AwaitRenegotiation(SSL* ssl, int fd) {
  int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  bool done = false;
  for (;;) {
    char byte;
    int n = SSL_peek(ssl, &byte, 1);
    int reason = SSL_get_error(ssl, n);
    if (SSL_renegotiate_pending(ssl) == 0) {
      done = true;
      break;
    }
    if (n > 0 || (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE)) break;
    pollfd entry{fd, static_cast<short>(reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    if (poll(&entry, 1, 10000) <= 0) break;
  }
  fcntl(fd, F_SETFL, flags);
  return done;
}

// One connection: the request, half of /bytes/<n>, the handshake message,
// the rest, the close-notify; then reads until the client closes.
void Answer(SSL_CTX* context, int fd, FixtureServer::Kind kind) {
  SSL* ssl = SSL_new(context);
  SSL_set_fd(ssl, fd);
  std::string request;
  char buffer[4096];
  if (SSL_accept(ssl) == 1) {
    while (request.find("\r\n\r\n") == std::string::npos) {
      int n = SSL_read(ssl, buffer, sizeof buffer);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
  }
  size_t size = 0;
  if (std::sscanf(request.c_str(), "GET /bytes/%zu", &size) == 1) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i & 0xFF);
    std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    bool sent = WriteAll(ssl, head + body.substr(0, size / 2));
    if (sent && kind == FixtureServer::Kind::kRenegotiate) {
      sent = SSL_renegotiate(ssl) == 1 && SSL_do_handshake(ssl) == 1 && AwaitRenegotiation(ssl, fd);
    } else if (sent) {
      sent = SSL_key_update(ssl, SSL_KEY_UPDATE_REQUESTED) == 1 && SSL_do_handshake(ssl) == 1;
    }
    // A client that did not answer gets no more: its body comes up short.
    if (sent && WriteAll(ssl, body.substr(size / 2))) SSL_shutdown(ssl);
  }
  shutdown(fd, SHUT_WR);
  while (SSL_read(ssl, buffer, sizeof buffer) > 0) {
  }
  SSL_free(ssl);
  close(fd);
}

// The child's server, one connection at a time until it is stopped.
[[noreturn]] void ServeHandshakeMessages(int listener, const std::string& certificate,
                                         FixtureServer::Kind kind) {
  // A client that goes away mid-body ends the connection, not the server.
  signal(SIGPIPE, SIG_IGN);
  const std::string dir = WEX_TLS_DIR;
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  int version = kind == FixtureServer::Kind::kRenegotiate ? TLS1_2_VERSION : TLS1_3_VERSION;
  if (context == nullptr || SSL_CTX_set_min_proto_version(context, version) != 1 ||
      SSL_CTX_set_max_proto_version(context, version) != 1 ||
      SSL_CTX_use_certificate_chain_file(context, (dir + "/" + certificate).c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, (dir + "/server.key").c_str(), SSL_FILETYPE_PEM) != 1) {
    _exit(1);
  }
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd >= 0) Answer(context, fd, kind);
  }
}

}  // namespace

std::string FixtureServer::TrustFile() { return std::string(WEX_TLS_DIR) + "/ca.pem"; }

FixtureServer::FixtureServer(Kind kind, const std::string& certificate) {
  if (kind == Kind::kRenegotiate || kind == Kind::kKeyUpdate) {
    uint16_t port = 0;
    const int listener = ListenOnLoopback(false, port);
    if (listener < 0) return;
    child_ = fork();
    if (child_ == 0) ServeHandshakeMessages(listener, certificate, kind);
    close(listener);
    if (child_ > 0) port_ = port;
    return;
  }
  const std::string dir = WEX_TLS_DIR, fixtures = std::string(WEX_SOURCE_DIR) + "/tests/support/";
  std::vector<std::string> args = {"python3", fixtures + "http_fixture.py", "--root",
                                   std::string(WEX_SOURCE_DIR) + "/tests/wine/site"};
  if (kind != Kind::kHttp) {
    args[1] = fixtures + "tls_fixture.py";
    args.insert(args.end(), {"--cert", dir + "/" + certificate, "--key", dir + "/server.key"});
  }
  if (kind == Kind::kSilent) args.push_back("--silent");
  if (kind == Kind::kPlain || kind == Kind::kPlainHolding) args.push_back("--plain");
  if (kind == Kind::kPlainHolding) args.push_back("--hold");
  int out[2];
  if (pipe(out) != 0) return;
  child_ = fork();
  if (child_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The fixture prints its port once it listens (or ends, and nothing comes).
  FILE* reader = fdopen(out[0], "r");
  unsigned port = 0;
  if (reader != nullptr) {
    if (std::fscanf(reader, "%u", &port) != 1) port = 0;
    std::fclose(reader);
  } else {
    close(out[0]);
  }
  port_ = static_cast<uint16_t>(port);
}

FixtureServer::~FixtureServer() {
  if (child_ <= 0) return;
  kill(child_, SIGTERM);
  int status = 0;
  waitpid(child_, &status, 0);
}

std::string FixtureServer::Get(const std::string& path) const {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port_);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::string response;
  const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
      response.append(buffer, static_cast<size_t>(n));
  }
  if (fd >= 0) close(fd);
  return response;
}

int ListenOnLoopback(bool ipv6, uint16_t& port) {
  sockaddr_in6 address{};  // an IPv4 address fits in it, its port at the same place
  socklen_t length = sizeof address;
  if (!ipv6) {
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    ipv4->sin_family = AF_INET;
    ipv4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *ipv4;
  } else {
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
  }
  auto* any = reinterpret_cast<sockaddr*>(&address);
  const int listener = ::socket(any->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0 || bind(listener, any, length) != 0 || listen(listener, 16) != 0 ||
      getsockname(listener, any, &length) != 0) {
    if (listener >= 0) close(listener);
    return -1;
  }
  port = ntohs(address.sin6_port);
  return listener;
}

}  // namespace wex
