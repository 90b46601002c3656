// The transfer engine: one HTTP/1.0 GET at a time over one TCP socket, driven
// by the socket's notifications on the owner's thread.
//
// Its events are raised synchronously to every subscriber. A handler may call
// back into the engine (start the next request from OnFinish1, call CloseDown
// from OnConnect1) or drop the last owner of the engine: the engine keeps
// itself alive across every raise (it is always owned by a shared_ptr) and
// checks its state again afterwards. A notification that arrives while the
// engine is inside one of its own operations (as COM's modal loop can deliver
// one during an outgoing call) is held and posted again to the thread's
// message loop when the outermost operation ends: it is handled only when the
// thread is no longer inside that operation, nor inside the script's call
// that may have started it.
//
// Names: the engine's state and operations keep the names the component has
// always given them (LSock, colChunks, LBytes, RequestFile1, ...), so that
// anyone who knows the component finds each one under its own name; what the
// engine adds of its own (head_, contentLength_, ...) follows the house
// style, and so does every new member.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "common/ustring.h"
#include "server/engine/block_memory.h"
#include "server/engine/limits.h"
#include "server/engine/platform.h"
#include "server/engine/response_head.h"

namespace wex {

// One stored block of the body (see block_memory.h for where it lives).
using Chunk = std::vector<uint8_t, BlockAllocator<uint8_t>>;
// The body of one transfer, one entry per stored block in arrival order. The
// list is shared: CurFileBytes1 hands it out and ResetTransfer gives the engine
// a new one, so a list handed out earlier keeps its contents.
using ChunkList = std::vector<Chunk>;

// The engine's events. Subscribers are called in subscription order.
class httpUCEvents {
 public:
  virtual void OnConnect1(const ustring& sURL) = 0;
  virtual void OnFinish1(int32_t LErrCode, const ustring& sErrStr) = 0;
  virtual void OnDisconnect1() = 0;

 protected:
  ~httpUCEvents() = default;
};

class httpUC final : public NotificationTarget, public std::enable_shared_from_this<httpUC> {
 public:
  // Always create through Create: the engine holds itself alive across raises.
  static std::shared_ptr<httpUC> Create(std::shared_ptr<Platform> platform);
  ~httpUC();
  httpUC(const httpUC&) = delete;
  httpUC& operator=(const httpUC&) = delete;

  // Subscription. Unsubscribing during a raise takes effect at once: a
  // subscriber removed by an earlier handler of the same raise is not called.
  void Subscribe(httpUCEvents* subscriber);
  void Unsubscribe(httpUCEvents* subscriber);

  // Start-up and connectivity.
  void Port(int32_t LPort1);
  int32_t ServerCode() const;
  void UserAgent1(const ustring& sAgent);
  ustring ServerString() const;
  bool IsOnline();
  bool IsConnectionProxy();
  int32_t StartUp1(ustring& sErr);
  void CloseDown();

  // Request.
  int32_t RequestFile1(ustring& sServer1, ustring& sFile1);

  // Response.
  ustring CurFileString1() const;
  std::shared_ptr<const ChunkList> CurFileBytes1() const;
  int32_t CurSize1() const;

  // Files. Result codes: 0 written, 1 exists and IfDelete false, 2 nothing to
  // save, 3 the file could not be created, written or closed.
  int32_t WriteTextFile1(const ustring& sPath, bool IfDelete);
  int32_t WriteBinaryFile1(const ustring& sPath, bool IfDelete);

  // The socket event dispatcher (what the notification window calls).
  void OnSocketNotification(SocketHandle socket, int32_t code, int32_t error) override;

 private:
  explicit httpUC(std::shared_ptr<Platform> platform);

  // Start-up.
  int32_t StartWinsock();
  void StopWinsock();
  // Whether this engine's StartUp1 started the socket library and no stop
  // has undone it since.
  bool SocketLibraryStarted() const;

  // Connection.
  // A connection step's failure: the message number, and the platform's
  // error number for the messages that carry one; code 0 when it went through.
  struct ConnectFailure {
    int32_t code;
    int32_t errorNumber;
  };
  bool ConnectionState(uint32_t& flags);
  void ConnectToServer(const ustring& server, bool secure, ustring& message, int32_t& result);
  ConnectFailure OpenConnection(const ustring& server, bool secure, SocketHandle& opened);
  // A socket being connected: its family, and whether a connect has tried it.
  struct OpenSocket {
    SocketHandle handle;
    int32_t family;
    bool used;
  };
  ConnectFailure ConnectSocket(OpenSocket& socket, const ustring& server, uint16_t port);
  bool FreshSocket(OpenSocket& socket, int32_t family);
  ConnectFailure SecureAndRegister(SocketHandle socket, const ustring& server, bool secure);
  ConnectFailure TakeOverConnection(SocketHandle socket);
  void CloseConnection();
  void ReleaseConnectionQuietly();

  // Dispatch and receiving.
  void Dispatch(SocketHandle socket, int32_t code, int32_t error);
  int32_t Receive();
  void PostHeldNotificationsAgain();
  void DropHeldNotifications(SocketHandle socket);
  void FinishTransfer(bool failed, int32_t errorNumber);
  bool BodyComplete() const;
  bool AppendChunk(Chunk chunk);
  bool StoreBlock(const uint8_t* bytes, size_t count);
  bool CollectHead(const uint8_t* bytes, size_t count);
  bool FlushPendingHead();

  // Request.
  bool SendRequest(const ustring& server, const ustring& path, ustring& message);
  int32_t SendText(const ustring& text, ustring& message);

  // Response.
  void ResetTransfer();
  void ParseHeader(const ResponseHead& head);
  ustring ChunksToString() const;
  bool FileExists(const ustring& path);

  // Files.
  int32_t SaveTextFile(const ustring& sPath, bool IfDelete);
  int32_t SaveBinaryFile(const ustring& sPath, bool IfDelete);

  // Events, each raised to a snapshot of the subscribers.
  void RaiseConnect(const ustring& sURL);
  void RaiseFinish(int32_t LErrCode, const ustring& sErrStr);
  void RaiseDisconnect();
  template <typename Call>
  void Raise(const Call& call);

  // Marks one public operation; the outermost one posts the held
  // notifications again when it ends and keeps the engine alive until then.
  class Operation;

  std::shared_ptr<Platform> platform_;
  std::vector<httpUCEvents*> subscribers_;

  // Engine members.
  SocketHandle LSock = 0;
  int32_t LStartCode = 0;
  int32_t LErrNum = 0;
  bool bAsyncSelect = false;
  bool bHeaderPending = true;
  int32_t LServerCode = 0;
  ustring sServerString;
  int32_t LPort = 80;
  // Whether Port was written since construction: a secure request then uses
  // LPort too, otherwise 443.
  bool bPortWritten = false;
  ustring sUserAgent;
  std::shared_ptr<ChunkList> colChunks;
  int32_t LBytes = 0;

  // When a request last found the machine online without a proxy, and the
  // flags it found; kNever when no such answer may be taken again.
  static constexpr uint64_t kNever = UINT64_MAX;
  uint64_t directSince_ = kNever;
  uint32_t directFlags_ = 0;

  // Counts successful connections, so that a request can tell whether the
  // open connection is still its own after OnConnect1.
  uint32_t connectionSerial_ = 0;

  // The response head collected over several blocks until its blank line.
  ResponseHead head_;

  // The body length the parsed head promised, or kNoContentLength (-1).
  int64_t contentLength_ = -1;

  // One receive buffer for every block; only what is stored is copied.
  uint8_t receiveBuffer_[kReceiveBlockBytes];

  // The most body bytes a transfer stores (LBytes is 32-bit). Tests lower it
  // through httpUCTestAccess to reach the limit without gigabytes of data.
  int32_t bodyLimit_ = INT32_MAX;
  // How long a secure handshake may take. Tests lower it to reach the
  // time-out without waiting.
  int32_t handshakeTimeoutMs_ = kHandshakeTimeoutMs;
  friend class httpUCTestAccess;

  // Notifications held while the engine is inside one of its operations.
  struct HeldNotification {
    SocketHandle socket;
    int32_t code;
    int32_t error;
  };
  int operationDepth_ = 0;
  std::deque<HeldNotification> heldNotifications_;
};

}  // namespace wex
