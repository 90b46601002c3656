// Opening and closing the one connection: connectivity checks, socket, name
// lookup, blocking connect, the secure handshake of a secure request,
// notification registration.
#include <algorithm>
#include <cstring>

#include "common/codepage.h"
#include "server/engine/http_uc.h"
#include "server/resources/message_table.h"

namespace wex {
namespace {

constexpr int32_t kConnected = 100;
constexpr int32_t kTypeStream = 1;  // SOCK_STREAM
constexpr int32_t kSecurePort = 443;

// gethostbyname's failure value as the classic lookup returned it: an
// address that reads 255.255.255.255 is taken as no address.
constexpr uint8_t kNoAddress[4] = {0xFF, 0xFF, 0xFF, 0xFF};

// htons of the low 16 bits, written so that it holds on any host byte order.
uint16_t NetworkPort(int32_t port) {
  const uint8_t bytes[2] = {static_cast<uint8_t>((port >> 8) & 0xFF),
                            static_cast<uint8_t>(port & 0xFF)};
  uint16_t value;
  static_assert(sizeof value == sizeof bytes, "two bytes");
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

bool HasControlCharacter(const ustring& text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

// The name the resolver is asked for: an IPv6 literal loses the brackets it
// has in a URL (and keeps in the Host line), and is looked up as IPv6 only.
// Any other text is looked up as given, first for IPv4 as it always was.
struct LookupName {
  ustring name;
  bool ipv6Only;
};
LookupName NameToLookUp(const ustring& server) {
  if (server.size() > 2 && server.front() == u'[' && server.back() == u']')
    return {server.substr(1, server.size() - 2), true};
  return {server, false};
}

}  // namespace

// One connection-state query answers both questions, in their order. The
// query takes 10 ms and more, so a request within a second of one that found
// the machine online and direct takes that answer again: no request can tell
// it from a fresh answer given just before the network changed. An answer
// that refused a request is never taken again.
bool httpUC::ConnectionState(uint32_t& flags) {
  const uint64_t now = platform_->MonotonicMs();
  if (directSince_ != kNever && now - directSince_ < kDirectAnswerMs) {
    flags = directFlags_;
    return true;
  }
  directSince_ = kNever;
  const bool online = platform_->ConnectedState(flags);
  if (online && (flags & kInternetConnectionProxy) == 0) {
    directSince_ = now;
    directFlags_ = flags;
  }
  return online;
}

// Checks in the order 106, 107, 113, 109, 112, 110, (116,) 111; the first
// that holds wins, and the error numbers of 109 to 111 and 116 are read right
// after the failed call. The new connection is made whole first, on a socket
// of its own: a request that fails at any step closes only that socket and
// raises nothing, so a transfer still running goes on to its own end. Only
// once the new connection stands is the running transfer ended, right before
// the new OnConnect1.
void httpUC::ConnectToServer(const ustring& server, bool secure, ustring& message,
                             int32_t& result) {
  message.clear();
  SocketHandle socket = 0;
  ConnectFailure failure = OpenConnection(server, secure, socket);
  if (failure.code == 0) failure = TakeOverConnection(socket);
  if (failure.code != 0) {
    message = MessageText(failure.code);
    if (failure.code == kMessageSocketFailed || failure.code == kMessageConnectFailed ||
        failure.code == kMessageRegistrationFailed || failure.code == kMessageSecureFailed)
      message += DecimalText(failure.errorNumber);
    result = failure.code;
    return;
  }
  bAsyncSelect = true;
  LErrNum = 0;
  ++connectionSerial_;
  result = kConnected;
  RaiseConnect(server);
}

// The steps up to a registered socket. The socket library must have been
// started by this engine's StartUp1 (and not stopped since): another part of
// the process may have started it too (under Windows the security libraries
// do as they load), and a request must not work or fail by that accident.
// The first socket is made before the lookup, so that 109 comes before 112.
httpUC::ConnectFailure httpUC::OpenConnection(const ustring& server, bool secure,
                                              SocketHandle& opened) {
  uint32_t flags = 0;
  if (!ConnectionState(flags)) return {kMessageOffline, 0};
  if ((flags & kInternetConnectionProxy) != 0) return {kMessageViaProxy, 0};
  if (server.empty()) return {kMessageServerMissing, 0};
  if (!SocketLibraryStarted()) return {kMessageSocketFailed, kWSANOTINITIALISED};
  OpenSocket socket{platform_->CreateSocket(kFamilyInet, kTypeStream, 0), kFamilyInet, false};
  if (socket.handle == kInvalidSocket) return {kMessageSocketFailed, platform_->LastError()};
  const uint16_t port = NetworkPort(secure && !bPortWritten ? kSecurePort : LPort);
  ConnectFailure failure = ConnectSocket(socket, server, port);
  if (failure.code == 0) failure = SecureAndRegister(socket.handle, server, secure);
  if (failure.code != 0) {
    if (socket.handle != kInvalidSocket) platform_->CloseSocket(socket.handle);
    return failure;
  }
  opened = socket.handle;
  return {0, 0};
}

// The lookup and the blocking connect. Every IPv4 address of the name is
// tried in the order the resolver gives them; only when none connects is the
// name looked up for IPv6 and those tried, so a server that connects over
// IPv4 connects as before and no broken IPv6 route can slow it. A failed
// connect leaves its socket unusable, so each further try takes a new one.
// No address at all is 112; addresses that all fail are 110 with the last
// error.
//
// A name holding a control character names no server: the lookup, the secure
// channel's server name and its certificate check would all end the name at
// a NUL, while OnConnect1 and the Host line carry the whole text, so such a
// name is refused before anything is looked up; so is a name the code page
// cannot hold, which would reach the lookup with "?" in its place.
httpUC::ConnectFailure httpUC::ConnectSocket(OpenSocket& socket, const ustring& server,
                                             uint16_t port) {
  const LookupName lookup = NameToLookUp(server);
  if (HasControlCharacter(lookup.name) || !AnsiHolds(lookup.name)) return {kMessageLookupFailed, 0};
  bool found = false;
  int32_t lastError = 0;
  for (int32_t family : {kFamilyInet, kFamilyInet6}) {
    if (family == kFamilyInet && lookup.ipv6Only) continue;
    std::vector<SocketAddress> addresses;
    if (!platform_->ResolveName(TextToAnsi(lookup.name), family, addresses)) continue;
    for (SocketAddress& address : addresses) {
      if (family == kFamilyInet && std::equal(kNoAddress, kNoAddress + 4, address.address))
        continue;
      found = true;
      if (!FreshSocket(socket, family)) {
        lastError = platform_->LastError();
        continue;
      }
      address.port = port;
      socket.used = true;
      if (platform_->Connect(socket.handle, address) == 0) return {0, 0};
      lastError = platform_->LastError();
    }
  }
  return found ? ConnectFailure{kMessageConnectFailed, lastError}
               : ConnectFailure{kMessageLookupFailed, 0};
}

// A socket of `family` that no connect has tried yet: the one at hand, or a
// new one in its place. False when none could be made.
bool httpUC::FreshSocket(OpenSocket& socket, int32_t family) {
  if (socket.handle != kInvalidSocket && socket.family == family && !socket.used) return true;
  if (socket.handle != kInvalidSocket) platform_->CloseSocket(socket.handle);
  socket = {platform_->CreateSocket(family, kTypeStream, 0), family, false};
  return socket.handle != kInvalidSocket;
}

// The handshake of a secure request (blocking like the connect, so that
// OnConnect1 means a secure channel), then the registration. The server name
// the channel checks is the looked-up one, without an IPv6 literal's brackets.
httpUC::ConnectFailure httpUC::SecureAndRegister(SocketHandle socket, const ustring& server,
                                                 bool secure) {
  if (secure && platform_->SecureHandshake(socket, TextToAnsi(NameToLookUp(server).name),
                                           handshakeTimeoutMs_) != 0)
    return {kMessageSecureFailed, platform_->LastError()};
  if (platform_->AsyncSelect(socket, this, kNotifyMessage, kNotifyMask) == kSocketError)
    return {kMessageRegistrationFailed, platform_->LastError()};
  return {0, 0};
}

// One connection at a time: a transfer still running when the new connection
// stands is ended here, once, with its OnDisconnect1 (and no OnFinish1), and
// the new request gets a fresh transfer state. A handler of that
// OnDisconnect1 may start a request of its own, or stop the socket library;
// either way the new connection gives way (109): the handler's request stands
// rather than being closed again, which could go on for as long as handlers
// keep starting requests.
httpUC::ConnectFailure httpUC::TakeOverConnection(SocketHandle socket) {
  if (LSock > 0) {
    CloseConnection();
    ConnectFailure failure{0, 0};
    if (LSock > 0) failure = {kMessageSocketFailed, kWSAEALREADY};
    if (!SocketLibraryStarted()) failure = {kMessageSocketFailed, kWSANOTINITIALISED};
    if (failure.code != 0) {
      platform_->AsyncSelect(socket, this, 0, 0);
      platform_->CloseSocket(socket);
      DropHeldNotifications(socket);
      return failure;
    }
    ResetTransfer();
  }
  LSock = socket;
  return {0, 0};
}

// Cancels the notifications, closes the socket and raises OnDisconnect1 with
// LSock already 0.
void httpUC::CloseConnection() {
  if (LSock <= 0) return;
  ReleaseConnectionQuietly();
  RaiseDisconnect();
}

// The same without the event. Notifications of that socket still held are
// late now and are dropped. A head still incomplete when the connection ends
// is body.
void httpUC::ReleaseConnectionQuietly() {
  if (LSock <= 0) return;
  SocketHandle socket = LSock;
  if (bAsyncSelect) {
    platform_->AsyncSelect(socket, this, 0, 0);
    bAsyncSelect = false;
  }
  platform_->CloseSocket(socket);
  LSock = 0;
  DropHeldNotifications(socket);
  FlushPendingHead();
}

}  // namespace wex
