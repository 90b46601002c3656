// Socket library, connection state, sockets and notifications of the POSIX
// platform. The files are in posix_files.cpp.
#include "server/engine/posix/posix_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "server/engine/native_socket_address.h"
#include "server/engine/posix/posix_errors.h"

namespace wex {
namespace {

// Winsock's own numbers for the arguments the seam passes through unchanged.
constexpr int32_t kSockStream = 1;
constexpr int32_t kSockDgram = 2;
constexpr int32_t kMsgOob = 0x1;
constexpr int32_t kMsgPeek = 0x2;
constexpr int32_t kMsgDontRoute = 0x4;
constexpr uint32_t kInternetConnectionLan = 0x02;

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// poll() that starts again after a signal with the time that is left.
int PollRetrying(pollfd* fds, nfds_t count, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int n = poll(fds, count, timeoutMs);
    if (n >= 0 || errno != EINTR) return n;
    if (timeoutMs > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      timeoutMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
  }
}

int TranslateFlags(int32_t flags, bool& ok) {
  int native = MSG_NOSIGNAL;
  if (flags & kMsgOob) native |= MSG_OOB;
  if (flags & kMsgPeek) native |= MSG_PEEK;
  if (flags & kMsgDontRoute) native |= MSG_DONTROUTE;
  ok = (flags & ~(kMsgOob | kMsgPeek | kMsgDontRoute)) == 0;
  return native;
}

}  // namespace

bool PosixPlatform::SystemConnectionState(uint32_t& flags) {
  bool online = false;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr) continue;
      int family = entry->ifa_addr->sa_family;
      if (family != AF_INET && family != AF_INET6) continue;
      unsigned state = entry->ifa_flags;
      if ((state & IFF_UP) && (state & IFF_RUNNING) && !(state & IFF_LOOPBACK)) online = true;
    }
    freeifaddrs(list);
  }
  flags = online ? kInternetConnectionLan : 0;
  if (EnvironmentSet("http_proxy") || EnvironmentSet("HTTP_PROXY") || EnvironmentSet("all_proxy")) {
    flags |= kInternetConnectionProxy;
  }
  return online;
}

PosixPlatform::PosixPlatform() : PosixPlatform(&PosixPlatform::SystemConnectionState) {}

PosixPlatform::PosixPlatform(ConnectionStateSource connectionState)
    : connectionState_(std::move(connectionState)) {}

PosixPlatform::~PosixPlatform() { CloseAll(); }

void PosixPlatform::FailErrno() { lastError_ = WinsockErrorFromErrno(errno); }

bool PosixPlatform::CheckStarted() {
  if (startCount_ > 0) return true;
  Fail(kWSANOTINITIALISED);
  return false;
}

bool PosixPlatform::CheckSocket(SocketHandle socket) {
  if (!CheckStarted()) return false;
  // Only sockets made here: any other descriptor of the process (a file, a
  // test server's socket) is "not a socket" to the engine.
  if (sockets_.count(socket) != 0) return true;
  Fail(kWSAENOTSOCK);
  return false;
}

void PosixPlatform::CloseAll() {
  registrations_.clear();
  channels_.clear();
  posted_.clear();
  for (int fd : sockets_) close(fd);
  sockets_.clear();
}

int32_t PosixPlatform::Startup(uint16_t version) {
  // Version 1.0 or later; the major version is the low byte.
  if ((version & 0xFF) == 0) return kWSAVERNOTSUPPORTED;
  ++startCount_;
  return 0;
}

int32_t PosixPlatform::Cleanup() {
  if (!CheckStarted()) return kSocketError;
  // The last cleanup closes what is still open, as Winsock does.
  if (--startCount_ == 0) CloseAll();
  return 0;
}

bool PosixPlatform::ConnectedState(uint32_t& flags) {
  flags = 0;
  return connectionState_ ? connectionState_(flags) : false;
}

uint64_t PosixPlatform::MonotonicMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

SocketHandle PosixPlatform::CreateSocket(int32_t family, int32_t type, int32_t protocol) {
  if (!CheckStarted()) return kInvalidSocket;
  if (family != kFamilyInet && family != kFamilyInet6) {
    Fail(kWSAEAFNOSUPPORT);
    return kInvalidSocket;
  }
  int nativeType = type == kSockStream ? SOCK_STREAM : type == kSockDgram ? SOCK_DGRAM : -1;
  if (nativeType < 0) {
    Fail(kWSAESOCKTNOSUPPORT);
    return kInvalidSocket;
  }
  const int nativeFamily = family == kFamilyInet ? AF_INET : AF_INET6;
  int fd = ::socket(nativeFamily, nativeType | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailErrno();
    return kInvalidSocket;
  }
  if (fd == 0) {
    // The engine takes 0 for "no socket": move it to a descriptor above 0.
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    int error = errno;
    close(fd);
    if (moved < 0) {
      Fail(WinsockErrorFromErrno(error));
      return kInvalidSocket;
    }
    fd = moved;
  }
  sockets_.insert(fd);
  return fd;
}

bool PosixPlatform::ResolveName(const std::string& ansiName, int32_t family,
                                std::vector<SocketAddress>& addresses) {
  addresses.clear();
  if (!CheckStarted()) return false;
  addrinfo hints{};
  hints.ai_family = family == kFamilyInet ? AF_INET : AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(ansiName.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    Fail(result != 0 ? WinsockErrorFromLookup(result) : kWSAHOST_NOT_FOUND);
    return false;
  }
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && family == kFamilyInet) {
      addresses.push_back(FromNativeAddress(*reinterpret_cast<const sockaddr_in*>(entry->ai_addr)));
    } else if (entry->ai_family == AF_INET6 && family == kFamilyInet6) {
      addresses.push_back(
          FromNativeAddress(*reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)));
    }
  }
  freeaddrinfo(found);
  if (addresses.empty()) Fail(kWSAHOST_NOT_FOUND);
  return !addresses.empty();
}

int32_t PosixPlatform::Connect(SocketHandle socket, const SocketAddress& address) {
  if (!CheckSocket(socket)) return kSocketError;
  sockaddr_storage target;
  const socklen_t targetLength = ToNativeAddress(address, target);
  if (targetLength == 0) {
    Fail(kWSAEAFNOSUPPORT);
    return kSocketError;
  }
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&target), targetLength) == 0) return 0;
  if (errno == EINPROGRESS && registrations_.count(socket) != 0) {
    Fail(kWSAEWOULDBLOCK);  // a non-blocking socket, as on Winsock
    return kSocketError;
  }
  if (errno != EINTR) {
    FailErrno();
    return kSocketError;
  }
  // A signal interrupted the wait; the connect goes on: wait for its outcome.
  pollfd entry{socket, POLLOUT, 0};
  if (PollRetrying(&entry, 1, -1) < 0) {
    FailErrno();
    return kSocketError;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == 0) return 0;
  Fail(WinsockErrorFromErrno(error));
  return kSocketError;
}

int32_t PosixPlatform::AsyncSelect(SocketHandle socket, NotificationTarget* target,
                                   uint32_t message, int32_t mask) {
  if (!CheckSocket(socket)) return kSocketError;
  if (mask == 0) {
    // Cancel: nothing further is told for this socket, whatever was pending.
    registrations_.erase(socket);
    return 0;
  }
  if (target == nullptr || message == 0) {
    Fail(kWSAEINVAL);
    return kSocketError;
  }
  int state = fcntl(socket, F_GETFL);
  if (state < 0 || fcntl(socket, F_SETFL, state | O_NONBLOCK) != 0) {
    FailErrno();
    return kSocketError;
  }
  Registration& registration = registrations_[socket];
  registration.target = target;
  registration.mask = mask;
  registration.readArmed = (mask & kNotifyRead) != 0;
  registration.closeTold = false;
  registration.id = nextRegistrationId_++;
  return 0;
}

int32_t PosixPlatform::Receive(SocketHandle socket, uint8_t* buffer, int32_t length,
                               int32_t flags) {
  if (!CheckSocket(socket)) return kSocketError;
  // Every receive arms the read notification again, as recv does on Winsock.
  auto registration = registrations_.find(socket);
  if (registration != registrations_.end()) registration->second.readArmed = true;
  bool flagsOk = false;
  int native = TranslateFlags(flags, flagsOk);
  if (!flagsOk) {
    Fail(kWSAEOPNOTSUPP);
    return kSocketError;
  }
  if (length < 0 || (buffer == nullptr && length > 0)) {
    Fail(kWSAEFAULT);
    return kSocketError;
  }
  auto channel = channels_.find(socket);
  if (channel != channels_.end()) {
    int32_t error = 0;
    int32_t read = channel->second->Read(buffer, length, error);
    if (read < 0) Fail(error);
    return read;
  }
  ssize_t n;
  do {
    n = ::recv(socket, buffer, static_cast<size_t>(length), native);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    FailErrno();
    return kSocketError;
  }
  return static_cast<int32_t>(n);
}

int32_t PosixPlatform::Send(SocketHandle socket, const uint8_t* bytes, int32_t count,
                            int32_t flags) {
  if (!CheckSocket(socket)) return kSocketError;
  bool flagsOk = false;
  int native = TranslateFlags(flags, flagsOk);
  if (!flagsOk || (flags & kMsgPeek)) {
    Fail(kWSAEOPNOTSUPP);
    return kSocketError;
  }
  if (count < 0 || (bytes == nullptr && count > 0)) {
    Fail(kWSAEFAULT);
    return kSocketError;
  }
  auto channel = channels_.find(socket);
  if (channel != channels_.end()) {
    int32_t error = 0;
    int32_t written = channel->second->Write(bytes, count, error);
    if (written < 0) Fail(error);
    return written;
  }
  ssize_t n;
  do {
    n = ::send(socket, bytes, static_cast<size_t>(count), native);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    FailErrno();
    return kSocketError;
  }
  return static_cast<int32_t>(n);
}

bool PosixPlatform::WaitWritable(SocketHandle socket, int32_t timeoutMs) {
  if (!CheckSocket(socket)) return false;
  pollfd entry{socket, POLLOUT, 0};
  int n = PollRetrying(&entry, 1, timeoutMs < 0 ? 0 : timeoutMs);
  if (n < 0) {
    FailErrno();
    return false;
  }
  if (n == 0) {
    Fail(kWSAETIMEDOUT);
    return false;
  }
  if (entry.revents & POLLOUT) return true;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  Fail(error != 0 ? WinsockErrorFromErrno(error) : WinsockErrorFromErrno(ECONNRESET));
  return false;
}

int32_t PosixPlatform::CloseSocket(SocketHandle socket) {
  if (!CheckSocket(socket)) return kSocketError;
  registrations_.erase(socket);
  channels_.erase(socket);
  sockets_.erase(socket);
  // The descriptor is released whatever close() reports.
  if (close(socket) != 0 && errno != EINTR) {
    FailErrno();
    return kSocketError;
  }
  return 0;
}

int32_t PosixPlatform::SecureHandshake(SocketHandle socket, const std::string& hostName,
                                       int32_t timeoutMs) {
  if (!CheckSocket(socket)) return kSocketError;
  if (!tlsContext_) tlsContext_ = std::make_unique<TlsContext>(trustFile_);
  int32_t error = 0;
  auto channel = TlsChannel::Establish(*tlsContext_, socket, hostName, timeoutMs, error);
  if (!channel) {
    Fail(error);
    return kSocketError;
  }
  channels_[socket] = std::move(channel);
  return 0;
}

void PosixPlatform::TrustOnly(const std::string& caFile) {
  trustFile_ = caFile;
  tlsContext_.reset();
}

bool PosixPlatform::HasBufferedPlainBytes(int fd) const {
  auto channel = channels_.find(fd);
  return channel != channels_.end() && channel->second->HasBuffered();
}

int32_t PosixPlatform::LastError() { return lastError_; }

// Kept with the registration it belongs to: cancelling or closing the socket
// first drops it, as a closed socket's window messages are dropped on Windows.
bool PosixPlatform::PostNotification(NotificationTarget* target, SocketHandle socket, int32_t code,
                                     int32_t error) {
  auto found = registrations_.find(socket);
  if (found == registrations_.end() || found->second.target != target) return false;
  posted_.push_back({socket, found->second.id, code, error});
  return true;
}

// One round of the message loop: what was posted again, then one poll of
// the registered sockets and the notifications it shows.
int PosixPlatform::Pump(int timeoutMs) {
  int delivered = DeliverPostedAgain();
  if (delivered > 0) timeoutMs = 0;
  PollSet set = SocketsToPoll();
  if (set.fds.empty()) return delivered;
  if (PollRetrying(set.fds.data(), set.fds.size(), set.buffered ? 0 : timeoutMs) < 0)
    return delivered;
  // Every code is decided first, then delivered: a delivery may change the set.
  return delivered + Deliver(NotificationsFrom(set));
}

// What was posted again comes first and is not waited for; anything a
// delivery posts meanwhile waits for the next Pump.
int PosixPlatform::DeliverPostedAgain() {
  int delivered = 0;
  std::deque<Posted> posted;
  posted.swap(posted_);
  for (const Posted& next : posted) {
    auto found = registrations_.find(next.fd);
    if (found == registrations_.end() || found->second.id != next.id) continue;
    found->second.target->OnSocketNotification(next.fd, next.code, next.error);
    ++delivered;
  }
  return delivered;
}

// Which sockets can have something to tell now. A socket that was told 1
// and not received from since has nothing more to tell until it is.
PosixPlatform::PollSet PosixPlatform::SocketsToPoll() const {
  PollSet set;
  for (const auto& [fd, registration] : registrations_) {
    const bool readsWanted = (registration.mask & kNotifyRead) != 0;
    const bool closeWanted = (registration.mask & kNotifyClose) != 0 && !registration.closeTold;
    if (readsWanted && !registration.readArmed) continue;
    if (!readsWanted && !closeWanted) continue;
    short events = POLLRDHUP;
    if (readsWanted) events |= POLLIN;
    set.fds.push_back(pollfd{fd, events, 0});
    set.ids.push_back(registration.id);
    if (readsWanted && HasBufferedPlainBytes(fd)) set.buffered = true;
  }
  return set;
}

// The notification each polled socket has to tell: 1 while there is
// something to read, 32 once the peer has closed and nothing is left.
std::vector<PosixPlatform::Posted> PosixPlatform::NotificationsFrom(const PollSet& set) const {
  std::vector<Posted> notifications;
  for (size_t i = 0; i < set.fds.size(); ++i) {
    const int fd = set.fds[i].fd;
    short seen = set.fds[i].revents;
    if (HasBufferedPlainBytes(fd)) seen |= POLLIN;
    if (seen == 0 || (seen & POLLNVAL)) continue;
    auto found = registrations_.find(fd);
    if (found == registrations_.end()) continue;
    const Registration& registration = found->second;
    // Readable without a hang-up means data: only at the end is the count
    // of unread bytes needed to tell 1 from 32 (one system call per block less).
    const bool hungUp = (seen & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
    int unread = 1;
    if ((hungUp || !(seen & POLLIN)) && !HasBufferedPlainBytes(fd)) {
      if (ioctl(fd, FIONREAD, &unread) != 0) unread = 0;
    }
    const bool ended = hungUp || (seen & POLLIN);
    if (unread > 0) {
      if ((registration.mask & kNotifyRead) && registration.readArmed)
        notifications.push_back({fd, set.ids[i], kNotifyRead, 0});
    } else if (ended && (registration.mask & kNotifyClose) && !registration.closeTold) {
      notifications.push_back({fd, set.ids[i], kNotifyClose, 0});
    }
  }
  return notifications;
}

// Each notification once, to its registration if that still stands and has
// not been told the same since.
int PosixPlatform::Deliver(const std::vector<Posted>& notifications) {
  int delivered = 0;
  for (const Posted& next : notifications) {
    auto found = registrations_.find(next.fd);
    if (found == registrations_.end() || found->second.id != next.id) continue;
    Registration& registration = found->second;
    if (next.code == kNotifyRead) {
      if (!registration.readArmed) continue;
      registration.readArmed = false;
    } else {
      if (registration.closeTold) continue;
      registration.closeTold = true;
    }
    // Nothing of the registration is used after the call: the target may
    // cancel it, close the socket or destroy itself.
    NotificationTarget* target = registration.target;
    target->OnSocketNotification(next.fd, next.code, 0);
    ++delivered;
  }
  return delivered;
}

}  // namespace wex
