// Socket library, connection state, sockets and notifications of the Win32
// platform. The files are in win32_files.cpp.
#include "server/engine/win32/win32_platform.h"

#include <wininet.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "server/engine/native_socket_address.h"
#include "server/engine/win32/system_library.h"

namespace wex {
namespace {

SOCKET ToSocket(SocketHandle handle) {
  // Sign extension keeps -1 as INVALID_SOCKET on 64-bit Windows.
  return static_cast<SOCKET>(static_cast<intptr_t>(handle));
}

}  // namespace

Win32Platform::Win32Platform()
    : window_(kNotifyMessage, [this](WPARAM socket, LPARAM event) { Deliver(socket, event); }) {}

int32_t Win32Platform::Startup(uint16_t version) {
  WSADATA data;
  return WSAStartup(version, &data);
}

int32_t Win32Platform::Cleanup() { return WSACleanup(); }

bool Win32Platform::ConnectedState(uint32_t& flags) {
  // wininet is loaded at the first question, not at the program's start.
  static SystemLibrary wininet(L"wininet.dll");
  static const auto connectedState =
      wininet.Find<decltype(&InternetGetConnectedState)>("InternetGetConnectedState");
  DWORD state = 0;
  BOOL online = connectedState != nullptr && connectedState(&state, 0);
  flags = state;
  return online != FALSE;
}

uint64_t Win32Platform::MonotonicMs() { return GetTickCount64(); }

SocketHandle Win32Platform::CreateSocket(int32_t family, int32_t type, int32_t protocol) {
  SOCKET created = ::socket(family, type, protocol);
  if (created == INVALID_SOCKET) return kInvalidSocket;
  if (created > static_cast<SOCKET>(INT32_MAX)) {
    // Never seen; a handle that does not fit the seam is refused, not cut.
    closesocket(created);
    WSASetLastError(WSAEMFILE);
    return kInvalidSocket;
  }
  return static_cast<SocketHandle>(created);
}

// IPv4 through gethostbyname, as it always was, so that the addresses and
// their order are the ones the classic lookup gives; IPv6 through getaddrinfo.
bool Win32Platform::ResolveName(const std::string& ansiName, int32_t family,
                                std::vector<SocketAddress>& addresses) {
  addresses.clear();
  if (family == kFamilyInet) {
    const hostent* entry = gethostbyname(ansiName.c_str());
    if (entry == nullptr) return false;
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr) {
      WSASetLastError(WSANO_DATA);
      return false;
    }
    // The entry belongs to Winsock: copy every address out of it.
    for (char** item = entry->h_addr_list; *item != nullptr; ++item) {
      SocketAddress address;
      std::memcpy(address.address, *item, 4);
      addresses.push_back(address);
    }
  } else {
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(ansiName.c_str(), nullptr, &hints, &found);
    if (result != 0) {
      WSASetLastError(result);
      return false;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
      if (entry->ai_family != AF_INET6 || entry->ai_addrlen < sizeof(sockaddr_in6)) continue;
      addresses.push_back(
          FromNativeAddress(*reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)));
    }
  }
  if (addresses.empty()) WSASetLastError(WSANO_DATA);
  return !addresses.empty();
}

int32_t Win32Platform::Connect(SocketHandle socket, const SocketAddress& address) {
  sockaddr_storage target;
  const int length = ToNativeAddress(address, target);
  if (length == 0) {
    WSASetLastError(WSAEAFNOSUPPORT);
    return kSocketError;
  }
  return ::connect(ToSocket(socket), reinterpret_cast<const sockaddr*>(&target), length);
}

int32_t Win32Platform::AsyncSelect(SocketHandle socket, NotificationTarget* target,
                                   uint32_t message, int32_t mask) {
  if (mask == 0) {
    int32_t result = WSAAsyncSelect(ToSocket(socket), Window(), 0, 0);
    Forget(socket);
    return result;
  }
  if (target == nullptr || message != kNotifyMessage || Window() == nullptr) {
    WSASetLastError(WSAEINVAL);
    return kSocketError;
  }
  if (WSAAsyncSelect(ToSocket(socket), Window(), message, mask) != 0) return kSocketError;
  targets_[socket] = target;
  // Bytes the handshake already took from the socket are not told by Winsock.
  auto channel = channels_.find(socket);
  if (channel != channels_.end() && channel->second->HasBuffered() && (mask & kNotifyRead)) {
    PostNotification(target, socket, kNotifyRead, 0);
  }
  return 0;
}

int32_t Win32Platform::Receive(SocketHandle socket, uint8_t* buffer, int32_t length,
                               int32_t flags) {
  auto channel = channels_.find(socket);
  if (channel == channels_.end()) {
    return ::recv(ToSocket(socket), reinterpret_cast<char*>(buffer), length, flags);
  }
  int32_t error = 0;
  int32_t n = channel->second->Read(buffer, length, error);
  if (n < 0) {
    WSASetLastError(error);
    return kSocketError;
  }
  // Winsock tells again only of bytes the socket still holds: for those the
  // channel holds, the read notification is posted here, once per receive.
  auto target = targets_.find(socket);
  if (n > 0 && channel->second->HasBuffered() && target != targets_.end()) {
    PostNotification(target->second, socket, kNotifyRead, 0);
  }
  return n;
}

int32_t Win32Platform::Send(SocketHandle socket, const uint8_t* bytes, int32_t count,
                            int32_t flags) {
  auto channel = channels_.find(socket);
  if (channel == channels_.end()) {
    return ::send(ToSocket(socket), reinterpret_cast<const char*>(bytes), count, flags);
  }
  int32_t error = 0;
  int32_t n = channel->second->Write(bytes, count, error);
  if (n < 0) WSASetLastError(error);
  return n;
}

int32_t Win32Platform::SecureHandshake(SocketHandle socket, const std::string& hostName,
                                       int32_t timeoutMs) {
  int32_t error = 0;
  auto channel = SchannelChannel::Establish(ToSocket(socket), hostName, timeoutMs, error);
  if (!channel) {
    WSASetLastError(error);
    return kSocketError;
  }
  channels_[socket] = std::move(channel);
  return 0;
}

bool Win32Platform::WaitWritable(SocketHandle socket, int32_t timeoutMs) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(ToSocket(socket), &writable);
  FD_SET(ToSocket(socket), &failed);
  if (timeoutMs < 0) timeoutMs = 0;
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int n = select(0, nullptr, &writable, &failed, &limit);
  if (n == SOCKET_ERROR) return false;
  if (n == 0) {
    WSASetLastError(WSAETIMEDOUT);
    return false;
  }
  if (FD_ISSET(ToSocket(socket), &writable)) return true;
  int error = 0;
  int length = sizeof error;
  getsockopt(ToSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  WSASetLastError(error != 0 ? error : WSAECONNRESET);
  return false;
}

int32_t Win32Platform::CloseSocket(SocketHandle socket) {
  channels_.erase(socket);
  int32_t result = closesocket(ToSocket(socket));
  Forget(socket);
  return result;
}

// Drops the target and takes the notifications Winsock already posted for
// the socket out of the queue: a socket made later may get the same handle
// value, and a stale close notification would then end its transfer. Only
// posted messages are looked at (no sent message is handled in between);
// those of other sockets go back in their order.
void Win32Platform::Forget(SocketHandle socket) {
  targets_.erase(socket);
  if (Window() == nullptr) return;
  // The engine reads the socket error after closing: keep it as it was left.
  const int savedError = WSAGetLastError();
  std::vector<MSG> others;
  MSG message;
  while (PeekMessageW(&message, Window(), kNotifyMessage, kNotifyMessage,
                      PM_REMOVE | PM_QS_POSTMESSAGE)) {
    if (message.wParam != static_cast<WPARAM>(ToSocket(socket))) others.push_back(message);
  }
  for (const MSG& kept : others) PostMessageW(Window(), kept.message, kept.wParam, kept.lParam);
  WSASetLastError(savedError);
}

int32_t Win32Platform::LastError() { return WSAGetLastError(); }

// The same message Winsock posts, so that it takes the same road: delivered
// to the socket's registered target from the message loop, and taken out of
// the queue by Forget when the socket is closed first.
bool Win32Platform::PostNotification(NotificationTarget* /*target*/, SocketHandle socket,
                                     int32_t code, int32_t error) {
  if (Window() == nullptr) return false;
  const LPARAM event = WSAMAKESELECTREPLY(static_cast<WORD>(code), static_cast<WORD>(error));
  return PostMessageW(Window(), kNotifyMessage, static_cast<WPARAM>(ToSocket(socket)), event) !=
         FALSE;
}

void Win32Platform::Deliver(WPARAM socket, LPARAM event) {
  if (socket > static_cast<WPARAM>(INT32_MAX)) return;
  auto found = targets_.find(static_cast<SocketHandle>(socket));
  if (found == targets_.end()) return;
  // The target may cancel, close or destroy everything, this platform
  // included: nothing is touched after the call.
  found->second->OnSocketNotification(static_cast<SocketHandle>(socket), WSAGETSELECTEVENT(event),
                                      WSAGETSELECTERROR(event));
}

}  // namespace wex
