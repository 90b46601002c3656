// The test's own end of a connection on 127.0.0.1, for tests that play the
// server themselves.
#pragma once

#include <winsock2.h>

#include <string>

namespace wex {

// Listens on a free port of 127.0.0.1 and takes the connection made to it.
// Winsock counts its starts, so the peer holds one of its own for its lifetime.
class Peer {
 public:
  Peer()
      : started_(WSAStartup(MAKEWORD(1, 1), &data_) == 0),
        listener_(socket(AF_INET, SOCK_STREAM, 0)) {
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address_;
    bind(listener_, reinterpret_cast<sockaddr*>(&address_), length);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
  }
  ~Peer() {
    Close();
    closesocket(listener_);
    if (started_) WSACleanup();
  }
  const sockaddr_in& Address() const { return address_; }
  // A connect completes through the backlog before it is taken.
  void Accept() { connection_ = accept(listener_, nullptr, nullptr); }
  bool Send(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      int n = send(connection_, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  void EndSending() { shutdown(connection_, SD_SEND); }
  void Close() {
    if (connection_ != INVALID_SOCKET) closesocket(connection_);
    connection_ = INVALID_SOCKET;
  }

 private:
  WSADATA data_{};
  bool started_;  // before the listener, which needs it
  SOCKET listener_;
  SOCKET connection_ = INVALID_SOCKET;
  sockaddr_in address_{};
};

}  // namespace wex
