// The engine's platform on POSIX systems: BSD sockets, a poll loop that
// delivers the Winsock notification codes on the owner's thread, and POSIX
// files. Everything keeps the Winsock meaning the seam names, error numbers
// included.
//
// Notifications: the owner calls Pump() on the engine's thread, as a Windows
// thread runs its message loop. A registered socket is told
//   1  when data can be read and the read notification is armed; delivering
//      disarms it and the next Receive on that socket arms it again, so a
//      socket with data left is told again after each receive;
//   32 once, when the peer has closed and no unread data remains, or at once
//      when the connection failed (reset): the draining receive then reports
//      the error.
// A secure socket (SecureHandshake, through OpenSSL) is also told 1 while
// decrypted bytes wait in its channel, which the descriptor knows nothing of.
// The end of the data is therefore always told as 32, never as a 1 whose
// receive finds nothing, and never while unread bytes remain, so the head of
// a short response is always read through a read notification.
// Notifications carry the error half 0: a failed connection is told as 32 and
// its draining receive reports the error. A notification posted again
// (PostNotification) is delivered by the next Pump, before anything polled.
#pragma once

#include <poll.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "server/engine/platform.h"
#include "server/engine/posix/tls_channel.h"

namespace wex {

class PosixPlatform final : public Platform {
 public:
  // Answers InternetGetConnectedState: true when online, with the flags.
  using ConnectionStateSource = std::function<bool(uint32_t& flags)>;

  // The machine's own state: online when a non-loopback interface is up; the
  // proxy flag when http_proxy, HTTP_PROXY or all_proxy is set and not empty.
  static bool SystemConnectionState(uint32_t& flags);

  PosixPlatform();
  // Tests give a fixed state so that they do not depend on the machine.
  explicit PosixPlatform(ConnectionStateSource connectionState);
  // Closes every socket still open, as the last WSACleanup would.
  ~PosixPlatform() override;
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  int32_t Startup(uint16_t version) override;
  int32_t Cleanup() override;
  bool ConnectedState(uint32_t& flags) override;
  uint64_t MonotonicMs() override;

  SocketHandle CreateSocket(int32_t family, int32_t type, int32_t protocol) override;
  bool ResolveName(const std::string& ansiName, int32_t family,
                   std::vector<SocketAddress>& addresses) override;
  int32_t Connect(SocketHandle socket, const SocketAddress& address) override;
  int32_t AsyncSelect(SocketHandle socket, NotificationTarget* target, uint32_t message,
                      int32_t mask) override;
  int32_t Receive(SocketHandle socket, uint8_t* buffer, int32_t length, int32_t flags) override;
  int32_t Send(SocketHandle socket, const uint8_t* bytes, int32_t count, int32_t flags) override;
  bool WaitWritable(SocketHandle socket, int32_t timeoutMs) override;
  int32_t CloseSocket(SocketHandle socket) override;
  int32_t SecureHandshake(SocketHandle socket, const std::string& hostName,
                          int32_t timeoutMs) override;
  int32_t LastError() override;
  bool PostNotification(NotificationTarget* target, SocketHandle socket, int32_t code,
                        int32_t error) override;

  // Secure connections trust only the roots in this file (PEM) instead of
  // the system's; tests use it for their own certificate authority.
  void TrustOnly(const std::string& caFile);

  bool FileAttributes(const ustring& path, uint32_t& attributes) override;
  bool RemoveFile(const ustring& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const ustring& path) override;
  std::unique_ptr<OutputFile> CreateNewOutputFile(const ustring& path, bool& nameTaken) override;
  bool ReplaceFile(const ustring& from, const ustring& to) override;

  // Waits at most timeoutMs (0: not at all, negative: without limit) for any
  // registered socket to have something to tell, then delivers what every
  // socket has to tell at that moment. Returns the number delivered. A target
  // may cancel, close, register or pump from inside a delivery; the caller
  // keeps the platform itself alive for the duration of the call.
  int Pump(int timeoutMs) override;

  // Number of sockets registered for notifications.
  size_t RegisteredCount() const { return registrations_.size(); }
  // Number of sockets open (created and not closed).
  size_t OpenCount() const { return sockets_.size(); }

 private:
  struct Registration {
    NotificationTarget* target = nullptr;
    int32_t mask = 0;
    bool readArmed = false;
    bool closeTold = false;
    uint64_t id = 0;  // tells a registration from a later one of a reused descriptor
  };

  // A notification posted again, for the registration it was posted under.
  struct Posted {
    int fd;
    uint64_t id;
    int32_t code;
    int32_t error;
  };

  // The sockets one Pump polls, with the registration each was polled for.
  struct PollSet {
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    bool buffered = false;  // decrypted bytes wait in a channel: do not wait
  };

  // Pump's steps.
  int DeliverPostedAgain();
  PollSet SocketsToPoll() const;
  std::vector<Posted> NotificationsFrom(const PollSet& set) const;
  int Deliver(const std::vector<Posted>& notifications);

  // Set the error (and return false) unless the library is started and the
  // handle is a socket this platform created.
  bool CheckStarted();
  bool CheckSocket(SocketHandle socket);
  void Fail(int32_t winsockError) { lastError_ = winsockError; }
  void FailErrno();
  void CloseAll();
  bool HasBufferedPlainBytes(int fd) const;

  ConnectionStateSource connectionState_;
  int startCount_ = 0;
  int32_t lastError_ = 0;
  std::set<int> sockets_;
  std::map<int, Registration> registrations_;
  std::deque<Posted> posted_;
  uint64_t nextRegistrationId_ = 1;
  std::string trustFile_;
  std::unique_ptr<TlsContext> tlsContext_;  // made at the first handshake
  std::map<int, std::unique_ptr<TlsChannel>> channels_;
};

}  // namespace wex
