// The engine's platform on Windows: the Winsock 1.1 calls (from ws2_32, which
// also has getaddrinfo for IPv6) with WSAAsyncSelect
// notifications to a message-only window, WinINet's connection state, and
// Win32 files, and the secure channel of Schannel for secure sockets. Create
// and use it on the engine's thread, which must run a message loop for the
// notifications to arrive.
//
// Socket handles cross the seam as 32-bit numbers: Winsock handles are
// kernel handles, whose values fit in 32 bits also on 64-bit Windows.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/engine/platform.h"
#include "server/engine/win32/notification_window.h"
#include "server/engine/win32/schannel_channel.h"

namespace wex {

class Win32Platform final : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

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

  bool FileAttributes(const ustring& path, uint32_t& attributes) override;
  bool RemoveFile(const ustring& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const ustring& path) override;
  std::unique_ptr<OutputFile> CreateNewOutputFile(const ustring& path, bool& nameTaken) override;
  bool ReplaceFile(const ustring& from, const ustring& to) override;

  // The notification window (T1); null if it could not be created.
  HWND Window() const { return window_.Handle(); }

 private:
  void Deliver(WPARAM socket, LPARAM event);
  void Forget(SocketHandle socket);

  // The target of each registered socket. A notification for a socket not
  // in the map (cancelled or closed after Winsock posted it) is dropped.
  std::map<SocketHandle, NotificationTarget*> targets_;
  // The secure channel of each secure socket.
  std::map<SocketHandle, std::unique_ptr<SchannelChannel>> channels_;
  NotificationWindow window_;
};

}  // namespace wex
