// Opening and closing the one connection: connectivity checks, socket, name
// lookup, blocking connect, the secure handshake of a secure request,
// notification registration.
#include <cstring>

#include "common/codepage.h"
#include "server/engine/http_uc.h"
#include "server/resources/message_table.h"

namespace wex {
namespace {

constexpr int32_t kConnected = 100;
constexpr int32_t kFamilyInet = 2;  // AF_INET
constexpr int32_t kTypeStream = 1;  // SOCK_STREAM
constexpr int32_t kSecurePort = 443;
constexpr int32_t kSecureFailed = 116;

// ResolveHost's failure value; a name that resolves to 255.255.255.255 is
// indistinguishable from it and counts as a failed lookup too.
constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

// htons of the low 16 bits, written so that it holds on any host byte order.
uint16_t NetworkPort(int32_t port) {
  const uint8_t bytes[2] = {static_cast<uint8_t>((port >> 8) & 0xFF),
                            static_cast<uint8_t>(port & 0xFF)};
  uint16_t value;
  static_assert(sizeof value == sizeof bytes, "two bytes");
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace

// Checks in the order 106, 107, 113, 109, 112, 110, (116,) 111; the first
// that holds wins. Every failure closes what it opened itself and raises
// nothing; the error numbers of 109 to 111 and 116 are read right after the
// failed call. Only a request that passed the first three checks ends a
// transfer still running (see CloseRunningTransfer). A secure connection goes
// to 443 unless Port was written, and is established (handshake and
// certificate checks, blocking like the connect) before the registration, so
// OnConnect1 means a secure channel.
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

void httpUC::ConnectToServer(const ustring& server, bool secure, ustring& message,
                             int32_t& result) {
  message.clear();
  int32_t code = 0;
  int32_t errorNumber = 0;
  uint32_t flags = 0;
  const bool online = ConnectionState(flags);
  if (!online) {
    code = 106;
  } else if ((flags & kInternetConnectionProxy) != 0) {
    code = 107;
  } else if (server.empty()) {
    code = 113;
  } else if (!CloseRunningTransfer()) {
    code = 109;
    errorNumber = kWSAEALREADY;
  } else {
    LSock = platform_->CreateSocket(kFamilyInet, kTypeStream, 0);
    if (LSock == kInvalidSocket) {
      code = 109;
      errorNumber = platform_->LastError();
    } else {
      SocketAddress address;
      address.family = kFamilyInet;
      address.address = ResolveHost(server);
      address.port = NetworkPort(secure && !bPortWritten ? kSecurePort : LPort);
      if (address.address == kNoAddress) {
        code = 112;
      } else if (platform_->Connect(LSock, address) != 0) {
        code = 110;
        errorNumber = platform_->LastError();
      } else if (secure &&
                 platform_->SecureHandshake(LSock, TextToAnsi(server), handshakeTimeoutMs_) != 0) {
        code = kSecureFailed;
        errorNumber = platform_->LastError();
      } else if (platform_->AsyncSelect(LSock, this, kNotifyMessage, kNotifyMask) == kSocketError) {
        code = 111;
        errorNumber = platform_->LastError();
      }
      if (code != 0) {
        platform_->CloseSocket(LSock);
        LSock = 0;
      }
    }
  }
  if (code != 0) {
    message = MessageText(code);
    if ((code > 108 && code < 112) || code == kSecureFailed) message += DecimalText(errorNumber);
    result = code;
    return;
  }
  bAsyncSelect = true;
  LErrNum = 0;
  ++connectionSerial_;
  result = kConnected;
  RaiseConnect(server);
}

// One connection at a time: a transfer still running when a request goes on
// to create its socket is ended here, once, with its OnDisconnect1 (and no
// OnFinish1), and the new request gets a fresh transfer state. A handler of
// that OnDisconnect1 may start a request of its own; that request stands,
// and the one that closed the connection gives way to it (false) rather
// than closing again, which could go on for as long as handlers keep
// starting requests.
bool httpUC::CloseRunningTransfer() {
  if (LSock <= 0) return true;
  CloseConnection();
  if (LSock > 0) return false;
  ResetTransfer();
  return true;
}

// The first IPv4 address of the name, in network byte order, or kNoAddress.
uint32_t httpUC::ResolveHost(const ustring& server) {
  uint32_t address = 0;
  if (!platform_->ResolveName(TextToAnsi(server), address)) return kNoAddress;
  return address;
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
