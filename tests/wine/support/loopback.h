// A listening socket on 127.0.0.1 for tests that play the server themselves.
#pragma once

#include <winsock2.h>

namespace wex {

// Listens on a free port of 127.0.0.1; address gets where.
inline SOCKET ListenOnLoopback(sockaddr_in& address, int backlog) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  address = sockaddr_in{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), length);
  listen(s, backlog);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  return s;
}

}  // namespace wex
