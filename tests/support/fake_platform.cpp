#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace wex {

SocketAddress Ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  SocketAddress address;
  address.family = kFamilyInet;
  const uint8_t bytes[4] = {a, b, c, d};
  std::memcpy(address.address, bytes, sizeof bytes);
  return address;
}

SocketAddress Ipv6Loopback() {
  SocketAddress address;
  address.family = kFamilyInet6;
  address.address[15] = 1;
  return address;
}

SocketAddress LoopbackAddress() { return Ipv4(127, 0, 0, 1); }

bool SameHost(const SocketAddress& a, const SocketAddress& b) {
  return a.family == b.family && std::equal(a.address, a.address + 16, b.address);
}

// Writes straight into the file map: a failure part-way leaves what was written.
class FakePlatform::MemoryFile : public OutputFile {
 public:
  MemoryFile(FakePlatform& platform, ustring path) : platform_(platform), path_(std::move(path)) {}
  bool Write(const uint8_t* bytes, size_t count) override {
    if (platform_.unwritable.count(path_) != 0) return false;
    platform_.files[path_].append(reinterpret_cast<const char*>(bytes), count);
    return true;
  }
  bool Close() override { return platform_.unclosable.count(path_) == 0; }

 private:
  FakePlatform& platform_;
  ustring path_;
};

FakePlatform::Outcome FakePlatform::Next(std::deque<Outcome>& queue, Outcome fallback) {
  if (!queue.empty()) {
    fallback = queue.front();
    queue.pop_front();
  }
  if (fallback.error != 0) lastError_ = fallback.error;
  return fallback;
}

void FakePlatform::Notify(int32_t code, SocketHandle socket, int32_t error) {
  if (socket == 0) socket = lastSocket;
  auto found = registered_.find(socket);
  notifications_.push_back(
      {socket, code, error, found == registered_.end() ? nullptr : found->second});
}

bool FakePlatform::PostNotification(NotificationTarget* target, SocketHandle socket, int32_t code,
                                    int32_t error) {
  if (postFails) return false;
  ++postedAgain;
  notifications_.push_back({socket, code, error, target});
  return true;
}

bool FakePlatform::Deliver() {
  if (notifications_.empty()) return false;
  Notification next = notifications_.front();
  notifications_.pop_front();
  if (next.target != nullptr) next.target->OnSocketNotification(next.socket, next.code, next.error);
  return true;
}

int FakePlatform::CallCount(const std::string& name) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
    return c.compare(0, name.size(), name) == 0;
  }));
}

int32_t FakePlatform::Startup(uint16_t version) {
  Record("Startup", version);
  const int32_t result = startupResults.empty() ? 0 : startupResults.front();
  if (!startupResults.empty()) startupResults.pop_front();
  return result;
}

SocketHandle FakePlatform::CreateSocket(int32_t family, int32_t type, int32_t protocol) {
  Record("CreateSocket", family, type, protocol);
  Outcome outcome = Next(createSocketResults, {nextSocket_, 0});
  if (outcome.result == nextSocket_) ++nextSocket_;
  if (outcome.result > 0) lastSocket = outcome.result;
  return outcome.result;
}

bool FakePlatform::ResolveName(const std::string& ansiName, int32_t family,
                               std::vector<SocketAddress>& addresses) {
  Record("ResolveName", ansiName, family);
  resolvedNames.push_back(ansiName);
  std::optional<std::vector<SocketAddress>> result;
  if (family == kFamilyInet) result = std::vector<SocketAddress>{LoopbackAddress()};
  if (!resolveResults.empty()) {
    result = resolveResults.front();
    resolveResults.pop_front();
  }
  if (!result || result->empty()) {
    lastError_ = 11001;
    return false;
  }
  addresses = *result;
  return true;
}

int32_t FakePlatform::AsyncSelect(SocketHandle socket, NotificationTarget* target, uint32_t message,
                                  int32_t mask) {
  Record("AsyncSelect", socket, message, mask);
  registrations.push_back({socket, target, message, mask});
  if (message == 0 && mask == 0) {  // a cancel always succeeds
    registered_.erase(socket);
    return 0;
  }
  const int32_t result = Next(asyncSelectResults, {0, 0}).result;
  if (result == 0) registered_[socket] = target;
  return result;
}

int32_t FakePlatform::Receive(SocketHandle socket, uint8_t* buffer, int32_t length, int32_t) {
  Record("Receive", socket, length);
  if (receiveResults.empty()) receiveResults.push_back({std::string(), -1, kWSAEWOULDBLOCK});
  ReceiveOutcome next = std::move(receiveResults.front());
  receiveResults.pop_front();
  if (next.result < 0) {
    lastError_ = next.error;
    return kSocketError;
  }
  // A block longer than the buffer is handed out over several receives.
  size_t count = std::min(next.bytes.size(), static_cast<size_t>(length));
  std::memcpy(buffer, next.bytes.data(), count);
  if (count < next.bytes.size()) receiveResults.push_front({next.bytes.substr(count), 0, 0});
  return static_cast<int32_t>(count);
}

int32_t FakePlatform::Send(SocketHandle socket, const uint8_t* bytes, int32_t count, int32_t) {
  Record("Send", socket, count);
  if (onSend) onSend();
  Outcome outcome = Next(sendResults, {-2, 0});
  if (outcome.result == kSocketError) return kSocketError;
  int32_t accepted = outcome.result == -2 ? count : std::min(outcome.result, count);
  sent[socket].append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(accepted));
  return accepted;
}

bool FakePlatform::FileAttributes(const ustring& path, uint32_t& attributes) {
  const bool folder = folders.count(path) != 0;
  if (!folder && files.count(path) == 0) return false;
  attributes = folder ? kFileAttributeDirectory
                      : 0x20 | (readOnly.count(path) != 0 ? kFileAttributeReadOnly : 0);
  return true;
}

std::unique_ptr<OutputFile> FakePlatform::CreateOutputFile(const ustring& path) {
  if (path.empty() || uncreatable.count(path) != 0 || folders.count(path) != 0) return nullptr;
  createdFiles.push_back(path);
  files[path].clear();
  return std::make_unique<MemoryFile>(*this, path);
}

std::unique_ptr<OutputFile> FakePlatform::CreateNewOutputFile(const ustring& path,
                                                              bool& nameTaken) {
  newFiles.push_back(path);
  if (beforeNewFile) beforeNewFile(path);
  nameTaken = files.count(path) != 0 || folders.count(path) != 0;
  return nameTaken ? nullptr : CreateOutputFile(path);
}

bool FakePlatform::ReplaceFile(const ustring& from, const ustring& to) {
  if (replaceFails || files.count(from) == 0) return false;
  files[to] = std::move(files[from]);
  files.erase(from);
  return true;
}

}  // namespace wex
