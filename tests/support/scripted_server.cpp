#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace wex {

ScriptedServer::ScriptedServer(std::vector<Step> script, Loopback loopback)
    : script_(std::move(script)) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (loopback == Loopback::kIpv4) {
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    ipv4->sin_family = AF_INET;
    ipv4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *ipv4;
  } else {
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
    ipv6->sin6_family = AF_INET6;
    ipv6->sin6_addr = in6addr_loopback;
    length = sizeof *ipv6;
  }
  listener_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      pipe2(wake_, O_CLOEXEC) != 0) {
    return;  // Port() stays 0 and the test's connect fails
  }
  // The port sits at the same place in both kinds of address.
  port_ = ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
  thread_ = std::thread(&ScriptedServer::Run, this);
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  cued_.notify_all();
  if (wake_[1] >= 0) {
    char stop = 's';
    (void)!write(wake_[1], &stop, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
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

// Waits until fd is ready for events or the server is stopped (false).
bool ScriptedServer::WaitFor(int fd, short events) {
  pollfd watched[2] = {{fd, events, 0}, {wake_[0], POLLIN, 0}};
  for (;;) {
    int n = poll(watched, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || watched[1].revents != 0) return false;
    if (watched[0].revents != 0) return true;
  }
}

void ScriptedServer::Run() {
  while (WaitFor(listener_, POLLIN)) {
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Play(connection);
  }
}

bool ScriptedServer::SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (!WaitFor(fd, POLLOUT)) return false;
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ScriptedServer::Play(int connection) {
  int cuesSeen = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cuesSeen = cues_;
  }
  bool open = true;
  for (const Step& step : script_) {
    if (!open) break;
    switch (step.kind) {
      case Step::kCaptureRequest: {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && WaitFor(connection, POLLIN)) {
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
        open = SendAll(connection, step.bytes);
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
  close(connection);
}

}  // namespace wex
