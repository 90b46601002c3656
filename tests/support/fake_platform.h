// A scripted platform for the engine's unit tests: each call answers from a
// queue of outcomes (or succeeds plainly when it is empty) and is recorded;
// notifications wait in a queue until the test delivers them on its thread,
// to the target registered when they were queued, as posted messages would.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/ustring.h"
#include "server/engine/platform.h"

namespace wex {

class FakePlatform : public Platform {
 public:
  struct Outcome {  // a failure also leaves its error for LastError()
    int32_t result;
    int32_t error;
  };
  struct ReceiveOutcome {  // bytes, the end (no bytes, result 0) or a failure
    std::string bytes;
    int32_t result;
    int32_t error;
  };
  struct Registration {
    SocketHandle socket;
    NotificationTarget* target;
    uint32_t message;
    int32_t mask;
  };
  struct Notification {
    SocketHandle socket;
    int32_t code;
    int32_t error;
    NotificationTarget* target;
  };

  // --- scripting; empty queues succeed ---
  std::deque<int32_t> startupResults;       // 0 = ready
  bool online = true;                       // ConnectedState's result
  uint32_t connectionFlags = 0x12;          // its flags (LAN, configured)
  uint64_t clockMs = 0;                     // MonotonicMs, advanced on each read
  uint64_t clockStepMs = 3600000;           // by an hour: no answer is recent
  std::deque<Outcome> createSocketResults;  // default: the next handle from 100 on
  // Per lookup, nullopt is "not found"; default: 127.0.0.1 for IPv4, none for IPv6.
  std::deque<std::optional<std::vector<SocketAddress>>> resolveResults;
  std::deque<Outcome> connectResults;         // default: 0
  std::deque<Outcome> asyncSelectResults;     // default: 0 (cancels always succeed)
  std::deque<ReceiveOutcome> receiveResults;  // default: would block (10035)
  std::deque<Outcome> sendResults;            // result -2 = take everything offered
  std::deque<Outcome> waitWritableResults;    // result 1 writable, 0 not; default writable
  std::function<void()> onSend;               // runs inside every Send, before it answers
  std::deque<Outcome> handshakeResults;       // default: 0 (established)

  void ReceiveData(const std::string& bytes) { receiveResults.push_back({bytes, 0, 0}); }
  void ReceiveEnd() { receiveResults.push_back({std::string(), 0, 0}); }
  void ReceiveError(int32_t error) { receiveResults.push_back({std::string(), -1, error}); }
  void SendAccepts(int32_t count) { sendResults.push_back({count, 0}); }
  void SendFails(int32_t error) { sendResults.push_back({kSocketError, error}); }

  // --- notifications ---
  // Queues a notification for `socket` (default: the last one created).
  void Notify(int32_t code, SocketHandle socket = 0, int32_t error = 0);
  void NotifyRead(SocketHandle socket = 0) { Notify(kNotifyRead, socket); }
  void NotifyClose(SocketHandle socket = 0, int32_t error = 0) {
    Notify(kNotifyClose, socket, error);
  }
  bool Deliver();      // the oldest queued notification; false when none is
  void DeliverAll() {  // until none is queued, including those queued meanwhile
    while (Deliver()) {
    }
  }
  int postedAgain = 0;     // notifications the engine posted again
  bool postFails = false;  // PostNotification refuses

  // --- record ---
  std::vector<std::string> calls;  // e.g. "Startup(257)", "Send(100,72)", "CloseSocket(100)"
  int cleanupCalls = 0;
  std::vector<std::string> resolvedNames;
  std::vector<SocketAddress> connectAddresses;
  std::vector<Registration> registrations;   // every AsyncSelect, cancels included
  std::map<SocketHandle, std::string> sent;  // the bytes each socket accepted
  std::vector<int32_t> waitTimeouts;
  std::vector<SocketHandle> closedSockets;
  struct Handshake {
    SocketHandle socket;
    std::string hostName;
    int32_t timeoutMs;
  };
  std::vector<Handshake> handshakes;
  SocketHandle lastSocket = 0;  // the socket CreateSocket handed out last
  // Registered now: not cancelled nor closed since.
  bool IsRegistered(SocketHandle socket) const { return registered_.count(socket) != 0; }
  // Count of calls whose record starts with `name` (e.g. "Send(").
  int CallCount(const std::string& name) const;

  // --- files, in memory ---
  std::map<ustring, std::string> files;  // path -> content
  std::set<ustring> folders;
  std::set<ustring> uncreatable;  // CreateOutputFile fails
  std::set<ustring> unwritable;   // every Write fails
  std::set<ustring> unclosable;   // Close fails
  bool replaceFails = false;
  std::set<ustring> readOnly;  // FileAttributes reports them read-only
  // Runs before CreateNewOutputFile looks at its name, to script what meets it.
  std::function<void(const ustring& path)> beforeNewFile;
  std::vector<ustring> newFiles;  // every name CreateNewOutputFile was asked for
  std::vector<ustring> createdFiles;
  std::vector<ustring> deletedFiles;

  // --- Platform ---
  int32_t Startup(uint16_t version) override;
  int32_t Cleanup() override {
    Record("Cleanup");
    return ++cleanupCalls, 0;
  }
  bool ConnectedState(uint32_t& flags) override {
    Record("ConnectedState");
    flags = connectionFlags;
    return online;
  }
  uint64_t MonotonicMs() override { return clockMs += clockStepMs; }
  SocketHandle CreateSocket(int32_t family, int32_t type, int32_t protocol) override;
  bool ResolveName(const std::string& ansiName, int32_t family,
                   std::vector<SocketAddress>& addresses) override;
  int32_t Connect(SocketHandle socket, const SocketAddress& address) override {
    Record("Connect", socket);
    connectAddresses.push_back(address);
    return Next(connectResults, {0, 0}).result;
  }
  int32_t AsyncSelect(SocketHandle socket, NotificationTarget* target, uint32_t message,
                      int32_t mask) override;
  int32_t Receive(SocketHandle socket, uint8_t* buffer, int32_t length, int32_t flags) override;
  int32_t Send(SocketHandle socket, const uint8_t* bytes, int32_t count, int32_t flags) override;
  bool WaitWritable(SocketHandle socket, int32_t timeoutMs) override {
    Record("WaitWritable", socket);
    waitTimeouts.push_back(timeoutMs);
    return Next(waitWritableResults, {1, 0}).result != 0;
  }
  int32_t CloseSocket(SocketHandle socket) override {
    Record("CloseSocket", socket);
    closedSockets.push_back(socket);
    registered_.erase(socket);
    return 0;
  }
  int32_t SecureHandshake(SocketHandle socket, const std::string& hostName,
                          int32_t timeoutMs) override {
    Record("SecureHandshake", socket, hostName);
    handshakes.push_back({socket, hostName, timeoutMs});
    return Next(handshakeResults, {0, 0}).result;
  }
  int32_t LastError() override { return lastError_; }
  bool PostNotification(NotificationTarget* target, SocketHandle socket, int32_t code,
                        int32_t error) override;
  bool FileAttributes(const ustring& path, uint32_t& attributes) override;
  bool RemoveFile(const ustring& path) override {
    deletedFiles.push_back(path);
    return files.erase(path) != 0;
  }
  std::unique_ptr<OutputFile> CreateOutputFile(const ustring& path) override;
  std::unique_ptr<OutputFile> CreateNewOutputFile(const ustring& path, bool& nameTaken) override;
  bool ReplaceFile(const ustring& from, const ustring& to) override;

 private:
  class MemoryFile;

  Outcome Next(std::deque<Outcome>& queue, Outcome fallback);
  // Records "Name(arg,arg)".
  template <typename... Args>
  void Record(const char* name, const Args&... args) {
    std::string call = std::string(name) + "(";
    ((call += Text(args) + ","), ...);
    if (sizeof...(args) > 0) call.pop_back();
    calls.push_back(call + ")");
  }
  static std::string Text(const std::string& text) { return text; }
  template <typename T>
  static std::string Text(T number) {
    return std::to_string(number);
  }

  int32_t lastError_ = 0;
  SocketHandle nextSocket_ = 100;
  std::map<SocketHandle, NotificationTarget*> registered_;
  std::deque<Notification> notifications_;
};

// Addresses as a resolver gives them, and whether two name the same host.
SocketAddress Ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
SocketAddress LoopbackAddress();
SocketAddress Ipv6Loopback();
bool SameHost(const SocketAddress& a, const SocketAddress& b);

}  // namespace wex
