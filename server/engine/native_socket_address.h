// The engine's SocketAddress as the socket library's sockaddr and back. BSD
// sockets and Winsock declare these structures with the same members, so both
// platforms share this one conversion; include it after the platform's socket
// headers.
#pragma once

#include <cstring>

#include "server/engine/platform.h"

namespace wex {

// Fills target and gives its length, or 0 for a family without a sockaddr.
inline int ToNativeAddress(const SocketAddress& address, sockaddr_storage& target) {
  target = sockaddr_storage{};
  if (address.family == kFamilyInet) {
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&target);
    ipv4->sin_family = AF_INET;
    ipv4->sin_port = address.port;
    std::memcpy(&ipv4->sin_addr, address.address, 4);
    return sizeof(sockaddr_in);
  }
  if (address.family == kFamilyInet6) {
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&target);
    ipv6->sin6_family = AF_INET6;
    ipv6->sin6_port = address.port;
    std::memcpy(&ipv6->sin6_addr, address.address, 16);
    ipv6->sin6_scope_id = address.scopeId;
    return sizeof(sockaddr_in6);
  }
  return 0;
}

// The address of a name lookup's entry, without its port.
inline SocketAddress FromNativeAddress(const sockaddr_in6& ipv6) {
  SocketAddress address;
  address.family = kFamilyInet6;
  std::memcpy(address.address, &ipv6.sin6_addr, 16);
  address.scopeId = ipv6.sin6_scope_id;
  return address;
}

inline SocketAddress FromNativeAddress(const sockaddr_in& ipv4) {
  SocketAddress address;
  address.family = kFamilyInet;
  std::memcpy(address.address, &ipv4.sin_addr, 4);
  return address;
}

}  // namespace wex
