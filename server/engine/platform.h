// The engine's one seam to the operating system: the socket library, the
// connection state, the socket calls, the notifications and the files.
//
// Every operation keeps the meaning of the Windows Sockets 1.1 / WinINet /
// Win32 call it stands for (named in its comment), including the error
// numbers: a failed call leaves a Winsock error number for LastError()
// (10061 refused, 10060 timed out, 10054 reset, 11001 host not found,
// 10038 not a socket, 10093 library not started, 10035 would block, ...), so
// that the engine's messages read the same on every platform.
//
// Three implementations: Win32 (server/engine/win32/), POSIX
// (server/engine/posix/) and the scripted fake of the unit tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/ustring.h"
#include "server/engine/winsock_errors.h"

namespace wex {

// Socket handle as the engine keeps it in LSock: greater than 0 is a socket,
// 0 is none, -1 a failed creation. Winsock handles fit in 32 bits on both
// 32- and 64-bit Windows.
using SocketHandle = int32_t;
constexpr SocketHandle kInvalidSocket = -1;
constexpr int32_t kSocketError = -1;

// Event codes of a notification (FD_READ, FD_CLOSE) and the registration.
constexpr int32_t kNotifyRead = 0x01;
constexpr int32_t kNotifyClose = 0x20;
// The message the notifications travel as on Windows: a private message of
// the notification window (WM_APP + 1). While an outgoing call is pending,
// COM's modal loop may hold back or discard keyboard and mouse messages, never
// a window's private ones, so a close notification cannot be lost there.
constexpr uint32_t kNotifyMessage = 0x8001;
constexpr int32_t kNotifyMask = kNotifyRead | kNotifyClose;

// Reasons a secure connection fails, as Schannel and the certificate checks
// of Windows report them; the POSIX platform maps its own reasons onto them
// so that the messages read the same everywhere.
constexpr int32_t kCertEExpired = static_cast<int32_t>(0x800B0101u);        // CERT_E_EXPIRED
constexpr int32_t kCertEUntrustedRoot = static_cast<int32_t>(0x800B0109u);  // CERT_E_UNTRUSTEDROOT
constexpr int32_t kCertEChaining = static_cast<int32_t>(0x800B010Au);       // CERT_E_CHAINING
constexpr int32_t kCertENameMismatch = static_cast<int32_t>(0x800B010Fu);   // CERT_E_CN_NO_MATCH
constexpr int32_t kSecEIllegalMessage = static_cast<int32_t>(0x80090326u);  // SEC_E_ILLEGAL_MESSAGE
constexpr int32_t kSecEDecryptFailure = static_cast<int32_t>(0x80090330u);  // SEC_E_DECRYPT_FAILURE
constexpr int32_t kSecEInternalError = static_cast<int32_t>(0x80090304u);   // SEC_E_INTERNAL_ERROR
// The stream ended inside a record: part of the data never arrived.
constexpr int32_t kSecEIncompleteMessage =
    static_cast<int32_t>(0x80090318u);  // SEC_E_INCOMPLETE_MESSAGE

// The connection-state flag for a connection through a proxy server.
constexpr uint32_t kInternetConnectionProxy = 0x04;

// File attribute bits: a read-only file, a folder.
constexpr uint32_t kFileAttributeReadOnly = 0x01;
constexpr uint32_t kFileAttributeDirectory = 0x10;

// Address families as Winsock numbers them (AF_INET, AF_INET6).
constexpr int32_t kFamilyInet = 2;
constexpr int32_t kFamilyInet6 = 23;

// An address handed to Connect: IPv4 or IPv6, the port in network byte order.
struct SocketAddress {
  int32_t family = kFamilyInet;
  uint16_t port = 0;
  uint8_t address[16] = {};  // network byte order: 4 bytes for IPv4, 16 for IPv6
  uint32_t scopeId = 0;      // the IPv6 zone, 0 for none
};

// Receives socket notifications on the engine's thread. The socket is the one
// the notification was registered for, so that a notification left over from
// an earlier socket can be told apart; error is the notification's error half
// (WSAGETSELECTERROR: 0, or the Winsock error that ended the connection).
class NotificationTarget {
 public:
  virtual void OnSocketNotification(SocketHandle socket, int32_t code, int32_t error) = 0;

 protected:
  ~NotificationTarget() = default;
};

// A file opened for sequential output. Closing on destruction is silent;
// Close() reports whether everything written reached the file.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool Write(const uint8_t* bytes, size_t count) = 0;
  virtual bool Close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // WSAStartup(version): 0 when ready, else the Winsock error number.
  virtual int32_t Startup(uint16_t version) = 0;
  // WSACleanup(); the result is not looked at.
  virtual int32_t Cleanup() = 0;
  // InternetGetConnectedState(&flags, 0): true when a connection is active.
  virtual bool ConnectedState(uint32_t& flags) = 0;
  // Milliseconds of a clock that only goes forward (GetTickCount64).
  virtual uint64_t MonotonicMs() = 0;

  // socket(family, SOCK_STREAM, 0) for kFamilyInet or kFamilyInet6: a
  // blocking TCP socket or kInvalidSocket.
  virtual SocketHandle CreateSocket(int32_t family, int32_t type, int32_t protocol) = 0;
  // The addresses of one family a name has, in the order the resolver gives
  // them, ports 0; false when there are none. For kFamilyInet that is
  // gethostbyname(name)'s entry (dotted-decimal text accepted), for
  // kFamilyInet6 getaddrinfo(name) with AF_INET6 (IPv6 text accepted).
  virtual bool ResolveName(const std::string& ansiName, int32_t family,
                           std::vector<SocketAddress>& addresses) = 0;
  // connect(socket, address): 0 once connected (blocking), else kSocketError.
  virtual int32_t Connect(SocketHandle socket, const SocketAddress& address) = 0;
  // WSAAsyncSelect(socket, window of target, message, mask): 0 when registered
  // (the socket becomes non-blocking), kSocketError on failure. With message
  // and mask 0 it cancels: nothing further is delivered for that socket.
  virtual int32_t AsyncSelect(SocketHandle socket, NotificationTarget* target, uint32_t message,
                              int32_t mask) = 0;
  // recv(socket, buffer, length, flags): bytes read (1..length), 0 when the
  // peer has closed and nothing is left, kSocketError on failure. Never waits
  // on a registered socket; reading re-arms the read notification while data
  // remains.
  virtual int32_t Receive(SocketHandle socket, uint8_t* buffer, int32_t length, int32_t flags) = 0;
  // send(socket, bytes, count, flags): the count accepted, or kSocketError.
  virtual int32_t Send(SocketHandle socket, const uint8_t* bytes, int32_t count, int32_t flags) = 0;
  // Waits at most timeoutMs for the socket to accept more bytes; false on
  // time-out or error (LastError tells which).
  virtual bool WaitWritable(SocketHandle socket, int32_t timeoutMs) = 0;
  // closesocket(socket); the result is not looked at.
  virtual int32_t CloseSocket(SocketHandle socket) = 0;
  // WSAGetLastError(): the error the last failed call left for the thread.
  virtual int32_t LastError() = 0;

  // GetFileAttributesW(path): false when they cannot be read.
  virtual bool FileAttributes(const ustring& path, uint32_t& attributes) = 0;
  // DeleteFileW(path): true when deleted. The path as given, like every
  // other file operation, whatever the ANSI code page holds.
  virtual bool RemoveFile(const ustring& path) = 0;
  // Creates the file, or empties an existing one, for sequential output;
  // null when it cannot be opened.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const ustring& path) = 0;
  // Creates a new file for sequential output and never opens an existing one
  // (CreateFileW with CREATE_NEW, open with O_EXCL); null when it cannot be
  // created, with nameTaken set when that is because the name exists already.
  // A platform without it makes no new files: saves then write in place.
  virtual std::unique_ptr<OutputFile> CreateNewOutputFile(const ustring& path, bool& nameTaken) {
    (void)path;
    nameTaken = false;
    return nullptr;
  }
  // Moves `from` over `to`, replacing `to` if it exists, in one step where the
  // file system allows (MoveFileExW with MOVEFILE_REPLACE_EXISTING, rename).
  virtual bool ReplaceFile(const ustring& from, const ustring& to) = 0;

  // Posts a notification again to the engine's thread (PostMessage to the
  // notification window): it is delivered later from the thread's message
  // loop (from Pump natively), like one the platform posted itself, never
  // inside the current call. Dropped, like those, when the socket's
  // registration is cancelled or the socket closed before delivery. False
  // when it could not be posted.
  virtual bool PostNotification(NotificationTarget* target, SocketHandle socket, int32_t code,
                                int32_t error) = 0;

  // --- The secure channel ---
  // Runs the TLS handshake on a connected, still blocking socket, for at
  // most timeoutMs: sends hostName as the server name (SNI), checks the
  // server's certificate chain against the trusted roots and its name
  // against hostName. 0 when established: from then on Receive and Send on
  // that socket carry plain bytes and CloseSocket ends the channel with the
  // socket. kSocketError otherwise, with LastError the reason (kCertE*,
  // kSecE*, kWSAETIMEDOUT, or the socket error that broke the handshake).
  //
  // Receive on a secure socket keeps the meaning above: a read whose raw
  // bytes complete no record says "would block"; while plain bytes remain
  // buffered after a receive, the platform tells another read notification
  // itself (the socket holds nothing more to be told about); the peer's
  // close (close-notify or end of stream at a record boundary) reads as 0;
  // an end of stream inside a record fails with kSecEIncompleteMessage; a
  // record that cannot be decrypted fails with its reason. Handshake
  // messages the server sends after the handshake (a renegotiation, a key
  // update) are answered beneath the seam.
  virtual int32_t SecureHandshake(SocketHandle socket, const std::string& hostName,
                                  int32_t timeoutMs) = 0;

  // Delivers pending notifications on the calling (engine's) thread, waiting
  // at most timeoutMs for one, and returns how many it delivered. Where a
  // message loop delivers them by itself the platform may leave this as it is.
  virtual int Pump(int timeoutMs) {
    (void)timeoutMs;
    return 0;
  }
};

}  // namespace wex
