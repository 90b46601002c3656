#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace wex {

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

ScriptedServer::ScriptedServer(std::vector<Step> script, Loopback loopback)
    : script_(std::move(script)) {
  listener_ = ListenOnLoopback(loopback == Loopback::kIpv6, port_);
  // On failure Port() stays 0 and the test's connect fails.
  if (listener_ >= 0) thread_ = std::thread(&ScriptedServer::Run, this);
}

ScriptedServer::~ScriptedServer() {
  {
    // Shutting the sockets down wakes the thread from accept, recv and send.
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    if (connection_ >= 0) shutdown(connection_, SHUT_RDWR);
    if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
  }
  cued_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

void ScriptedServer::Cue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++cues_;
  }
  cued_.notify_all();
}

std::vector<std::string> ScriptedServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ScriptedServer::Run() {
  for (;;) {
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) {
      if (connection >= 0) close(connection);
      return;
    }
    if (connection < 0) continue;
    connection_ = connection;
    lock.unlock();
    Play(connection);
    lock.lock();
    connection_ = -1;
    close(connection);
  }
}

void ScriptedServer::Play(int connection) {
  int cuesSeen = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cuesSeen = cues_;
  }
  bool open = true;
  for (auto step = script_.begin(); open && step != script_.end(); ++step) {
    switch (step->kind) {
      case Step::kCaptureRequest: {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
          ssize_t n = recv(connection, buffer, sizeof buffer, 0);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;
          request.append(buffer, static_cast<size_t>(n));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        break;
      }
      case Step::kSend:
        for (size_t done = 0; open && done < step->bytes.size();) {
          ssize_t n =
              send(connection, step->bytes.data() + done, step->bytes.size() - done, MSG_NOSIGNAL);
          if (n < 0 && errno == EINTR) continue;
          open = n > 0;
          if (open) done += static_cast<size_t>(n);
        }
        break;
      case Step::kWaitCue: {
        std::unique_lock<std::mutex> lock(mutex_);
        cued_.wait(lock, [&] { return stopping_ || cues_ > cuesSeen; });
        open = !stopping_;
        ++cuesSeen;
        break;
      }
      case Step::kClose:
        shutdown(connection, SHUT_WR);
        open = false;
        break;
      case Step::kReset: {
        linger hard{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        open = false;
        break;
      }
    }
  }
  if (open) shutdown(connection, SHUT_WR);
}

}  // namespace wex
